#!/usr/bin/env bash
# Sequential decode rate of `quarlin decode` at each scale on a 1920x1080
# (20 Mbit/s) and a 720x576 (8 Mbit/s) interlaced stream of 510 frames,
# against `ffmpeg -threads 1` and libmpeg2's `mpeg2dec` on the same files in
# the same run, and the mean time of one random-frame request with no frames
# cached (`quarlin frame`, a fresh process each time, index from seek data).
# A benchmark, not a test: run on demand.
#
# usage: bench/decode-speed.sh [BUILD_DIR]   (default: build; the tool is
#        BUILD_DIR/tools/commands/quarlin and must be built already)
# Streams are generated with ffmpeg in a temporary folder on the normal disk
# (QUARLIN_BENCH_DIR, default /var/tmp) and deleted at the end. Needs:
# ffmpeg, mpeg2dec (Debian package mpeg2dec), awk.
set -euo pipefail

build=${1:-build}
tool=$build/tools/commands/quarlin
[[ -x $tool ]] || { echo "decode-speed: $tool not found (build the quarlin_tool target)" >&2; exit 2; }
base=${QUARLIN_BENCH_DIR:-/var/tmp}
work=$(mktemp -d "$base/quarlin-decode-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

frames=${QUARLIN_BENCH_FRAMES:-510}
requests=${QUARLIN_BENCH_REQUESTS:-20}
have_mpeg2dec=1
command -v mpeg2dec > /dev/null || have_mpeg2dec=0

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.4f", b - a }'; }
rate() { awk -v n="$1" -v s="$2" 'BEGIN { printf "%.1f", n / s }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "-" }'; }

# Moving, noisy content coded as interlaced frame pictures with field and
# frame prediction (+ilme+ildct), groups of 12 with two B-pictures.
make_stream() {
  local size=$1 bitrate=$2 out=$3
  ffmpeg -nostdin -v error -f lavfi \
    -i "testsrc2=size=$size:rate=25,noise=alls=10:allf=t+u" -frames:v "$frames" \
    -c:v mpeg2video -b:v "$bitrate" -maxrate "$bitrate" -bufsize 9781k -g 12 -bf 2 \
    -flags +ilme+ildct -top 1 -f mpeg2video "$out"
}

time_run() {  # prints seconds taken by the command
  local t0 t1
  t0=$(now)
  "$@" > /dev/null 2>&1
  t1=$(now)
  elapsed "$t0" "$t1"
}

random_frames() {  # $requests frame numbers below $1, the same every run
  awk -v n="$1" -v k="$requests" 'BEGIN { srand(20240607); for (i = 0; i < k; i++) print int(rand() * n) }'
}

bench_file() {
  local name=$1 file=$2 seek=$work/$1.seek count s full
  "$tool" index -q "$file" -o "$seek"
  count=$("$tool" info -q --json --seek-data "$seek" "$file" | awk -F': ' '/"frameCount"/ { sub(",", "", $2); print $2 }')
  echo "== $name: $count frames, $(awk -v b="$(stat -c %s "$file")" 'BEGIN { printf "%.1f", b / 1e6 }') MB"
  printf "  %-34s %9s %9s\n" decoder "frames/s" "x ffmpeg"
  s=$(time_run ffmpeg -nostdin -v error -threads 1 -i "$file" -f null -)
  local ffmpeg_fps
  ffmpeg_fps=$(rate "$count" "$s")
  for scale in full half quarter; do
    s=$(time_run "$tool" decode -q --seek-data "$seek" --scale "$scale" "$file" -o /dev/null)
    local fps
    fps=$(rate "$count" "$s")
    [[ $scale == full ]] && full=$fps
    printf "  %-34s %9s %9s\n" "quarlin decode --scale $scale" "$fps" "$(ratio "$fps" "$ffmpeg_fps")"
  done
  printf "  %-34s %9s %9s\n" "ffmpeg -threads 1" "$ffmpeg_fps" "1.00"
  if (( have_mpeg2dec )); then
    s=$(time_run mpeg2dec -o null "$file")
    local m2d
    m2d=$(rate "$count" "$s")
    printf "  %-34s %9s %9s   (quarlin full / mpeg2dec: %s)\n" "mpeg2dec -o null" "$m2d" \
      "$(ratio "$m2d" "$ffmpeg_fps")" "$(ratio "$full" "$m2d")"
  fi
  local total=0 n
  for n in $(random_frames "$count"); do
    s=$(time_run "$tool" frame -q --seek-data "$seek" "$file" "$n" -o "$work/frame.yuv")
    total=$(awk -v a="$total" -v b="$s" 'BEGIN { print a + b }')
  done
  printf "  random frame, cold frame cache:  %.1f ms mean over %d requests (%.1f sequential frame times)\n" \
    "$(awk -v t="$total" -v k="$requests" 'BEGIN { print 1000 * t / k }')" "$requests" \
    "$(awk -v t="$total" -v k="$requests" -v f="$full" 'BEGIN { print t / k * f }')"
}

echo "tool: $tool   cpus: $(nproc) (quarlin decodes slices on one worker per cpu; ffmpeg runs one thread)"
echo "generating ${frames}-frame streams in $work ..." >&2
make_stream 1920x1080 20M "$work/hd.m2v"
make_stream 720x576 8M "$work/sd.m2v"
bench_file 1920x1080 "$work/hd.m2v"
bench_file 720x576 "$work/sd.m2v"
(( have_mpeg2dec )) || echo "mpeg2dec not installed: its figures are left out"
