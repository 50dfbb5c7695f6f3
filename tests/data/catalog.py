#!/usr/bin/env python3
"""Writes corpus.tsv: one row per stream of streams/, with the frame count that
ffprobe reports and whether mpeg2dec (libmpeg2) decodes the stream.

Usage: catalog.py DATA_DIR [--compare]
  --compare  also decode every decodable stream with ffmpeg and mpeg2dec and
             print the largest sample difference between the two decoders
             (a reference check, not part of corpus.tsv).

Columns of corpus.tsv:
  file       name in streams/
  container  es | ps | ts | other
  expect     decodable | refuse-2 (not 4:2:0) | refuse-3 (not MPEG-2 video
             in a supported container, or no video at all)
  frames     frames that `ffprobe -show_frames` reports for the stream the
             library decodes (the `select` column below; 0 for refusals)
  mpeg2dec   yes when mpeg2dec puts out at least one frame, else no (also no
             for the 192- and 204-byte packet files, see PACKETS_188_AT)
  stream     the video stream the library decodes: ffprobe's selector, v:0
             or, in a transport stream, #0xPID (mpeg2dec -t PID)
  purpose    one line
"""

import json
import os
import subprocess
import sys
import tempfile

# file, container, expect, ffprobe stream selector (or PID for mpeg2dec -t), purpose
STREAMS = [
    ("es-closed-gop.m2v", "es", "decodable", "v:0",
     "closed groups (-flags +cgop, -g 12 -bf 2), 352x288: I P B B ..., no leading B-pictures"),
    ("es-open-gop.m2v", "es", "decodable", "v:0",
     "open groups (-g 12 -bf 2), 352x288: later groups coded I B B with B-pictures predicted across the group boundary"),
    ("es-intra-only.m2v", "es", "decodable", "v:0",
     "I-pictures only (-g 1), each in its own group, 176x144"),
    ("es-long-gop.m2v", "es", "decodable", "v:0",
     "120 pictures in two 60-picture groups with two B-pictures between anchors, 176x144"),
    ("es-no-p-pictures.m2v", "es", "decodable", "v:0",
     "no P-pictures (-g 3 -bf 2): coded I I B B I B B ..., leading B-pictures predicted from the previous I-picture"),
    ("es-ip-only.m2v", "es", "decodable", "v:0",
     "no B-pictures (-bf 0): coded order equals display order, 176x144"),
    ("es-interlaced-tff-720x576.m2v", "es", "decodable", "v:0",
     "interlaced frame pictures, top field first, field/frame MC and DCT (+ilme+ildct), 720x576, 10 frames"),
    ("es-interlaced-bff.m2v", "es", "decodable", "v:0",
     "interlaced frame pictures, bottom field first (top_field_first 0), +ilme+ildct, 352x288"),
    ("es-field-pictures-tff.m2v", "es", "decodable", "v:0",
     "field pictures (picture_structure 1 then 2), 176x144 coded as 2x80 lines; I+P-field and I+I-field frames, P/B fields with field-select vectors, skips"),
    ("es-field-pictures-bff.m2v", "es", "decodable", "v:0",
     "field pictures, bottom field coded first (picture_structure 2 then 1); otherwise as the tff stream"),
    ("es-mixed-frame-field.m2v", "es", "decodable", "v:0",
     "mixed_encoder.py: frame pictures and field pairs (tff and bff) mixed per picture, top_field_first and repeat_first_field changing, 16x8 MC, quant matrix extensions in most pictures, 176x144"),
    ("es-mixed-dual-prime.m2v", "es", "decodable", "v:0",
     "mixed_encoder.py: I P P ... with dual prime in P field pictures and P frame pictures, frame and field pictures mixed, 176x144"),
    ("es-field-ip-backref.m2v", "es", "decodable", "v:0",
     "mixed_encoder.py: I/P field frames whose P field predicts from the previous reference frame (open groups) or only from its own I field (closed groups), 176x144"),
    ("es-tiny-12x12-fields.m2v", "es", "decodable", "v:0",
     "mixed_encoder.py: 12x12 interlaced, coded 16x32 as field pairs (one macroblock row per field), I/P/B fields"),
    ("es-mpeg2enc-dualprime.m2v", "es", "decodable", "v:0",
     "mpeg2enc interlaced frame pictures, P only with dual-prime allowed; q_scale_type 1, alternate scan, intra VLC B.15, 9-bit DC"),
    ("es-mpeg2enc-progressive.m2v", "es", "decodable", "v:0",
     "mpeg2enc progressive I B B P groups with a sequence display extension, 176x144"),
    ("es-pulldown-3-2.m2v", "es", "decodable", "v:0",
     "mpeg2enc 3:2 pulldown of 23.976 Hz film: progressive frames, repeat_first_field/top_field_first cycling, frame_rate_code 4"),
    ("es-odd-size-178x146.m2v", "es", "decodable", "v:0",
     "178x146: coded as 12x10 macroblocks, output cropped"),
    ("es-odd-size-350x286.m2v", "es", "decodable", "v:0",
     "350x286: coded as 22x18 macroblocks, output cropped"),
    ("es-custom-matrices.m2v", "es", "decodable", "v:0",
     "intra and non-intra quantiser matrices (not symmetric) loaded in every sequence header"),
    ("es-quant-matrix-extension.m2v", "es", "decodable", "v:0",
     "es-custom-matrices with the matrices moved to a quant matrix extension after every picture coding extension (same pictures)"),
    ("es-nonlinear-quant.m2v", "es", "decodable", "v:0",
     "non-linear quantiser scale (q_scale_type 1)"),
    ("es-alternate-scan.m2v", "es", "decodable", "v:0",
     "alternate scan (alternate_scan 1)"),
    ("es-intra-vlc1.m2v", "es", "decodable", "v:0",
     "intra coefficients with table B.15 (intra_vlc_format 1)"),
    ("es-intra-dc9.m2v", "es", "decodable", "v:0",
     "9-bit intra DC precision (intra_dc_precision 1)"),
    ("es-intra-dc10.m2v", "es", "decodable", "v:0",
     "10-bit intra DC precision (intra_dc_precision 2)"),
    ("es-intra-dc11.m2v", "es", "decodable", "v:0",
     "11-bit intra DC precision (intra_dc_precision 3; beyond Main Profile, though signalled as MP@ML)"),
    ("es-all-coding-tools.m2v", "es", "decodable", "v:0",
     "non-linear quantiser, alternate scan, intra VLC B.15 and 10-bit DC together"),
    ("es-adaptive-quant.m2v", "es", "decodable", "v:0",
     "quantiser changed per macroblock (lumi/dark/p masking), 352x288 at 600 kbit/s"),
    ("es-aspect-16x9.m2v", "es", "decodable", "v:0",
     "aspect_ratio_information 3 (16:9) with a sequence display extension (video_format PAL)"),
    ("es-still-skipped-mb.m2v", "es", "decodable", "v:0",
     "still colour bars with a small moving inset: runs of skipped macroblocks in P- and B-pictures, 352x288"),
    ("es-fast-motion.m2v", "es", "decodable", "v:0",
     "fast diagonal pan (28 and 6 samples per frame): long vectors, f_code up to 4"),
    ("es-multi-slice-rows.m2v", "es", "decodable", "v:0",
     "several slices per macroblock row (-ps 200): slices start mid-row, not one slice per row"),
    ("es-junk-prefix.m2v", "es", "decodable", "v:0",
     "1000 pseudo-random bytes (no 00 00 01, first byte not 0x47) before the first sequence header"),
    ("es-user-data.m2v", "es", "decodable", "v:0",
     "user data after every group header and after every picture coding extension"),
    ("es-no-gop-headers.m2v", "es", "decodable", "v:0",
     "no group of pictures headers at all: sequence header followed directly by pictures"),
    ("es-mid-gop-start.m2v", "es", "decodable", "v:0",
     "starts inside a group: sequence header, then P B B P B B before the first I-picture (cut from es-open-gop); ffprobe counts the first P twice"),
    ("es-two-sequences.m2v", "es", "decodable", "v:0",
     "two sequences (es-ip-only, sequence end code, es-custom-matrices): the second loads its own quantiser matrices"),
    ("es-several-i-per-group.m2v", "es", "decodable", "v:0",
     "groups holding several I-pictures (4, then 18 with I at temporal_reference 2/8/14, then 12 with I at 2/8): temporal_reference counts on through the group"),
    ("es-no-gop-tr-wraps.m2v", "es", "decodable", "v:0",
     "no group headers, 1100 pictures of 32x32 with B-pictures: temporal_reference runs on over the whole stream and wraps from 1023 to 0"),
    ("es-cut-both-ends.m2v", "es", "decodable", "v:0",
     "capture cut at both ends: starts mid-slice in a P-picture, two B-pictures before the first sequence header, open group; ends with an anchor and half of a B-picture"),
    ("es-lost-pictures.m2v", "es", "decodable", "v:0",
     "pictures lost: a B-picture, a P-picture and a group's I-picture with its sequence and group headers; temporal_reference as before"),
    ("es-tiny-12x12.m2v", "es", "decodable", "v:0",
     "12x12 progressive: one macroblock, I P B B, 10 frames"),
    ("es-tiny-12x12-interlaced.m2v", "es", "decodable", "v:0",
     "12x12 interlaced frame pictures (+ilme+ildct, top field first): coded 16x32, I P B B, 10 frames"),
    ("ps-vob-mp2.vob", "ps", "decodable", "v:0",
     "MPEG-2 program stream (-f vob): packs, system header, video 0xE0 and MP2 audio 0xC0"),
    ("ps-dvd-ac3-mp2.vob", "ps", "decodable", "v:0",
     "DVD program stream (-f dvd, 2048-byte packs): video, AC-3 (private stream 1) and MP2 audio"),
    ("ps-mplex-dvd.mpg", "ps", "decodable", "v:0",
     "mplex -f 8 program stream of an mpeg2enc video and MP2 audio (another muxer's packet layout)"),
    ("ts-mp2-audio.ts", "ts", "decodable", "#0x100",
     "transport stream: PAT, PMT, video PID 0x100 with PCR in adaptation fields, MP2 audio PID 0x101"),
    ("ts-two-programs.ts", "ts", "decodable", "#0x102",
     "two programs; the library takes the last PAT entry (program 2, PMT 0x1001) and its video PID 0x102 (mandelbrot, ffprobe stream v:1); program 1 has testsrc2 on 0x100"),
    ("ts-audio-first-pmt.ts", "ts", "decodable", "#0x101",
     "PMT lists MP2 audio (stream_type 3, PID 0x100) before the video (stream_type 2, PID 0x101)"),
    ("ts-truncated.ts", "ts", "decodable", "#0x100",
     "ts-mp2-audio.ts cut in the middle of a packet (length not a multiple of 188)"),
    ("ts-m2ts-192.m2ts", "ts", "decodable", "#0x1011",
     "ts-mp2-audio content in 192-byte packets (4-byte arrival time stamp first; Blu-ray PIDs: PMT 0x100, video 0x1011); mpeg2dec reads 188-byte packets only"),
    ("ts-dvb-204.ts", "ts", "decodable", "#0x100",
     "ts-mp2-audio.ts in 204-byte packets (16 Reed-Solomon parity bytes after each packet); mpeg2dec reads 188-byte packets only"),
    ("ts-multiplex-radio-last.ts", "ts", "decodable", "#0x101",
     "four programs, the first and last radio (audio only): the library takes program 2 (PID 0x101, smptebars, 20 frames), not program 3 (0x103, mandelbrot, 12)"),
    ("ts-multiplex-other-codec-last.ts", "ts", "decodable", "#0x102",
     "four programs: MPEG-4 Visual first, H.264 last: the library takes program 2 (PID 0x102, smptebars, 20 frames), not program 3 (0x103, mandelbrot, 12)"),
    ("ts-psi-pointer-field.ts", "ts", "decodable", "#0x100",
     "pointer_field not 0, sections back to back across packets, a PMT spanning two packets, a PAT and a PMT with a wrong CRC_32 before the right ones"),
    ("ts-psi-after-video.ts", "ts", "decodable", "#0x100",
     "PAT and PMT first arrive after the first video packets"),
    ("ts-mid-stream-capture.ts", "ts", "decodable", "#0x100",
     "capture starting at a packet in the middle of a group: video payload and pictures before the first sequence header, then an open group"),
    ("es-422.m2v", "es", "refuse-2", "v:0",
     "4:2:2 MPEG-2 (chroma_format 2, 4:2:2 profile)"),
    ("es-mpeg1.m1v", "es", "refuse-3", "v:0",
     "MPEG-1 video: sequence header without a sequence extension"),
    ("ps-mpeg1-system.mpg", "ps", "refuse-3", "v:0",
     "MPEG-1 system stream (pack marker bits 0010) holding MPEG-2 video"),
    ("ts-mpeg1-video.ts", "ts", "refuse-3", "v:0",
     "transport stream with MPEG-1 video (the muxer still writes stream_type 2): refused at the sequence header"),
    ("ts-no-mpeg2-stream-type.ts", "ts", "refuse-3", "#0x101",
     "transport stream whose PMT lists its MPEG-2 video as stream_type 1: no stream_type 2 entry"),
    ("other-mp4-moov-first.mp4", "other", "refuse-3", "v:0",
     "MPEG-2 video in MP4 without ftyp, first box moov (bytes 4-7 \"moov\")"),
    ("other-mov-mdat-first.mov", "other", "refuse-3", "v:0",
     "MPEG-2 video in QuickTime without ftyp, first box mdat (bytes 4-7 \"mdat\")"),
    ("other-mpeg4-visual.m4v", "other", "refuse-3", "v:0",
     "MPEG-4 Visual elementary stream (starts 00 00 01 B0)"),
    ("other-h263.h263", "other", "refuse-3", "v:0",
     "H.263 elementary stream (first word AND 0xFFFFFC00 = 0x8000)"),
    ("other-asf.asf", "other", "refuse-3", "v:0",
     "ASF file holding MPEG-2 video (header object GUID 30 26 B2 75 8E 66 CF 11)"),
    ("other-empty.bin", "other", "refuse-3", "v:0",
     "empty file (0 bytes)"),
    ("other-random-64k.bin", "other", "refuse-3", "v:0",
     "64 KiB of pseudo-random bytes (xorshift32, seed 1234567)"),
]

