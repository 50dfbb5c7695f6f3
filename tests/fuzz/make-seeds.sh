#!/usr/bin/env bash
# Regenerates streams/ (tiny streams, one for each decoding path the
# seek-data and frame-request targets open: two sequences, a program and a
# transport stream, field pictures, dual prime, interlaced frame pictures,
# partial macroblocks) and the seed inputs in corpus/, each behind a request
# script (fuzz_target.h, fuzz_frame_requests.cpp): the streams for the
# stream targets, their genuine seek data for the seek-data target, and
# requests with every kind of reference planes for the frame-request target.
# Needs ffmpeg, mjpegtools, python3 and a built quarlin tool (its path):
#   tests/fuzz/make-seeds.sh build/tools/commands/quarlin
set -euo pipefail
tool=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
streams="$here/streams"
out="$here/corpus"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$streams"
ff() { ffmpeg -v error -y -threads 1 "$@"; }
mpeg2=(-c:v mpeg2video -g 4 -bf 1 -qscale:v 8)
small=(-f lavfi -i testsrc2=s=64x48:r=25)

ff "${small[@]}" -frames:v 5 "${mpeg2[@]}" -flags +bitexact -f mpeg2video "$work/first.m2v"
matrix=$(python3 -c "print(','.join(str(8 + i * 7 % 40) for i in range(64)))")
ff "${small[@]}" -frames:v 4 "${mpeg2[@]}" -flags +bitexact -intra_matrix "$matrix" -inter_matrix "$matrix" \
   -f mpeg2video "$work/second.m2v"
cat "$work/first.m2v" "$work/second.m2v" > "$streams/two-sequences.m2v"
ff "${small[@]}" -frames:v 4 "${mpeg2[@]}" -flags +bitexact -packetsize 512 -f vob "$streams/program-stream.vob"
ff "${small[@]}" -frames:v 4 "${mpeg2[@]}" -flags +bitexact -f mpegts "$streams/transport-stream.ts"
ff -f lavfi -i "smptebars=size=48x32:rate=50,format=yuv420p,tinterlace=mode=interleave_top" \
   -frames:v 12 -f rawvideo -pix_fmt yuv420p "$work/fields.yuv"
for order in tff bff; do
  python3 "$here/../data/field_encoder.py" "$work/fields.yuv" 48 32 $order "$streams/fields-$order.m2v"
done
ff -f lavfi -i testsrc2=s=64x64:r=50 -vf tinterlace=mode=interleave_top,setfield=tff -frames:v 6 \
   -pix_fmt yuv420p -f yuv4mpegpipe "$work/interlaced.y4m"
mpeg2enc -v 0 -f 3 -b 300 -I 1 -R 0 --dualprime-mpeg2 -g 6 -G 6 -o "$streams/dual-prime.m2v" \
   < "$work/interlaced.y4m" 2> /dev/null
# (A height that is not a multiple of 32 makes FFmpeg's interlaced output vary from run to run.)
ff -f lavfi -i testsrc2=s=64x64:r=25 -frames:v 6 -c:v mpeg2video -g 6 -bf 2 -qscale:v 8 \
   -flags +ilme+ildct+bitexact -alternate_scan 1 -intra_vlc 1 -f mpeg2video "$streams/interlaced.m2v"
ff -f lavfi -i testsrc2=s=58x42:r=25 -frames:v 6 -c:v mpeg2video -g 6 -bf 2 -qscale:v 8 -flags +bitexact \
   -f mpeg2video "$streams/odd-size.m2v"

# seed TARGET NAME SCRIPT SKIP FILE: the script, then FILE without its first
# SKIP bytes (those the target puts in front of every input).
seed() { { printf "$3"; tail -c +$(($4 + 1)) "$5"; } > "$out/$1/$2"; }
# Scripts: the first, middle and last frames at full (0), half-width (1) or
# quarter (2) scale, with their references decoded first (4) or missing, and
# a second open with the seek data (8) or not.
frames='\x00\x7c\xf0'
seed elementary_stream two-sequences.m2v "\x0c$frames" 4 "$streams/two-sequences.m2v"
seed elementary_stream fields-tff.m2v "\x06$frames" 4 "$streams/fields-tff.m2v"
seed elementary_stream dual-prime.m2v "\x00$frames" 4 "$streams/dual-prime.m2v"
seed elementary_stream interlaced.m2v "\x09$frames" 4 "$streams/interlaced.m2v"
seed elementary_stream odd-size.m2v "\x02$frames" 4 "$streams/odd-size.m2v"
seed program_stream program-stream.vob "\x0c$frames" 4 "$streams/program-stream.vob"
seed transport_stream transport-stream.ts "\x0d$frames" 1 "$streams/transport-stream.ts"

# Bits 4-5 of the script's first byte choose the file.
scripts=("\\x04$frames" "\\x10$frames" "\\x21$frames")
selector=0
for f in two-sequences.m2v program-stream.vob transport-stream.ts; do
  "$tool" index "$streams/$f" -o "$work/$f.seek" -q
  seed seek_data "$f.seek" "${scripts[$selector]}" 0 "$work/$f.seek"
  selector=$((selector + 1))
done

# Byte 0 chooses the file (in the order of the target's list). Requests:
# the first frame from its own references at full scale, the middle one the
# same way at half width; then for half of the files the last at quarter
# scale from its output planes and another frame's, for the others a frame
# a quarter in from null planes.
for file in 0 1 2 3 4 5 6 7; do
  third='\x40\x00'
  [ $((file % 2)) -eq 0 ] && third='\xf0\x9a'
  printf "\\x0$file\\x00\\x3c\\x7c\\x7d$third" > "$out/frame_requests/file-$file"
done
