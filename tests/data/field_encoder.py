#!/usr/bin/env python3
"""Minimal MPEG-2 (ISO/IEC 13818-2) encoder that codes every frame as two
field pictures (picture_structure 1 and 2).

Why it exists: the only field-picture encoder in Debian 12, mpeg2enc -I 2
(mjpegtools 2.1.0), crashes on the first frame (it reads the missing forward
reference when the second field of an I-frame is coded as a P-field).
FFmpeg's mpeg2video encoder writes frame pictures only.

What it writes, deliberately small and simple:
  * Main Profile @ Main Level, 4:2:0, progressive_sequence 0, 25 Hz;
  * two groups of six frames: a closed one coded I P B B P B (the I-frame's
    second field is a P-field predicted from its first field) and an open one
    coded I B B P B B (both fields of the I-frame intra; its leading
    B-frames refer back to the previous group's last P-frame);
  * one slice per macroblock row of each field;
  * intra macroblocks (DC size VLC, a few short AC codes, the rest as
    escapes), and non-intra macroblocks as "motion compensated, not coded"
    with field prediction (field_motion_type 01): forward, backward or
    interpolated, half-sample vectors, either reference field parity; f_code
    chosen per picture from the largest vector;
  * skipped macroblocks (P: zero vector from the same-parity field; B: the
    previous macroblock's prediction repeated).
No residual is coded for predicted macroblocks, so moving areas drift until
the next intra refresh; the stream stays conforming, which is all the
corpus needs: decoders are compared with each other, not with the source.

Usage: field_encoder.py IN.yuv WIDTH HEIGHT tff|bff OUT.m2v
IN.yuv holds 12 interlaced 4:2:0 frames (planar, 8 bit).
"""

import math
import sys

# ---------------------------------------------------------------- tables

# Table B.1, macroblock_address_increment 1..15 (rows are at most 11 wide here).
ADDRESS_INCREMENT = {
    1: "1", 2: "011", 3: "010", 4: "0011", 5: "0010", 6: "00011", 7: "00010",
    8: "0000111", 9: "0000110", 10: "00001011", 11: "00001010", 12: "00001001",
    13: "00001000", 14: "00000111", 15: "00000110",
}
# Tables B.2 to B.4, the macroblock types used here.
MB_TYPE_I_INTRA = "1"
MB_TYPE_P_MC_NOT_CODED = "001"
MB_TYPE_P_INTRA = "00011"
MB_TYPE_B = {"bi": "10", "bwd": "010", "fwd": "0010"}
MB_TYPE_B_INTRA = "00011"
# Table B.10, motion_code 0..16 without the sign bit.
MOTION_CODE = ["1", "01", "001", "0001", "000011", "0000101", "0000100", "0000011",
               "000001011", "000001010", "000001001", "0000010001", "0000010000",
               "0000001111", "0000001110", "0000001101", "0000001100"]
# Tables B.12 and B.13, dct_dc_size_luminance / _chrominance.
DC_SIZE_LUMA = ["100", "00", "01", "101", "110", "1110", "11110", "111110",
                "1111110", "11111110", "111111110", "111111111"]
DC_SIZE_CHROMA = ["00", "01", "10", "110", "1110", "11110", "111110", "1111110",
                  "11111110", "111111110", "1111111110", "1111111111"]
# Table B.14 (intra_vlc_format 0), a few short (run, |level|) codes; others escape.
AC_SHORT = {(0, 1): "11", (1, 1): "011", (0, 2): "0100", (2, 1): "0101"}
AC_EOB = "10"
AC_ESCAPE = "000001"

ZIGZAG = [0, 1, 8, 16, 9, 2, 3, 10, 17, 24, 32, 25, 18, 11, 4, 5,
          12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6, 7, 14, 21, 28,
          35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
          58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63]
DEFAULT_INTRA_MATRIX = [
    8, 16, 19, 22, 26, 27, 29, 34, 16, 16, 22, 24, 27, 29, 34, 37,
    19, 22, 26, 27, 29, 34, 34, 38, 22, 22, 26, 27, 29, 34, 37, 40,
    22, 26, 27, 29, 32, 35, 40, 48, 26, 27, 29, 32, 35, 40, 48, 58,
    26, 27, 29, 34, 38, 46, 56, 69, 27, 29, 35, 38, 46, 56, 69, 83]

