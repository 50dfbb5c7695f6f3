#!/usr/bin/env bash
# Index throughput of `quarlin index` on files of at least 300 MB in each
# container (elementary, program and transport stream), against the raw
# sequential read speed of the same file (dd with O_DIRECT) and the time
# `ffprobe -show_frames` takes on it. A benchmark, not a test: run on demand.
#
# usage: bench/index-speed.sh [BUILD_DIR]   (default: build; the tool is
#        BUILD_DIR/tools/commands/quarlin and must be built already)
# The streams are generated here with ffmpeg in a temporary folder on the
# normal disk (QUARLIN_BENCH_DIR, default /var/tmp; tmpfs is refused) and
# deleted at the end. Needs: ffmpeg, ffprobe, dd, awk; root to drop the page
# cache between runs (skipped, with a note, when that is not allowed).
set -euo pipefail

build=${1:-build}
tool=$build/tools/commands/quarlin
[[ -x $tool ]] || { echo "index-speed: $tool not found (build the quarlin_tool target)" >&2; exit 2; }
base=${QUARLIN_BENCH_DIR:-/var/tmp}
if [[ $(stat -f -c %T "$base") == tmpfs ]]; then
  echo "index-speed: $base is tmpfs; set QUARLIN_BENCH_DIR to a folder on a disk" >&2
  exit 2
fi
work=$(mktemp -d "$base/quarlin-index-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

target_mb=${QUARLIN_BENCH_MB:-300}
cache_note=""

drop_caches() {
  sync
  if ! (echo 3 > /proc/sys/vm/drop_caches) 2>/dev/null; then
    cache_note="(page cache could not be dropped: figures include cached reads)"
  fi
}

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
mb() { awk -v bytes="$(stat -c %s "$1")" 'BEGIN { printf "%.1f", bytes / 1e6 }'; }

# A 20-second 720x576 clip at about 15 Mbit/s with MP2 audio, concatenated
# (elementary stream) until it reaches the target size, then remultiplexed
# into a program and a transport stream without re-encoding.
make_streams() {
  echo "generating streams of at least $target_mb MB in $work ..." >&2
  ffmpeg -nostdin -v error -f lavfi -i "testsrc2=size=720x576:rate=25:duration=20,noise=alls=14:allf=t+u" \
    -c:v mpeg2video -b:v 15M -maxrate 15M -bufsize 1835k -g 12 -bf 2 -flags +ilme+ildct \
    -f mpeg2video "$work/clip.m2v"
  : > "$work/big.m2v"
  while (( $(stat -c %s "$work/big.m2v") < target_mb * 1000000 )); do
    cat "$work/clip.m2v" >> "$work/big.m2v"
  done
  rm -f "$work/clip.m2v"
  ffmpeg -nostdin -v error -fflags +genpts -r 25 -f mpegvideo -i "$work/big.m2v" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000" -shortest \
    -map 0:v -map 1:a -c:v copy -c:a mp2 -b:a 192k -f vob "$work/big.vob"
  ffmpeg -nostdin -v error -fflags +genpts -r 25 -f mpegvideo -i "$work/big.m2v" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000" -shortest \
    -map 0:v -map 1:a -c:v copy -c:a mp2 -b:a 192k -f mpegts "$work/big.ts"
}

measure() {
  local file=$1 kind=$2 size t0 t1 index_s dd_s probe_s frames
  size=$(mb "$file")
  drop_caches
  t0=$(now); "$tool" index -q "$file" -o "$work/index.seek"; t1=$(now)
  index_s=$(elapsed "$t0" "$t1")
  frames=$("$tool" info -q --json --seek-data "$work/index.seek" "$file" | awk -F': ' '/"frameCount"/ { sub(",", "", $2); print $2 }')
  drop_caches
  t0=$(now)
  dd if="$file" of=/dev/null bs=64k iflag=direct status=none 2>/dev/null ||
    dd if="$file" of=/dev/null bs=64k status=none
  t1=$(now)
  dd_s=$(elapsed "$t0" "$t1")
  drop_caches
  t0=$(now); ffprobe -v error -show_frames "$file" > /dev/null; t1=$(now)
  probe_s=$(elapsed "$t0" "$t1")
  awk -v kind="$kind" -v size="$size" -v frames="$frames" -v i="$index_s" -v d="$dd_s" -v p="$probe_s" 'BEGIN {
    printf "%-4s %9.1f %8d %9.3f %11.1f %9.1f %8.2f %11.2f %8.1fx\n",
      kind, size, frames, i, size / i, size / d, (size / i) / (size / d), p, p / i }'
}

make_streams
echo "tool: $tool   cpus: $(nproc)   files in: $work"
printf "%-4s %9s %8s %9s %11s %9s %8s %11s %9s\n" kind "size MB" frames "index s" "index MB/s" "dd MB/s" ratio "ffprobe s" "vs probe"
measure "$work/big.m2v" es
measure "$work/big.vob" ps
measure "$work/big.ts" ts
[[ -z $cache_note ]] || echo "$cache_note"