# mpeg2dec reads 188-byte transport packets only.  On these files it still
# writes pictures (after each packet it resynchronises on the next 0x47), but
# damaged ones wherever an arrival time stamp or a parity byte holds 0x47: its
# column says no, and --compare gives it the 188-byte packets cut out instead.
PACKETS_188_AT = {"ts-m2ts-192.m2ts": (192, 4), "ts-dvb-204.ts": (204, 0)}


def packets_188(path, target):
    """The 188-byte packets of a 192/204-byte packet file, written to target."""
    size, offset = PACKETS_188_AT[os.path.basename(path)]
    with open(path, "rb") as f:
        data = f.read()
    with open(target, "wb") as f:
        f.write(b"".join(data[p + offset:p + offset + 188] for p in range(0, len(data) - size + 1, size)))
    return target


def ffprobe(path, selector):
    out = subprocess.run(
        ["ffprobe", "-v", "error", "-select_streams", selector, "-show_frames",
         "-show_entries", "frame=pict_type,interlaced_frame,top_field_first:stream=codec_name,pix_fmt",
         "-show_streams", "-of", "json", path],
        capture_output=True, text=True, check=False)
    try:
        info = json.loads(out.stdout or "{}")
    except json.JSONDecodeError:
        info = {}
    frames = info.get("frames", [])
    streams = info.get("streams", [])
    return {
        "frames": len(frames),
        "types": "".join(f.get("pict_type", "?") for f in frames),
        "interlaced": sorted({(f.get("interlaced_frame"), f.get("top_field_first")) for f in frames}),
        "codec": streams[0].get("codec_name") if streams else None,
        "pix_fmt": streams[0].get("pix_fmt") if streams else None,
    }