QUANTISER_SCALE_CODE = 4          # q_scale_type 0: quantiser_scale = 8
QUANTISER_SCALE = 2 * QUANTISER_SCALE_CODE
INTRA_MEAN_ABS_LIMIT = 14         # mean |error| per luma sample above which a MB goes intra
STATIC_MEAN_ABS_LIMIT = 3         # zero vector accepted without a search below this

COS = [[(math.sqrt(0.5) if u == 0 else 1.0) * math.cos((2 * x + 1) * u * math.pi / 16) / 2
        for x in range(8)] for u in range(8)]


# ---------------------------------------------------------------- bits


class BitWriter:
    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.count = 0

    def put(self, value, n):
        for i in range(n - 1, -1, -1):
            self.acc = (self.acc << 1) | ((value >> i) & 1)
            self.count += 1
            if self.count == 8:
                self.out.append(self.acc)
                self.acc = 0
                self.count = 0

    def code(self, bits):
        for ch in bits:
            self.put(1 if ch == "1" else 0, 1)

    def align(self):
        while self.count:
            self.put(0, 1)

    def start_code(self, value):
        self.align()
        self.out += bytes([0, 0, 1, value])


# ---------------------------------------------------------------- transforms


def fdct(block):
    tmp = [[sum(COS[u][x] * block[y * 8 + x] for x in range(8)) for u in range(8)]
           for y in range(8)]
    return [sum(COS[v][y] * tmp[y][u] for y in range(8)) for v in range(8) for u in range(8)]


def idct(coef):
    tmp = [[sum(COS[u][x] * coef[v * 8 + u] for u in range(8)) for x in range(8)]
           for v in range(8)]
    out = []
    for y in range(8):
        for x in range(8):
            value = int(math.floor(sum(COS[v][y] * tmp[v][x] for v in range(8)) + 0.5))
            out.append(0 if value < 0 else 255 if value > 255 else value)
    return out


def quantise_intra(coef):
    """Quantised levels in raster order (ISO/IEC 13818-2 7.4.2 inverted)."""
    levels = [0] * 64
    levels[0] = max(0, min(255, int(math.floor(coef[0] / 8 + 0.5))))
    for i in range(1, 64):
        q = coef[i] * 16 / (DEFAULT_INTRA_MATRIX[i] * QUANTISER_SCALE)
        level = int(math.floor(abs(q) + 0.5)) * (1 if q >= 0 else -1)
        levels[i] = max(-255, min(255, level))
    return levels


def dequantise_intra(levels):
    coef = [levels[0] * 8] + [0] * 63
    total = coef[0]
    for i in range(1, 64):
        if levels[i]:
            value = 2 * levels[i] * DEFAULT_INTRA_MATRIX[i] * QUANTISER_SCALE
            value = int(value / 32)  # truncation toward zero, as "/" in the standard
            coef[i] = max(-2048, min(2047, value))
            total += coef[i]
    if total % 2 == 0:  # mismatch control (7.4.4)
        coef[63] += -1 if coef[63] % 2 else 1
    return coef


# ---------------------------------------------------------------- pictures


