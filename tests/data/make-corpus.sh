#!/usr/bin/env bash
# Regenerates the MPEG test-stream corpus in tests/data/streams/ from synthetic
# sources (no external media).  Re-runnable; about 45 s (60 s with --catalog).
#
# Debian packages needed: ffmpeg (ffmpeg, ffprobe), mjpegtools (mpeg2enc,
# mplex), python3; mpeg2dec (libmpeg2 0.5.1) only for --catalog.
#   apt-get install ffmpeg mjpegtools mpeg2dec python3
#
# Usage:
#   tests/data/make-corpus.sh            regenerate every stream
#   tests/data/make-corpus.sh --catalog  regenerate, then rewrite corpus.tsv
#                                        from ffprobe and mpeg2dec results
#
# Output is byte-identical from run to run with the same tool versions
# (Debian 12: FFmpeg 5.1, libx264 0.164, mjpegtools 2.1.0): every encoder runs
# single-threaded with bit-exact flags, pseudo-random bytes come from a
# fixed-seed generator in corpus_tool.py, and the field-picture streams come
# from field_encoder.py.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
out="$here/streams"
tool="python3 $here/corpus_tool.py"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
rm -f "$out"/*

ff() { ffmpeg -hide_banner -nostdin -loglevel error -y -filter_threads 1 "$@"; }
# mpeg2enc warns on stderr even at -v 0; keep its log and show it on failure.
enc() { mpeg2enc -v 0 "$@" 2> "$work/mpeg2enc.log" || { cat "$work/mpeg2enc.log" >&2; return 1; }; }

# MPEG-2 video encoder: one thread, no version strings, no scene-cut I-pictures
# (group structure exactly as -g/-bf say).
m2v=(-c:v mpeg2video -threads 1 -flags:v +bitexact -fflags +bitexact -map_metadata -1
     -sc_threshold 1000000000)
# Sources: testsrc2 moves and changes every frame; smptebars is still.
qcif=(-f lavfi -i testsrc2=size=176x144:rate=25)
cif=(-f lavfi -i testsrc2=size=352x288:rate=25)
tone=(-f lavfi -i sine=frequency=440:sample_rate=48000)
tone2=(-f lavfi -i sine=frequency=1000:sample_rate=48000)

# ------------------------------------------------------------ elementary streams

# Closed groups: every group decodable on its own, no leading B-pictures.
ff "${cif[@]}" -frames:v 25 "${m2v[@]}" -g 12 -bf 2 -flags +cgop -q:v 8 \
   -f mpeg2video "$out/es-closed-gop.m2v"
# Open groups (the encoder's default): later groups start I B B, the B-pictures
# predicted from the previous group's last P-picture.
ff "${cif[@]}" -frames:v 30 "${m2v[@]}" -g 12 -bf 2 -q:v 8 \
   -f mpeg2video "$out/es-open-gop.m2v"
# Intra-only: every picture an I-picture in its own group.
ff "${qcif[@]}" -frames:v 10 "${m2v[@]}" -g 1 -bf 0 -q:v 8 \
   -f mpeg2video "$out/es-intra-only.m2v"
# Long groups: 60 pictures per group, two B-pictures between anchors.
ff "${qcif[@]}" -frames:v 120 "${m2v[@]}" -g 60 -bf 2 -q:v 10 \
   -f mpeg2video "$out/es-long-gop.m2v"
# No P-pictures: open groups I B B, the B-pictures predicted from two I-pictures.
ff "${qcif[@]}" -frames:v 12 "${m2v[@]}" -g 3 -bf 2 -q:v 8 \
   -f mpeg2video "$out/es-no-p-pictures.m2v"
# No B-pictures: I P P P ..., coded order equals display order.
ff "${qcif[@]}" -frames:v 25 "${m2v[@]}" -g 12 -bf 0 -q:v 8 \
   -f mpeg2video "$out/es-ip-only.m2v"

# Interlaced frame pictures: a 50 Hz source woven into 25 Hz frames, coded with
# field/frame motion compensation (+ilme) and field/frame DCT (+ildct).
ff -f lavfi -i testsrc2=size=720x576:rate=50 \
   -vf tinterlace=mode=interleave_top,setfield=tff -frames:v 10 "${m2v[@]}" \
   -flags +ilme+ildct -top 1 -g 12 -bf 2 -q:v 10 \
   -f mpeg2video "$out/es-interlaced-tff-720x576.m2v"
ff -f lavfi -i testsrc2=size=352x288:rate=50 \
   -vf tinterlace=mode=interleave_bottom,setfield=bff -frames:v 10 "${m2v[@]}" \
   -flags +ilme+ildct -top 0 -g 12 -bf 2 -q:v 8 \
   -f mpeg2video "$out/es-interlaced-bff.m2v"

# Field pictures (picture_structure 1/2).  mpeg2enc -I 2 of Debian 12 crashes,
# so field_encoder.py writes them; the source is a still background with a
# moving, animated inset, woven from 50 Hz fields in the stream's field order.
for order in tff bff; do
  weave=interleave_top
  [ "$order" = bff ] && weave=interleave_bottom
  ff -f lavfi -i "smptebars=size=176x144:rate=50[bg];testsrc2=size=64x48:rate=50[fg];[bg][fg]overlay=x='8+3*n':y='40+n':eval=frame,format=yuv420p,tinterlace=mode=$weave" \
     -frames:v 12 -f rawvideo -pix_fmt yuv420p "$work/fields-$order.yuv"
  python3 "$here/field_encoder.py" "$work/fields-$order.yuv" 176 144 "$order" \
     "$out/es-field-pictures-$order.m2v"
done

# Frame pictures and field pairs mixed picture by picture; mixed_encoder.py
# takes a 50 Hz progressive source and builds each coded frame from the
# instants of its fields (progressive frames from one instant).  The grid
# gives every field its own detail, so a wrong field parity shows.
ff -f lavfi -i "smptebars=size=176x144:rate=50,drawgrid=w=16:h=6:t=1:c=white@0.5[bg];testsrc2=size=64x48:rate=50[fg];[bg][fg]overlay=x='56+44*sin(n/14)':y='48+36*sin(n/19)':eval=frame,format=yuv420p" \
   -frames:v 72 -f rawvideo -pix_fmt yuv420p "$work/mixed-source.yuv"
python3 "$here/mixed_encoder.py" mixed-frame-field "$work/mixed-source.yuv" 176 144 \
   "$out/es-mixed-frame-field.m2v"
python3 "$here/mixed_encoder.py" field-ip-backref "$work/mixed-source.yuv" 176 144 \
   "$out/es-field-ip-backref.m2v"
# Dual prime wants steady motion: still bars, an inset moving 2 and 1 samples a field.
ff -f lavfi -i "smptebars=size=176x144:rate=50[bg];testsrc2=size=80x64:rate=50[fg];[bg][fg]overlay=x='12+2*n':y='16+n':eval=frame,format=yuv420p" \
   -frames:v 30 -f rawvideo -pix_fmt yuv420p "$work/dual-source.yuv"
python3 "$here/mixed_encoder.py" mixed-dual-prime "$work/dual-source.yuv" 176 144 \
   "$out/es-mixed-dual-prime.m2v"
# One macroblock: 12x12, coded 16x32, one macroblock row per field.
ff -f lavfi -i "testsrc2=size=176x144:rate=50,crop=12:12:x='40+2*n':y='60+n',format=yuv420p" \
   -frames:v 30 -f rawvideo -pix_fmt yuv420p "$work/tiny-source.yuv"
python3 "$here/mixed_encoder.py" tiny-fields "$work/tiny-source.yuv" 12 12 \
   "$out/es-tiny-12x12-fields.m2v"

# A second encoder: mpeg2enc (MPEG Software Simulation Group lineage) writes
# q_scale_type 1, alternate scan, intra VLC table B.15 and 9-bit DC by itself.
ff -f lavfi -i testsrc2=size=352x288:rate=50 \
   -vf tinterlace=mode=interleave_top,setfield=tff -frames:v 8 -pix_fmt yuv420p \
   -f yuv4mpegpipe "$work/interlaced.y4m"
# Interlaced frame pictures, P only, dual-prime prediction allowed.
enc -f 3 -b 3000 -I 1 -R 0 --dualprime-mpeg2 -g 8 -G 8 \
   -o "$out/es-mpeg2enc-dualprime.m2v" < "$work/interlaced.y4m"
ff "${qcif[@]}" -frames:v 15 -pix_fmt yuv420p -f yuv4mpegpipe "$work/progressive.y4m"
# Progressive, I B B P groups, sequence display extension.
enc -f 3 -b 1500 -I 0 -R 2 -g 12 -G 12 \
   -o "$out/es-mpeg2enc-progressive.m2v" < "$work/progressive.y4m"
# 3:2 pulldown of 23.976 Hz film: progressive frames in an interlaced sequence,
# repeat_first_field and top_field_first alternating, 29.97 Hz frame rate code.
ff -f lavfi -i testsrc2=size=352x288:rate=24000/1001 -frames:v 12 -pix_fmt yuv420p \
   -f yuv4mpegpipe "$work/film.y4m"
enc -f 3 -b 2000 -p -I 0 -R 2 -g 12 -G 12 -o "$out/es-pulldown-3-2.m2v" < "$work/film.y4m"

# Sizes that are not whole macroblocks: decoders crop the coded area.
ff -f lavfi -i testsrc2=size=178x146:rate=25 -frames:v 8 "${m2v[@]}" \
   -g 12 -bf 2 -q:v 8 -f mpeg2video "$out/es-odd-size-178x146.m2v"
ff -f lavfi -i testsrc2=size=350x286:rate=25 -frames:v 8 "${m2v[@]}" \
   -g 12 -bf 2 -q:v 8 -f mpeg2video "$out/es-odd-size-350x286.m2v"

# Quantiser and coefficient coding tools, one per stream, then all at once.
# The matrices (raster order) are deliberately not symmetric, so that a
# transposed or unscanned matrix shows up as wrong pictures.
intra_matrix=8,11,14,17,20,23,26,29,14,17,20,23,26,29,32,35,20,23,26,29,32,35,38,41,26,29,32,35,38,41,44,47,32,35,38,41,44,47,50,53,38,41,44,47,50,53,56,59,44,47,50,53,56,59,62,65,50,53,56,59,62,65,68,71
inter_matrix=16,17,18,19,20,21,22,23,18,19,20,21,22,23,24,25,20,21,22,23,24,25,26,27,22,23,24,25,26,27,28,29,24,25,26,27,28,29,30,31,26,27,28,29,30,31,32,33,28,29,30,31,32,33,34,35,30,31,32,33,34,35,36,37
ff "${qcif[@]}" -frames:v 8 "${m2v[@]}" -g 12 -bf 2 -q:v 6 \
   -intra_matrix "$intra_matrix" \
   -inter_matrix "$inter_matrix" \
   -f mpeg2video "$out/es-custom-matrices.m2v"
ff "${qcif[@]}" -frames:v 8 "${m2v[@]}" -g 12 -bf 2 -q:v 6 -non_linear_quant 1 -qmax 28 \
   -f mpeg2video "$out/es-nonlinear-quant.m2v"
ff "${qcif[@]}" -frames:v 8 "${m2v[@]}" -g 12 -bf 2 -q:v 6 -alternate_scan 1 \
   -f mpeg2video "$out/es-alternate-scan.m2v"
ff "${qcif[@]}" -frames:v 8 "${m2v[@]}" -g 12 -bf 2 -q:v 6 -intra_vlc 1 \
   -f mpeg2video "$out/es-intra-vlc1.m2v"
for dc in 9 10 11; do
  ff "${qcif[@]}" -frames:v 8 "${m2v[@]}" -g 12 -bf 2 -q:v 6 -dc "$dc" \
     -f mpeg2video "$out/es-intra-dc$dc.m2v"
done
ff "${qcif[@]}" -frames:v 8 "${m2v[@]}" -g 12 -bf 2 -q:v 6 -non_linear_quant 1 -qmax 28 \
   -alternate_scan 1 -intra_vlc 1 -dc 10 -f mpeg2video "$out/es-all-coding-tools.m2v"
# Quantiser changing per macroblock (macroblock_type with macroblock_quant).
ff "${cif[@]}" -frames:v 12 "${m2v[@]}" -g 12 -bf 2 -b:v 600k -lumi_mask 0.3 \
   -p_mask 0.3 -dark_mask 0.3 -f mpeg2video "$out/es-adaptive-quant.m2v"

# 16:9 display aspect with a sequence display extension.
ff "${qcif[@]}" -frames:v 8 "${m2v[@]}" -g 12 -bf 2 -q:v 8 -aspect 16:9 \
   -seq_disp_ext always -video_format pal -f mpeg2video "$out/es-aspect-16x9.m2v"

# Still picture with a small moving inset: runs of skipped macroblocks in P-
# and B-pictures between coded ones.
ff -f lavfi -i "smptebars=size=352x288:rate=25[bg];testsrc2=size=48x48:rate=25[fg];[bg][fg]overlay=x='40+6*n':y=120:eval=frame" \
   -frames:v 25 "${m2v[@]}" -g 12 -bf 2 -q:v 6 -f mpeg2video "$out/es-still-skipped-mb.m2v"
# Fast pan across a wide picture: long vectors, f_code up to 4 or more.
ff -f lavfi -i testsrc2=size=1280x480:rate=25 \
   -vf "crop=352:288:x='n*28':y='n*6'" -frames:v 25 "${m2v[@]}" -g 12 -bf 2 -q:v 8 \
   -me_range 128 -f mpeg2video "$out/es-fast-motion.m2v"
# Several slices per macroblock row (slices closed after about 200 bytes).
ff "${cif[@]}" -frames:v 12 "${m2v[@]}" -g 12 -bf 2 -q:v 6 -ps 200 \
   -f mpeg2video "$out/es-multi-slice-rows.m2v"

# Byte surgery on ordinary streams.
ff "${qcif[@]}" -frames:v 12 "${m2v[@]}" -g 6 -bf 2 -q:v 8 -f mpeg2video "$work/small.m2v"
# 1000 bytes of junk (no start code inside) before the first sequence header.
$tool junk-prefix "$work/small.m2v" "$out/es-junk-prefix.m2v" 1000 20240601
# User data after every group header and after every picture coding extension.
ff "${qcif[@]}" -frames:v 12 "${m2v[@]}" -g 6 -bf 2 -q:v 8 -scan_offset 1 \
   -f mpeg2video "$work/scan-offset.m2v"
$tool gop-user-data "$work/scan-offset.m2v" "$out/es-user-data.m2v"
# No group of pictures headers at all (they are optional in MPEG-2).
$tool strip-gops "$work/small.m2v" "$out/es-no-gop-headers.m2v"
# Starts inside a group: the first sequence header, then the open-group stream
# from its second P-picture on (P B B I B B ...): pictures before the first I.
$tool cut-mid-gop "$out/es-open-gop.m2v" "$out/es-mid-gop-start.m2v"
# The custom matrices moved from the sequence headers into a quant matrix
# extension after every picture coding extension: same pictures as before.
$tool matrices-to-extension "$out/es-custom-matrices.m2v" "$out/es-quant-matrix-extension.m2v"
# Two sequences back to back (sequence end code, new sequence header), the
# second one with its own quantiser matrices.
{ cat "$out/es-ip-only.m2v"; printf '\x00\x00\x01\xb7'; cat "$out/es-custom-matrices.m2v"; } \
   > "$out/es-two-sequences.m2v"

# Several I-pictures in one group: groups of six (I B B P B B) with the
# sequence and group headers in front of groups 2, 3 and 5 removed, so the
# second group holds three I-pictures and the third two; temporal_reference
# counts on through each merged group (it restarts only after a group header).
ff "${qcif[@]}" -frames:v 34 "${m2v[@]}" -g 6 -bf 2 -q:v 10 -f mpeg2video "$work/groups-of-6.m2v"
$tool merge-groups "$work/groups-of-6.m2v" "$out/es-several-i-per-group.m2v" 2,3,5
# No group headers and temporal_reference a running count over 1100 pictures,
# so it wraps from 1023 to 0; sequence headers stay in front of the I-pictures.
# 32x32 at the coarsest quantiser keeps the file small.
ff -f lavfi -i testsrc2=size=32x32:rate=25 -frames:v 1100 "${m2v[@]}" -g 50 -bf 2 -q:v 31 \
   -f mpeg2video "$work/tiny-long.m2v"
$tool running-tr "$work/tiny-long.m2v" "$out/es-no-gop-tr-wraps.m2v"
ff "${qcif[@]}" -frames:v 40 "${m2v[@]}" -g 12 -bf 2 -q:v 10 -f mpeg2video "$work/open-40.m2v"
# A capture cut at both ends: it starts half way through the slices of the
# first group's last P-picture (its two B-pictures follow, before any sequence
# header), then open groups whose leading B-pictures lost their forward
# reference; it ends with the third group's third anchor picture followed by
# half of the first of its B-pictures.
$tool cut-both-ends "$work/open-40.m2v" "$out/es-cut-both-ends.m2v"
# Pictures lost in transmission: coded pictures 5 (a B-picture), 13 (a
# P-picture) and 22 (the I-picture opening the third group, with its sequence
# and group headers) removed; temporal_reference left as it was.
$tool drop-pictures "$work/open-40.m2v" "$out/es-lost-pictures.m2v" 5,13,22
# Pictures smaller than one macroblock (12x12): one macroblock progressive;
# interlaced frame pictures are coded 16x32 (two macroblock rows).
ff -f lavfi -i testsrc2=size=12x12:rate=25 -frames:v 10 "${m2v[@]}" -g 12 -bf 2 -q:v 4 \
   -f mpeg2video "$out/es-tiny-12x12.m2v"
ff -f lavfi -i testsrc2=size=12x12:rate=50 -vf tinterlace=mode=interleave_top,setfield=tff \
   -frames:v 10 "${m2v[@]}" -flags +ilme+ildct -top 1 -g 12 -bf 2 -q:v 4 \
   -f mpeg2video "$out/es-tiny-12x12-interlaced.m2v"

# ------------------------------------------------------------ program streams

# DVD-style VOB: MPEG-2 pack headers, system header, MP2 audio.
ff "${cif[@]}" "${tone[@]}" -frames:v 25 -t 1 "${m2v[@]}" -g 12 -bf 2 -q:v 8 \
   -c:a mp2 -b:a 128k -f vob "$out/ps-vob-mp2.vob"
# DVD muxer (2048-byte packs, navigation packets) with AC-3 and MP2 audio.
ff "${cif[@]}" "${tone[@]}" "${tone2[@]}" -frames:v 25 -t 1 -map 0:v -map 1:a -map 2:a \
   "${m2v[@]}" -g 12 -bf 2 -q:v 8 -c:a:0 ac3 -b:a:0 96k -c:a:1 mp2 -b:a:1 128k \
   -f dvd "$out/ps-dvd-ac3-mp2.vob"
# mplex (mjpegtools) program stream from an mpeg2enc video and an MP2 track.
ff "${tone[@]}" -t 1 -c:a mp2 -b:a 128k -f mp2 "$work/tone.mp2"
ff "${cif[@]}" -frames:v 15 -pix_fmt yuv420p -f yuv4mpegpipe "$work/progressive-cif.y4m"
enc -f 8 -I 0 -R 2 -q 8 -g 12 -G 12 -o "$work/dvd.m2v" < "$work/progressive-cif.y4m"
mplex -v 0 -f 8 -o "$out/ps-mplex-dvd.mpg" "$work/dvd.m2v" "$work/tone.mp2"

# ------------------------------------------------------------ transport streams

# Video (PID 0x100) and MP2 audio (0x101) of one program; PCR in adaptation
# fields of the video PID.
ff "${cif[@]}" "${tone[@]}" -frames:v 25 -t 1 "${m2v[@]}" -g 12 -bf 2 -q:v 8 \
   -c:a mp2 -b:a 128k -f mpegts "$out/ts-mp2-audio.ts"
# Two programs: A = testsrc2 (25 frames) + audio, B = mandelbrot
# (15 frames) + audio.  The PAT lists A then B.
ff "${cif[@]}" "${tone[@]}" -f lavfi -i mandelbrot=size=352x288:rate=25 "${tone2[@]}" \
   -map 0:v -map 1:a -map 2:v -map 3:a -frames:v:0 25 -frames:v:1 15 -t 1 \
   "${m2v[@]}" -g 12 -bf 2 -q:v 8 -c:a mp2 -b:a 128k \
   -program title=A:st=0:st=1 -program title=B:st=2:st=3 \
   -f mpegts "$out/ts-two-programs.ts"
# PMT that lists the audio stream before the video stream.
ff "${tone[@]}" "${qcif[@]}" -map 0:a -map 1:v -frames:v 12 -t 0.5 "${m2v[@]}" \
   -g 6 -bf 2 -q:v 8 -c:a mp2 -b:a 128k -f mpegts "$out/ts-audio-first-pmt.ts"
# The single-program stream cut in the middle of a packet.
$tool truncate "$out/ts-mp2-audio.ts" "$out/ts-truncated.ts"
# The same content in 192-byte packets (a 4-byte copy-permission/arrival-time
# header before each packet, 6144-byte aligned units), as Blu-ray and AVCHD
# store it; the muxer then uses Blu-ray PIDs (PMT 0x100, video 0x1011).  Its
# arrival time stamps jump about, so they are recomputed from the PCRs.
ff "${cif[@]}" "${tone[@]}" -frames:v 25 -t 1 "${m2v[@]}" -g 12 -bf 2 -q:v 8 \
   -c:a mp2 -b:a 128k -f mpegts -mpegts_m2ts_mode 1 "$work/m2ts.m2ts"
$tool m2ts-arrival-times "$work/m2ts.m2ts" "$out/ts-m2ts-192.m2ts"
# ... and in 204-byte packets: 16 Reed-Solomon parity bytes after each packet,
# as DVB receivers record it.
$tool ts-204 "$out/ts-mp2-audio.ts" "$out/ts-dvb-204.ts"
# Broadcast-like multiplexes of four programs.  Radio: programs 1 and 4 carry
# MP2 audio only; program 2 has smptebars with a moving inset (20 frames, PID
# 0x101), program 3 mandelbrot (12 frames, 160x128, PID 0x103).  The last
# program has no MPEG-2 video, so the library takes the first program in PAT
# order that has: program 2.
multiplex_sources=(-t 0.8 -f lavfi -i sine=frequency=440:sample_rate=48000
   -t 0.8 -f lavfi -i "smptebars=size=176x144:rate=25[bg];testsrc2=size=48x48:rate=25[fg];[bg][fg]overlay=x='8+6*n':y=48:eval=frame"
   -t 0.48 -f lavfi -i mandelbrot=size=160x128:rate=25
   -t 0.8 -f lavfi -i sine=frequency=880:sample_rate=48000)
ff "${multiplex_sources[@]}" -t 0.8 -f lavfi -i sine=frequency=660:sample_rate=48000 \
   -t 0.8 -f lavfi -i sine=frequency=1000:sample_rate=48000 \
   -map 0:a -map 1:v -map 4:a -map 2:v -map 5:a -map 3:a "${m2v[@]}" -g 12 -bf 2 -q:v 10 \
   -c:a mp2 -b:a 64k -program title=R1:st=0 -program title=A:st=1:st=2 \
   -program title=B:st=3:st=4 -program title=R2:st=5 -f mpegts "$out/ts-multiplex-radio-last.ts"
# The same two MPEG-2 programs between an MPEG-4 Visual program (first, stream
# type 0x10, PID 0x100) and an H.264 program (last, stream type 0x1b, PID
# 0x104, no SEI so no encoder version string): the library takes program 2
# (PID 0x102; program 3's mandelbrot is on 0x103).
ff "${multiplex_sources[@]}" -t 0.4 -f lavfi -i testsrc2=size=176x144:rate=25 \
   -t 0.4 -f lavfi -i testsrc2=size=128x96:rate=25 \
   -map 4:v -map 0:a -map 1:v -map 2:v -map 5:v -map 3:a "${m2v[@]}" -g 12 -bf 2 -q:v 10 \
   -c:v:0 mpeg4 -c:v:3 libx264 -preset:v:3 veryfast -crf:v:3 35 -x264-params:v:3 threads=1 \
   -bsf:v:3 filter_units=remove_types=6 -c:a mp2 -b:a 64k -program title=M4:st=0:st=1 \
   -program title=A:st=2 -program title=B:st=3 -program title=AVC:st=4:st=5 \
   -f mpegts "$out/ts-multiplex-other-codec-last.ts"
# PSI as 13818-1 allows it but FFmpeg never writes it (ordinary video and audio
# of a 176x144 stream with open groups): pointer_field not 0, sections back to
# back across packets, a PMT longer than one packet, a PAT and a PMT with a
# wrong CRC_32 before the right ones.
ff "${qcif[@]}" -t 1.6 "${tone[@]}" -frames:v 40 "${m2v[@]}" -g 12 -bf 2 -q:v 10 \
   -c:a mp2 -b:a 64k -f mpegts "$work/qcif.ts"
$tool psi-packed "$work/qcif.ts" "$out/ts-psi-pointer-field.ts"
# PAT and PMT first arrive after the first video packets (FFmpeg's first
# repetition of them).
$tool late-psi "$work/qcif.ts" "$out/ts-psi-after-video.ts"
# A capture started at a packet boundary in the middle of a group: video
# payload of the fifth picture first, then pictures before the first sequence
# header, then an open group.
$tool ts-cut-mid-gop "$work/qcif.ts" "$out/ts-mid-stream-capture.ts"

# ------------------------------------------------------------ refusals

# 4:2:2 MPEG-2 (422 profile): chroma_format 2.
ff "${qcif[@]}" -frames:v 6 -pix_fmt yuv422p "${m2v[@]}" -g 6 -bf 2 -q:v 8 \
   -f mpeg2video "$out/es-422.m2v"
# MPEG-1 video: sequence header with no sequence extension.
ff "${qcif[@]}" -frames:v 6 -c:v mpeg1video -threads 1 -flags:v +bitexact \
   -fflags +bitexact -g 6 -bf 2 -q:v 8 -f mpeg1video "$out/es-mpeg1.m1v"
# MPEG-1 system stream (pack marker bits 0010) holding MPEG-2 video.
ff "${qcif[@]}" -frames:v 6 "${m2v[@]}" -g 6 -bf 2 -q:v 8 -f mpeg "$out/ps-mpeg1-system.mpg"
# Transport stream whose only video is MPEG-1 (stream_type 1).
ff "${qcif[@]}" -frames:v 6 -c:v mpeg1video -threads 1 -flags:v +bitexact \
   -fflags +bitexact -g 6 -bf 2 -q:v 8 -f mpegts "$out/ts-mpeg1-video.ts"
# MPEG-2 video whose PMT entry says stream_type 1 (MPEG-1 video): no entry of
# stream_type 2 in the PMT.
$tool ts-stream-type "$out/ts-audio-first-pmt.ts" "$out/ts-no-mpeg2-stream-type.ts" 1
# MPEG-2 video in ISO/QuickTime files whose first box is moov or mdat.
ff "${qcif[@]}" -frames:v 6 "${m2v[@]}" -g 6 -bf 2 -q:v 8 -movflags +faststart \
   -f mp4 "$work/faststart.mp4"
$tool strip-ftyp "$work/faststart.mp4" "$out/other-mp4-moov-first.mp4"
ff "${qcif[@]}" -frames:v 6 "${m2v[@]}" -g 6 -bf 2 -q:v 8 -f mov "$work/plain.mov"
$tool strip-ftyp "$work/plain.mov" "$out/other-mov-mdat-first.mov"
# Other codecs and containers recognised by their first bytes.
ff "${qcif[@]}" -frames:v 4 -c:v mpeg4 -threads 1 -flags:v +bitexact -fflags +bitexact \
   -q:v 8 -f m4v "$out/other-mpeg4-visual.m4v"
ff "${qcif[@]}" -frames:v 4 -c:v h263 -threads 1 -flags:v +bitexact -fflags +bitexact \
   -q:v 8 -f h263 "$out/other-h263.h263"
ff "${qcif[@]}" -frames:v 4 "${m2v[@]}" -q:v 8 -f asf "$out/other-asf.asf"
# Empty file and 64 KiB of pseudo-random bytes.
: > "$out/other-empty.bin"
$tool random "$out/other-random-64k.bin" 65536 1234567

if [ "${1:-}" = --catalog ]; then
  python3 "$here/catalog.py" "$here"
fi