def mpeg2dec_args(container, selector):
    if container == "ps":
        return ["-s"]
    if container == "ts":
        pid = selector[1:] if selector.startswith("#") else "0x100"
        return ["-t", pid]
    return []


def mpeg2dec_frames(path, container, selector, keep_dir=None):
    """Number of pictures mpeg2dec writes as PGM files."""
    with tempfile.TemporaryDirectory() as tmp:
        target = keep_dir or tmp
        subprocess.run(["mpeg2dec", *mpeg2dec_args(container, selector), "-o", "pgm",
                        os.path.abspath(path)],
                       cwd=target, capture_output=True, check=False, timeout=60)
        return len([n for n in os.listdir(target) if n.endswith(".pgm")])


def compare(path, container, selector):
    """Largest |ffmpeg - mpeg2dec| sample difference over the common frames."""
    with tempfile.TemporaryDirectory() as tmp:
        raw = os.path.join(tmp, "ff.yuv")
        subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-map", "0:" + selector,
                        "-fps_mode", "passthrough", "-f", "rawvideo", "-pix_fmt", "yuv420p", raw],
                       capture_output=True, check=False)
        pgm_dir = os.path.join(tmp, "pgm")
        os.mkdir(pgm_dir)
        plain = path
        if os.path.basename(path) in PACKETS_188_AT:
            plain = packets_188(path, os.path.join(tmp, "188.ts"))
        count = mpeg2dec_frames(plain, container, selector, pgm_dir)
        size = subprocess.run(["ffprobe", "-v", "error", "-select_streams", selector,
                               "-show_entries", "stream=width,height", "-of", "csv=p=0", path],
                              capture_output=True, text=True).stdout.split()[0].split(",")
        w, h = int(size[0]), int(size[1])
        with open(raw, "rb") as f:
            data = f.read()
        frame = w * h * 3 // 2
        worst = 0
        for i in range(min(count, len(data) // frame)):
            with open(os.path.join(pgm_dir, "%d.pgm" % i), "rb") as f:
                parts = f.read().split(b"\n", 3)
            pw, ph = map(int, parts[1].split())
            body = parts[3]
            base = pw * (ph * 2 // 3)
            ref = data[i * frame:(i + 1) * frame]
            planes = [
                (ref[:w * h], [body[r * pw:r * pw + w] for r in range(h)]),
                (ref[w * h:w * h * 5 // 4],
                 [body[base + r * pw:base + r * pw + w // 2] for r in range(h // 2)]),
                (ref[w * h * 5 // 4:],
                 [body[base + r * pw + pw // 2:base + r * pw + pw // 2 + w // 2] for r in range(h // 2)]),
            ]
            for mine, rows in planes:
                theirs = b"".join(rows)
                worst = max(worst, max((abs(a - b) for a, b in zip(mine, theirs)), default=0))
        return len(data) // frame, count, worst


def main(argv):
    data_dir = argv[1]
    stream_dir = os.path.join(data_dir, "streams")
    listed = {row[0] for row in STREAMS}
    present = set(os.listdir(stream_dir))
    for name in sorted(present - listed):
        print("warning: %s is not catalogued" % name)
    for name in sorted(listed - present):
        print("warning: %s is missing" % name)
    rows = ["file\tcontainer\texpect\tframes\tmpeg2dec\tstream\tpurpose"]
    for name, container, expect, selector, purpose in STREAMS:
        path = os.path.join(stream_dir, name)
        probe = ffprobe(path, selector)
        decoded = mpeg2dec_frames(path, container, selector)
        frames = probe["frames"] if expect == "decodable" else 0
        rows.append("\t".join([name, container, expect, str(frames),
                               "yes" if decoded and name not in PACKETS_188_AT else "no", selector,
                               purpose]))
        line = "%-32s %-9s ffprobe %-10s %-8s frames %3d mpeg2dec %3d types %s %s" % (
            name, expect, probe["codec"], probe["pix_fmt"], probe["frames"], decoded,
            probe["types"], probe["interlaced"])
        if "--compare" in argv and expect == "decodable":
            ff_frames, md_frames, worst = compare(path, container, selector)
            line += " | ffmpeg %d mpeg2dec %d max diff %d" % (ff_frames, md_frames, worst)
        print(line)
    with open(os.path.join(data_dir, "corpus.tsv"), "w") as f:
        f.write("\n".join(rows) + "\n")


if __name__ == "__main__":
    main(sys.argv)
