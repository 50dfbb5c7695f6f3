#!/usr/bin/env bash
# Regenerates the seed inputs in corpus/ (a few KB per target): tiny streams
# that reach every demultiplexer and the frame, field-picture and interlaced
# decoding paths, and the genuine seek data of three corpus files, each
# prefixed with the byte that selects the file in the seek-data target.
# Needs ffmpeg, python3 and a built quarlin tool:
#   tests/fuzz/make-seeds.sh build/tools/quarlin
set -euo pipefail
tool=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
streams="$here/../data/streams"
out="$here/corpus"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ff() { ffmpeg -v error -y -threads 1 "$@"; }
mpeg2=(-c:v mpeg2video -g 4 -bf 1 -flags +bitexact)

ff -f lavfi -i testsrc2=s=64x48:r=25 -frames:v 5 "${mpeg2[@]}" -qscale:v 8 \
   -f mpeg2video "$out/elementary_stream/es-ipb.m2v"
ff -f lavfi -i testsrc2=s=48x32:r=25 -frames:v 4 "${mpeg2[@]}" -qscale:v 8 \
   -flags +ilme+ildct+bitexact -alternate_scan 1 -intra_vlc 1 \
   -f mpeg2video "$out/elementary_stream/es-interlaced.m2v"
ff -f lavfi -i "smptebars=size=48x32:rate=50,format=yuv420p,tinterlace=mode=interleave_top" \
   -frames:v 12 -f rawvideo -pix_fmt yuv420p "$work/fields.yuv"
python3 "$here/../data/field_encoder.py" "$work/fields.yuv" 48 32 tff \
   "$out/elementary_stream/es-field-pictures.m2v"
ff -f lavfi -i testsrc2=s=64x48:r=25 -frames:v 4 "${mpeg2[@]}" -qscale:v 10 \
   -packetsize 512 -f vob "$out/program_stream/program-stream.vob"
ff -f lavfi -i testsrc2=s=64x48:r=25 -frames:v 4 "${mpeg2[@]}" -qscale:v 10 \
   -f mpegts "$out/transport_stream/transport-stream.ts"

selector=0
for f in es-two-sequences.m2v ps-mplex-dvd.mpg ts-truncated.ts; do
  "$tool" index "$streams/$f" -o "$work/$f.seek" -q
  { printf "\\x0$selector"; cat "$work/$f.seek"; } > "$out/seek_data/$f.seek"
  selector=$((selector + 1))
done
