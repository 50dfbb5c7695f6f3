#!/usr/bin/env bash
# Decoding speed of `quarlin decode --null` against libmpeg2's `mpeg2dec -o
# null` and `ffmpeg -threads 1 -f null` (all three decode every frame and
# write none; a row with Y4M written to /dev/null is printed alongside) on
# the same files in the same run, on a 1920x1080 interlaced 20 Mbit/s noisy
# stream (500 frames) and a 720x576 interlaced 8 Mbit/s one (1000 frames).
# Prints each target as a ratio measured in this run and "met" or "not met":
# medians of QUARLIN_BENCH_RUNS runs (default 5), CPU time and wall time, on
# one core (taskset -c 0) and on all cores (quarlin decodes slices on one
# worker per core; the references are single-threaded and run on one core).
# The warm commands of a stream are measured in interleaved rounds (every
# command once per round), so that a change of the host's speed during the
# run affects all of them alike; commands are split at spaces (paths must
# have none). Each of those targets shows the lowest and highest of its
# ratios within one round: on a shared host they can lie 10% or more apart.
# A benchmark, not a test: run on demand, on a quiet machine.
#
# Targets: one core, full scale: quarlin's CPU time at most 0.8x mpeg2dec's,
# on both streams; all cores: quarlin's wall time at most 0.5x mpeg2dec's
# (one core); on 1080i, --scale quarter at least 2.5x and half at least 1.6x
# faster than full (CPU time, one core); a cold random-frame request (`quarlin
# frame` in a fresh process, page cache dropped, index from seek data) at most
# 1.2x the time of decoding exactly its dependency chain, frame by frame, in
# one warm run of `quarlin decode --frame-list` (which opens the file too).
#
# usage: bench/decode-speed.sh [BUILD_DIR [BEFORE_BUILD_DIR]]
#   BUILD_DIR (default build) holds the tool BUILD_DIR/tools/commands/quarlin;
#   a second build, when given, is measured in the same run and printed as
#   "before".
# Environment: QUARLIN_BENCH_RUNS (5), QUARLIN_BENCH_FRAMES (frames of each
#   stream: 500 and 1000), QUARLIN_BENCH_REQUESTS (random frames, 5),
#   QUARLIN_BENCH_DIR (/var/tmp), QUARLIN_BENCH_LOCK (see bench-lib.sh).
# Streams are generated with ffmpeg in a temporary folder and deleted at the
# end. Needs: ffmpeg, mpeg2dec (Debian package mpeg2dec), taskset, python3,
# awk; root to drop the page cache.
set -euo pipefail
source "$(dirname "$0")/bench-lib.sh"

