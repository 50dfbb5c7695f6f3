#!/usr/bin/env bash
# Indexing speed of `quarlin index` against the raw sequential read speed of
# the same file (dd with O_DIRECT, 1 MiB and 64 KiB blocks), cold cache, on a
# transport stream of at least 300 MB (and, for comparison, the elementary
# and program streams it was made from). Prints each target as a ratio
# measured in this run and "met" or "not met": medians of QUARLIN_BENCH_RUNS
# runs (default 5), wall and CPU time, on one core and on all cores. A
# benchmark, not a test: run on demand, on a quiet machine.
#
# usage: bench/index-speed.sh [BUILD_DIR [BEFORE_BUILD_DIR]]
#   BUILD_DIR (default build) holds the tool BUILD_DIR/tools/commands/quarlin;
#   a second build, when given, is measured in the same run and printed as
#   "before".
# Environment: QUARLIN_BENCH_RUNS (5), QUARLIN_BENCH_MB (300: the size of the
#   streams; a few MB for a smoke run), QUARLIN_BENCH_DIR (/var/tmp: a folder
#   on a disk, not tmpfs), QUARLIN_BENCH_LOCK (see bench-lib.sh).
# The streams are generated with ffmpeg in a temporary folder and deleted at
# the end. Needs: ffmpeg, dd, taskset, python3, awk; root to drop the page
# cache (without it the figures are marked as including cached reads).
set -euo pipefail
source "$(dirname "$0")/bench-lib.sh"

tool=$(tool_of "${1:-build}")
before=""
[[ -n ${2:-} ]] && before=$(tool_of "$2")
base=${QUARLIN_BENCH_DIR:-/var/tmp}
if [[ $(stat -f -c %T "$base") == tmpfs ]]; then
  echo "index-speed: $base is tmpfs; set QUARLIN_BENCH_DIR to a folder on a disk" >&2
  exit 2
fi
work=$(mktemp -d "$base/quarlin-index-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
target_mb=${QUARLIN_BENCH_MB:-300}

# A 20-second 720x576 clip at about 15 Mbit/s (shorter for small targets),
# concatenated into an elementary stream of the target size, then
# remultiplexed with MP2 audio into a program and a transport stream.
make_streams() {
  local seconds=$(( target_mb >= 40 ? 20 : 2 ))
  echo "generating streams of at least $target_mb MB in $work ..." >&2
  ffmpeg -nostdin -v error -f lavfi -i "testsrc2=size=720x576:rate=25:duration=$seconds,noise=alls=14:allf=t+u" \
    -c:v mpeg2video -b:v 15M -maxrate 15M -bufsize 1835k -g 12 -bf 2 -flags +ilme+ildct \
    -f mpeg2video "$work/clip.m2v"
  : > "$work/big.m2v"
  while (( $(stat -c %s "$work/big.m2v") < target_mb * 1000000 )); do
    cat "$work/clip.m2v" >> "$work/big.m2v"
  done
  rm -f "$work/clip.m2v"
  local kind
  for kind in vob mpegts; do
    ffmpeg -nostdin -v error -fflags +genpts -r 25 -f mpegvideo -i "$work/big.m2v" \
      -f lavfi -i "sine=frequency=440:sample_rate=48000" -shortest \
      -map 0:v -map 1:a -c:v copy -c:a mp2 -b:a 192k -f "$kind" "$work/big.${kind/mpegts/ts}"
  done
}

bench_file() {
  local file=$1 kind=$2 mb dd1m dd64k one all b_one=""
  mb=$(awk -v bytes="$(stat -c %s "$file")" 'BEGIN { printf "%.1f", bytes / 1e6 }')
  dd1m=$(measure one cold dd if="$file" of=/dev/null bs=1M iflag=direct)
  dd64k=$(measure one cold dd if="$file" of=/dev/null bs=64k iflag=direct)
  one=$(measure one cold "$tool" index -q "$file" -o "$work/index.seek")
  all=$(measure all cold "$tool" index -q "$file" -o "$work/index.seek")
  [[ -n $before ]] && b_one=$(measure one cold "$before" index -q "$file" -o "$work/before.seek")
  echo "== $kind: $mb MB, cold cache, medians of $runs runs (seconds)"
  printf "  %-40s %8s %8s %9s %8s\n" "" "1 core" "cpu" "all cores" "cpu"
  row "dd bs=1M iflag=direct" "$dd1m"
  row "dd bs=64k iflag=direct" "$dd64k"
  row "quarlin index" "$one" "$all"
  [[ -n $b_one ]] && row "before: quarlin index" "$b_one"
  local b1="" b64=""
  [[ -n $b_one ]] && b1=$(ratio "$(wall "$dd1m")" "$(wall "$b_one")") && b64=$(ratio "$(wall "$dd64k")" "$(wall "$b_one")")
  # Throughput ratios: the time dd takes over the time indexing takes.
  local check=target
  [[ $kind == ts ]] || check=info
  $check "$kind: index throughput / dd bs=1M iflag=direct, 1 core" "$(ratio "$(wall "$dd1m")" "$(wall "$one")")" ">=" 0.8 "$b1"
  info "$kind: index throughput / dd bs=1M iflag=direct, all cores" "$(ratio "$(wall "$dd1m")" "$(wall "$all")")"
  info "$kind: index throughput / dd bs=64k iflag=direct, 1 core" "$(ratio "$(wall "$dd64k")" "$(wall "$one")")" "" "" "$b64"
  info "$kind: index CPU time / index wall time, 1 core" "$(ratio "$(cpu "$one")" "$(wall "$one")")"
}

info() { printf "  %-58s %6s  (for comparison)%s\n" "$1" "$2" "${5:+  before: $5}"; }

make_streams
echo "tool: $tool${before:+   before: $before}   cpus: $(nproc)   runs: $runs   files in: $work"
bench_file "$work/big.ts" ts
bench_file "$work/big.m2v" es
bench_file "$work/big.vob" ps
[[ -z $cache_note ]] || echo "$cache_note"