def read_frames(path, width, height, count, coded_w, coded_h):
    """Planes as lists of bytearray rows, padded by edge replication."""
    with open(path, "rb") as f:
        data = f.read()
    frames = []
    pos = 0
    for _ in range(count):
        planes = []
        for w, h, cw, ch in ((width, height, coded_w, coded_h),
                             (width // 2, height // 2, coded_w // 2, coded_h // 2)):
            for _ in range(1 if w == width else 2):
                rows = []
                for y in range(h):
                    row = bytearray(data[pos + y * w:pos + (y + 1) * w])
                    rows.append(row + bytes([row[-1]]) * (cw - w))
                pos += w * h
                while len(rows) < ch:  # repeat the last line of the same field
                    rows.append(bytearray(rows[len(rows) - 2]))
                planes.append(rows)
        frames.append(planes)
    if pos != len(data):
        raise SystemExit("input size does not match %d frames" % count)
    return frames


def field_rows(plane, parity):
    return plane[parity::2]


def predict(rows, x, y, mvx, mvy, size_w, size_h):
    """Half-sample prediction (7.6.4); x, y in samples, mv in half samples."""
    ix, iy = x + (mvx >> 1), y + (mvy >> 1)
    hx, hy = mvx & 1, mvy & 1
    out = []
    for r in range(size_h):
        a = rows[iy + r]
        if hy:
            b = rows[iy + r + 1]
            if hx:
                out.append([(a[ix + c] + a[ix + c + 1] + b[ix + c] + b[ix + c + 1] + 2) >> 2
                            for c in range(size_w)])
            else:
                out.append([(a[ix + c] + b[ix + c] + 1) >> 1 for c in range(size_w)])
        elif hx:
            out.append([(a[ix + c] + a[ix + c + 1] + 1) >> 1 for c in range(size_w)])
        else:
            out.append(list(a[ix:ix + size_w]))
    return out


def chroma_vector(v):
    return int(v / 2)  # 4:2:0, truncation toward zero (7.6.3.7)


def average(p, q):
    return [[(a + b + 1) >> 1 for a, b in zip(ra, rb)] for ra, rb in zip(p, q)]


def sad(src, pred, limit):
    total = 0
    for r in range(0, 16, 2):
        s, p = src[r], pred[r]
        total += sum(abs(s[c] - p[c]) for c in range(0, 16, 2))
        if total >= limit:
            break
    return total * 4


class FieldEncoder:
    def __init__(self, width, height, order):
        self.width, self.height = width, height
        self.coded_w = (width + 15) // 16 * 16
        self.coded_h = (height + 31) // 32 * 32
        self.mb_w = self.coded_w // 16
        self.mb_h = self.coded_h // 32        # macroblock rows per field
        self.first_parity = 0 if order == "tff" else 1
        self.bits = BitWriter()

    # -- headers

    def sequence_header(self):
        b = self.bits
        b.start_code(0xB3)
        b.put(self.width, 12)
        b.put(self.height, 12)
        b.put(2, 4)            # aspect_ratio_information 4:3
        b.put(3, 4)            # frame_rate_code 25 Hz
        b.put(2500, 18)        # bit_rate_value (400 bit/s units): 1 Mbit/s
        b.put(1, 1)
        b.put(112, 10)         # vbv_buffer_size_value (16 kbit units)
        b.put(0, 1)            # constrained_parameters_flag
        b.put(0, 1)            # load_intra_quantiser_matrix
        b.put(0, 1)            # load_non_intra_quantiser_matrix
        b.start_code(0xB5)     # sequence_extension
        b.put(1, 4)
        b.put(0x48, 8)         # Main Profile @ Main Level
        b.put(0, 1)            # progressive_sequence
        b.put(1, 2)            # chroma_format 4:2:0
        b.put(0, 2)
        b.put(0, 2)
        b.put(0, 12)
        b.put(1, 1)
        b.put(0, 8)
        b.put(0, 1)            # low_delay
        b.put(0, 2)
        b.put(0, 5)

    def group_header(self, first_frame, closed):
        b = self.bits
        b.start_code(0xB8)
        b.put(0, 1)                              # drop_frame_flag
        b.put(0, 5)                              # hours
        b.put(0, 6)                              # minutes
        b.put(1, 1)
        b.put(first_frame // 25, 6)              # seconds
        b.put(first_frame % 25, 6)               # pictures
        b.put(1 if closed else 0, 1)
        b.put(0, 1)                              # broken_link
        b.put(0, 5)

    def picture_header(self, tr, kind, structure, f_codes):
        b = self.bits
        b.start_code(0x00)
        b.put(tr, 10)
        b.put(kind, 3)
        b.put(0xFFFF, 16)                        # vbv_delay: variable rate
        if kind in (2, 3):
            b.put(0, 1)
            b.put(7, 3)
        if kind == 3:
            b.put(0, 1)
            b.put(7, 3)
        b.put(0, 1)                              # extra_bit_picture
        b.start_code(0xB5)                       # picture_coding_extension
        b.put(8, 4)
        for code in f_codes:
            b.put(code, 4)
        b.put(0, 2)                              # intra_dc_precision 8 bits
        b.put(structure, 2)
        b.put(0, 1)                              # top_field_first: 0 in field pictures
        b.put(0, 1)                              # frame_pred_frame_dct: 0 in field pictures
        b.put(0, 1)                              # concealment_motion_vectors
        b.put(0, 1)                              # q_scale_type
        b.put(0, 1)                              # intra_vlc_format
        b.put(0, 1)                              # alternate_scan
        b.put(0, 1)                              # repeat_first_field
        b.put(0, 1)                              # chroma_420_type (= progressive_frame)
        b.put(0, 1)                              # progressive_frame
        b.put(0, 1)                              # composite_display_flag

    # -- motion search

    def candidates(self, x, y, refs, src, hint):
        """Best (error, field_select, mvx, mvy) over the reference fields:
        zero and neighbour vectors first, then a coarse grid, then a
        half-sample refinement around the best."""
        limit_x = (self.coded_w - 16) * 2
        limit_y = (self.coded_h // 2 - 16) * 2
        best = [None]
        tried = set()

        def consider(select, luma, mvx, mvy):
            px, py = 2 * x + mvx, 2 * y + mvy
            if (select, mvx, mvy) in tried or px < 0 or py < 0 \
                    or px > limit_x or py > limit_y:
                return
            tried.add((select, mvx, mvy))
            pred = predict(luma, x, y, mvx, mvy, 16, 16)
            err = sad(src, pred, best[0][0] // 4 if best[0] else 1 << 30)
            if best[0] is None or err < best[0][0]:
                best[0] = (err, select, mvx, mvy)

        for select, planes in refs:
            consider(select, planes[0], 0, 0)
            consider(select, planes[0], hint[0], hint[1])
        if best[0] and best[0][0] < STATIC_MEAN_ABS_LIMIT * 256:
            return best[0]
        for select, planes in refs:
            for mvy in range(-8, 9, 4):
                for mvx in range(-48, 49, 4):
                    consider(select, planes[0], mvx, mvy)
        _, select, cx, cy = best[0]
        luma = dict(refs)[select][0]
        for dy in range(-2, 3):
            for dx in range(-2, 3):
                consider(select, luma, cx + dx, cy + dy)
        return best[0]

    def prediction(self, mb, x, y):
        """Luma and chroma prediction blocks for a non-intra decision."""
        parts = []
        for direction in ("fwd", "bwd"):
            if direction in mb["dirs"]:
                select, mvx, mvy = mb[direction]
                planes = dict(self.refs[direction])[select]
                luma = predict(planes[0], x, y, mvx, mvy, 16, 16)
                cmx, cmy = chroma_vector(mvx), chroma_vector(mvy)
                cb = predict(planes[1], x // 2, y // 2, cmx, cmy, 8, 8)
                cr = predict(planes[2], x // 2, y // 2, cmx, cmy, 8, 8)
                parts.append((luma, cb, cr))
        if len(parts) == 2:
            return tuple(average(p, q) for p, q in zip(parts[0], parts[1]))
        return parts[0]

    def decide(self, kind, src_field, mx, my, hints):
        x, y = mx * 16, my * 16
        src = [row[x:x + 16] for row in src_field[0][y:y + 16]]
        if kind == 1:
            return {"dirs": (), "intra": True}
        found = {}
        for direction in ("fwd", "bwd"):
            if self.refs.get(direction):
                found[direction] = self.candidates(x, y, self.refs[direction], src,
                                                   hints[direction])
        options = []
        for direction, best in found.items():
            if best:
                options.append((best[0], (direction,), {direction: best[1:]}))
        if len(found) == 2 and all(found.values()):
            mb = {"dirs": ("fwd", "bwd"), "fwd": found["fwd"][1:], "bwd": found["bwd"][1:]}
            luma = self.prediction(mb, x, y)[0]
            options.append((sad(src, luma, 1 << 30), ("fwd", "bwd"), mb))
        err, dirs, vectors = min(options, key=lambda o: o[0])
        if err > INTRA_MEAN_ABS_LIMIT * 256:
            return {"dirs": (), "intra": True}
        mb = {"dirs": dirs, "intra": False}
        for direction in dirs:
            mb[direction] = vectors[direction]
            hints[direction] = vectors[direction][1:]
        return mb

    # -- macroblock writing

    def write_motion(self, delta, f_code):
        r_size = f_code - 1
        f = 1 << r_size
        if delta < -16 * f:
            delta += 32 * f
        elif delta > 16 * f - 1:
            delta -= 32 * f
        if delta == 0:
            self.bits.code(MOTION_CODE[0])
            return
        magnitude = abs(delta)
        code = ((magnitude - 1) >> r_size) + 1
        self.bits.code(MOTION_CODE[code])
        self.bits.put(0 if delta > 0 else 1, 1)
        if r_size:
            self.bits.put((magnitude - 1) & (f - 1), r_size)

    def write_intra_block(self, pixels, component, dc_pred):
        levels = quantise_intra(fdct(pixels))
        diff = levels[0] - dc_pred[component]
        dc_pred[component] = levels[0]
        size = 0 if diff == 0 else abs(diff).bit_length()
        self.bits.code((DC_SIZE_LUMA if component == 0 else DC_SIZE_CHROMA)[size])
        if size:
            self.bits.put(diff if diff > 0 else diff + (1 << size) - 1, size)
        run = 0
        for i in range(1, 64):
            level = levels[ZIGZAG[i]]
            if level == 0:
                run += 1
                continue
            short = AC_SHORT.get((run, abs(level)))
            if short:
                self.bits.code(short)
                self.bits.put(0 if level > 0 else 1, 1)
            else:
                self.bits.code(AC_ESCAPE)
                self.bits.put(run, 6)
                self.bits.put(level & 0xFFF, 12)
            run = 0
        self.bits.code(AC_EOB)
        return idct(dequantise_intra(levels))

    def code_intra(self, src_field, rec_field, x, y, dc_pred):
        for by in (0, 8):
            for bx in (0, 8):
                block = [src_field[0][y + by + r][x + bx + c] for r in range(8) for c in range(8)]
                out = self.write_intra_block(block, 0, dc_pred)
                for r in range(8):
                    rec_field[0][y + by + r][x + bx:x + bx + 8] = bytes(out[r * 8:r * 8 + 8])
        cx, cy = x // 2, y // 2
        for component in (1, 2):
            block = [src_field[component][cy + r][cx + c] for r in range(8) for c in range(8)]
            out = self.write_intra_block(block, component, dc_pred)
            for r in range(8):
                rec_field[component][cy + r][cx:cx + 8] = bytes(out[r * 8:r * 8 + 8])

    def store_prediction(self, rec_field, mb, x, y):
        luma, cb, cr = self.prediction(mb, x, y)
        for r in range(16):
            rec_field[0][y + r][x:x + 16] = bytes(luma[r])
        for r in range(8):
            rec_field[1][y // 2 + r][x // 2:x // 2 + 8] = bytes(cb[r])
            rec_field[2][y // 2 + r][x // 2:x // 2 + 8] = bytes(cr[r])

    def f_codes(self, decisions):
        codes = []
        for direction in ("fwd", "bwd"):
            for component in (1, 2):
                if not self.refs.get(direction):
                    codes.append(15)
                    continue
                largest = 0
                for mb in decisions:
                    if direction in mb["dirs"]:
                        v = mb[direction][component]
                        largest = max(largest, v if v >= 0 else -v - 1)
                f_code = 1
                while largest > 16 * (1 << (f_code - 1)) - 1:
                    f_code += 1
                codes.append(f_code)
        return codes

    def field_picture(self, tr, kind, parity, src_field, rec_field):
        hints = {"fwd": (0, 0), "bwd": (0, 0)}
        decisions = [self.decide(kind, src_field, mx, my, hints)
                     for my in range(self.mb_h) for mx in range(self.mb_w)]
        f_codes = self.f_codes(decisions)
        self.picture_header(tr, kind, 1 + parity, f_codes)
        for my in range(self.mb_h):
            self.bits.start_code(my + 1)
            self.bits.put(QUANTISER_SCALE_CODE, 5)
            self.bits.put(0, 1)                       # extra_bit_slice
            pmv = {"fwd": [0, 0], "bwd": [0, 0]}
            dc_pred = [128, 128, 128]
            previous = None
            skipped = 0
            for mx in range(self.mb_w):
                mb = decisions[my * self.mb_w + mx]
                x, y = mx * 16, my * 16
                inner = 0 < mx < self.mb_w - 1
                if inner and self.skippable(kind, parity, mb, previous):
                    skipped += 1
                    self.store_prediction(rec_field, mb, x, y)
                    dc_pred = [128, 128, 128]
                    if kind == 2:
                        pmv = {"fwd": [0, 0], "bwd": [0, 0]}
                    continue
                self.bits.code(ADDRESS_INCREMENT[skipped + 1])
                skipped = 0
                previous = mb
                if mb["intra"]:
                    self.bits.code({1: MB_TYPE_I_INTRA, 2: MB_TYPE_P_INTRA,
                                    3: MB_TYPE_B_INTRA}[kind])
                    self.code_intra(src_field, rec_field, x, y, dc_pred)
                    pmv = {"fwd": [0, 0], "bwd": [0, 0]}
                    continue
                if kind == 2:
                    self.bits.code(MB_TYPE_P_MC_NOT_CODED)
                else:
                    key = "bi" if len(mb["dirs"]) == 2 else mb["dirs"][0]
                    self.bits.code(MB_TYPE_B[key])
                self.bits.put(1, 2)                   # field_motion_type: field-based
                for direction in mb["dirs"]:
                    select, mvx, mvy = mb[direction]
                    s = 0 if direction == "fwd" else 2
                    self.bits.put(select, 1)          # motion_vertical_field_select
                    self.write_motion(mvx - pmv[direction][0], f_codes[s])
                    self.write_motion(mvy - pmv[direction][1], f_codes[s + 1])
                    pmv[direction] = [mvx, mvy]
                self.store_prediction(rec_field, mb, x, y)
                dc_pred = [128, 128, 128]

    @staticmethod
    def skippable(kind, parity, mb, previous):
        if mb["intra"]:
            return False
        if kind == 2:
            return mb["fwd"] == (parity, 0, 0)
        if previous is None or previous["intra"] or previous["dirs"] != mb["dirs"]:
            return False
        return all(previous[d] == mb[d] for d in mb["dirs"])

    # -- frames

    def encode(self, frames):
        self.sequence_header()
        groups = [
            (0, True, [(0, 1), (3, 2), (1, 3), (2, 3), (5, 2), (4, 3)]),
            (6, False, [(2, 1), (0, 3), (1, 3), (5, 2), (3, 3), (4, 3)]),
        ]
        anchors = []      # reconstructed reference frames, oldest first
        for first, closed, coded in groups:
            self.group_header(first, closed)
            for tr, kind in coded:
                src = frames[first + tr]
                rec = [[bytearray(row) for row in plane] for plane in src]
                self.frame(tr, kind, src, rec, anchors, second_intra=not closed)
                if kind != 3:
                    anchors = (anchors + [rec])[-2:]
        self.bits.start_code(0xB7)
        return bytes(self.bits.out)

    def frame(self, tr, kind, src, rec, anchors, second_intra):
        for index, parity in enumerate((self.first_parity, 1 - self.first_parity)):
            src_field = [field_rows(p, parity) for p in src]
            rec_field = [field_rows(p, parity) for p in rec]
            other = [field_rows(p, 1 - parity) for p in rec]
            field_kind = kind
            if kind == 1 and index == 1 and not second_intra:
                field_kind = 2
            self.refs = {}
            if field_kind == 2:
                if kind == 1:          # second field of an I-frame: its first field only
                    self.refs["fwd"] = [(1 - parity, other)]
                elif index == 1:       # first field of this frame + same parity of the last anchor
                    last = anchors[-1]
                    self.refs["fwd"] = [(1 - parity, other),
                                        (parity, [field_rows(p, parity) for p in last])]
                else:
                    last = anchors[-1]
                    self.refs["fwd"] = [(q, [field_rows(p, q) for p in last]) for q in (0, 1)]
            elif field_kind == 3:
                older, newer = anchors[-2], anchors[-1]
                self.refs["fwd"] = [(q, [field_rows(p, q) for p in older]) for q in (0, 1)]
                self.refs["bwd"] = [(q, [field_rows(p, q) for p in newer]) for q in (0, 1)]
            self.field_picture(tr, field_kind, parity, src_field, rec_field)


def main(argv):
    if len(argv) != 6 or argv[4] not in ("tff", "bff"):
        raise SystemExit(__doc__)
    width, height = int(argv[2]), int(argv[3])
    encoder = FieldEncoder(width, height, argv[4])
    frames = read_frames(argv[1], width, height, 12, encoder.coded_w, encoder.coded_h)
    with open(argv[5], "wb") as f:
        f.write(encoder.encode(frames))


if __name__ == "__main__":
    main(sys.argv)