tool=$(tool_of "${1:-build}")
before=""
[[ -n ${2:-} ]] && before=$(tool_of "$2")
command -v mpeg2dec > /dev/null || { echo "decode-speed: mpeg2dec not installed (Debian package mpeg2dec)" >&2; exit 2; }
work=$(mktemp -d "${QUARLIN_BENCH_DIR:-/var/tmp}/quarlin-decode-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
requests=${QUARLIN_BENCH_REQUESTS:-5}

# Moving, noisy content coded as interlaced frame pictures with field and
# frame prediction (+ilme+ildct), groups of 12 with two B-pictures.
make_stream() {
  local size=$1 bitrate=$2 frames=$3 out=$4
  ffmpeg -nostdin -v error -f lavfi \
    -i "testsrc2=size=$size:rate=25,noise=alls=10:allf=t+u" -frames:v "$frames" \
    -c:v mpeg2video -b:v "$bitrate" -maxrate "$bitrate" -bufsize 9781k -g 12 -bf 2 \
    -flags +ilme+ildct -top 1 -f mpeg2video "$out"
}

# The frames `quarlin frame N` decodes, references first, as a list for
# --frame-list: the server's order (forward reference, backward, the frame).
chain_of() {
  "$tool" info -q --json --frames --seek-data "$2" "$1" | awk -v want="$3" '
    /"n": / {
      match($0, /"n": -?[0-9]+/); n = substr($0, RSTART + 5, RLENGTH - 5) + 0
      match($0, /"forward": -?[0-9]+/); fw[n] = substr($0, RSTART + 11, RLENGTH - 11) + 0
      match($0, /"backward": -?[0-9]+/); bw[n] = substr($0, RSTART + 12, RLENGTH - 12) + 0
    }
    function visit(f) {
      if (f < 0 || (f in seen) || !(f in fw)) return
      seen[f] = 1; visit(fw[f]); visit(bw[f]); order = order (order == "" ? "" : ",") f
    }
    END { visit(want); print order }'
}

random_frames() {  # $requests frame numbers below $1, the same every run
  awk -v n="$1" -v k="$requests" 'BEGIN { srand(20240607); for (i = 0; i < k; i++) print int(rand() * n) }'
}

# Sum over the random frames of the cold request's and of the chain's wall
# times (medians of the runs), printed as "COLD CHAIN".
random_access() {
  local q=$1 file=$2 seek=$3 count=$4 cold=0 chain=0 n list c w
  for n in $(random_frames "$count"); do
    list=$(chain_of "$file" "$seek" "$n")
    # Both write their frames to /dev/null: the comparison is of reading and decoding.
    c=$(measure all cold "$q" frame -q --seek-data "$seek" "$file" "$n" --format yuv -o /dev/null)
    w=$(measure all warm "$q" decode -q --seek-data "$seek" --frame-list "$list" "$file" -o /dev/null)
    cold=$(awk -v a="$cold" -v b="$(wall "$c")" 'BEGIN { print a + b }')
    chain=$(awk -v a="$chain" -v b="$(wall "$w")" 'BEGIN { print a + b }')
  done
  echo "$cold $chain"
}

# How a tool decodes without output, as `mpeg2dec -o null` and `ffmpeg -f
# null` do: --null, or Y4M to /dev/null for a build without it.
sink_of() {
  if "$1" --help 2>&1 | grep -q -- --null; then echo "--null"; else echo "-o /dev/null"; fi
}

bench_file() {
  local name=$1 file=$2 seek=$work/$1.seek count mb
  "$tool" index -q "$file" -o "$seek"
  count=$("$tool" info -q --json --seek-data "$seek" "$file" | awk -F': ' '/"frameCount"/ { sub(",", "", $2); print $2 }')
  mb=$(awk -v b="$(stat -c %s "$file")" 'BEGIN { printf "%.1f", b / 1e6 }')
  local sink b_sink="" names=(m2d ff one all y4m_one y4m_all)
  sink=$(sink_of "$tool")
  candidate m2d one mpeg2dec -o null "$file"
  candidate ff one ffmpeg -nostdin -v error -threads 1 -i "$file" -f null -
  candidate one one "$tool" decode -q --seek-data "$seek" "$file" "$sink"
  candidate all all "$tool" decode -q --seek-data "$seek" "$file" "$sink"
  candidate y4m_one one "$tool" decode -q --seek-data "$seek" "$file" -o /dev/null
  candidate y4m_all all "$tool" decode -q --seek-data "$seek" "$file" -o /dev/null
  if [[ -n $before ]]; then
    b_sink=$(sink_of "$before")
    candidate b_one one "$before" decode -q --seek-data "$seek" "$file" "$b_sink"
    candidate b_all all "$before" decode -q --seek-data "$seek" "$file" "$b_sink"
    names+=(b_one b_all)
  fi
  local scale
  if [[ $name == 1080i ]]; then
    for scale in half quarter; do
      candidate "$scale" one "$tool" decode -q --seek-data "$seek" --scale "$scale" "$file" "$sink"
      names+=("$scale")
      if [[ -n $before ]]; then
        candidate "b_$scale" one "$before" decode -q --seek-data "$seek" --scale "$scale" "$file" "$b_sink"
        names+=("b_$scale")
      fi
    done
  fi
  interleave "${names[@]}"
  local m2d ff one all b_one="" b_all=""
  m2d=$(result m2d) ff=$(result ff) one=$(result one) all=$(result all)
  [[ -n $before ]] && b_one=$(result b_one) b_all=$(result b_all)
  echo "== $name: $count frames, $mb MB, medians of $runs interleaved rounds (seconds)"
  printf "  %-40s %8s %8s %9s %8s\n" "" "1 core" "cpu" "all cores" "cpu"
  row "mpeg2dec -o null" "$m2d"
  row "ffmpeg -threads 1 -f null" "$ff"
  row "quarlin decode $sink" "$one" "$all"
  row "quarlin decode -o /dev/null (Y4M)" "$(result y4m_one)" "$(result y4m_all)"
  [[ -n $before ]] && row "before: quarlin decode $b_sink" "$b_one" "$b_all"
  local half quarter b_half="" b_quarter=""
  if [[ $name == 1080i ]]; then
    half=$(result half) quarter=$(result quarter)
    row "quarlin decode --scale half" "$half"
    [[ -n $before ]] && row "before: quarlin decode --scale half" "$(result b_half)"
    row "quarlin decode --scale quarter" "$quarter"
    [[ -n $before ]] && row "before: quarlin decode --scale quarter" "$(result b_quarter)"
    if [[ -n $before ]]; then
      b_half=$(ratio "$(cpu "$b_one")" "$(cpu "$(result b_half)")")
      b_quarter=$(ratio "$(cpu "$b_one")" "$(cpu "$(result b_quarter)")")
    fi
  fi
  local cold chain b_ratio=""
  read -r cold chain < <(random_access "$tool" "$file" "$seek" "$count")
  if [[ -n $before ]] && "$before" --help 2>&1 | grep -q -- --frame-list; then
    local b_cold b_chain
    read -r b_cold b_chain < <(random_access "$before" "$file" "$seek" "$count")
    b_ratio=$(ratio "$b_cold" "$b_chain")
  fi
  echo "  random frames: $requests cold requests $cold s, their dependency chains decoded $chain s"
  echo " targets:"
  target "$name, 1 core, full: CPU / mpeg2dec CPU" "$(ratio "$(cpu "$one")" "$(cpu "$m2d")")" "<=" 0.8 \
    "${b_one:+$(ratio "$(cpu "$b_one")" "$(cpu "$m2d")")}" "$(spread one m2d cpu)"
  target "$name, all cores, full: wall / mpeg2dec wall on 1 core" "$(ratio "$(wall "$all")" "$(wall "$m2d")")" "<=" 0.5 \
    "${b_all:+$(ratio "$(wall "$b_all")" "$(wall "$m2d")")}" "$(spread all m2d wall)"
  if [[ $name == 1080i ]]; then
    target "$name, 1 core: --scale quarter speed-up over full (CPU)" "$(ratio "$(cpu "$one")" "$(cpu "$quarter")")" ">=" 2.5 \
      "$b_quarter" "$(spread one quarter cpu)"
    target "$name, 1 core: --scale half speed-up over full (CPU)" "$(ratio "$(cpu "$one")" "$(cpu "$half")")" ">=" 1.6 \
      "$b_half" "$(spread one half cpu)"
  fi
  target "$name, cold random frame / its chain decoded + open (wall)" "$(ratio "$cold" "$chain")" "<=" 1.2 "$b_ratio"
  echo " for comparison:"
  printf "  %-58s %6s\n" "$name, 1 core, full: CPU / ffmpeg -threads 1 CPU" "$(ratio "$(cpu "$one")" "$(cpu "$ff")")"
  printf "  %-58s %6s\n" "$name, 1 core, full: wall / mpeg2dec wall" "$(ratio "$(wall "$one")" "$(wall "$m2d")")"
}

echo "tool: $tool${before:+   before: $before}   cpus: $(nproc)   runs: $runs"
echo "generating streams in $work ..." >&2
make_stream 1920x1080 20M "${QUARLIN_BENCH_FRAMES:-500}" "$work/hd.m2v"
make_stream 720x576 8M "${QUARLIN_BENCH_FRAMES:-1000}" "$work/sd.m2v"
bench_file 1080i "$work/hd.m2v"
bench_file 576i "$work/sd.m2v"
[[ -z $cache_note ]] || echo "$cache_note"
