#!/usr/bin/env python3
"""MPEG-2 (ISO/IEC 13818-2) encoder for interlaced sequences that mix frame
pictures and field pairs picture by picture.

Why it exists: FFmpeg's mpeg2video writes frame pictures only and mpeg2enc
-I 2 of Debian 12 crashes, so nothing else at hand writes field pictures next
to frame pictures, 16x8 motion compensation, dual prime in field pictures or
I-frames whose second field is a P-field that reaches back to the previous
reference frame.  field_encoder.py writes plain field-picture streams; this
encoder adds everything below.  Each stream is one of the picture plans in
PLANS, chosen by name:

  mixed-frame-field  I/P/B frames coded as frame pictures (interlaced, or
                     progressive with repeat_first_field) or as field pairs
                     (top or bottom field first), top_field_first changing;
                     16x8 motion compensation in P- and B-fields, field and
                     frame prediction and field/frame DCT in frame pictures,
                     quant matrix extensions in most pictures; groups closed
                     and open.
  mixed-dual-prime   I P P ... (no B-pictures, as dual prime requires): dual
                     prime in P-fields and in P frame pictures.
  field-ip-backref   I-frames coded as an I-field and a P-field: in open
                     groups the P-field also predicts from the same-parity
                     field of the previous reference frame (field select,
                     skipped and "no MC" macroblocks); in closed groups only
                     from its own I-field.
  tiny-fields        12x12 (one macroblock: coded 16x32, 16 lines per field),
                     field pairs only.

Common to all: Main Profile @ Main Level, 4:2:0, progressive_sequence 0,
25 Hz; a sequence header before every group (matrices back to default); one
slice per macroblock row, quantiser_scale_code alternating per slice
(q_scale_type 0); intra and non-intra blocks with coded coefficients (table
B.14, escapes for the rare pairs); motion estimation on luma with half-sample
refinement; skipped macroblocks wherever 7.6.6 gives the same prediction.

Usage: mixed_encoder.py PLAN IN.yuv WIDTH HEIGHT OUT.m2v [RECON.yuv] [--stats]
IN.yuv holds 50 Hz progressive 4:2:0 frames (planar, 8 bit), one per field
period; every coded field is taken from the frame of its instant (both
fields of a progressive frame from one instant).  RECON.yuv receives the
encoder's own reconstruction in display order (display size), for comparing
with decoders; --stats prints one line per picture on stderr.
"""

import math
import sys
from operator import mul, sub

from field_encoder import (ADDRESS_INCREMENT, BitWriter, DC_SIZE_CHROMA, DC_SIZE_LUMA,
                           DEFAULT_INTRA_MATRIX, MOTION_CODE, ZIGZAG, average,
                           chroma_vector, predict)

I_PICTURE, P_PICTURE, B_PICTURE = 1, 2, 3
TOP, BOTTOM, FRAME = 1, 2, 3          # picture_structure

# ---------------------------------------------------------------- tables

# Table B.9, coded_block_pattern (4:2:0) 1..63.
CBP_CODE = {
    60: "111", 4: "1101", 8: "1100", 16: "1011", 32: "1010", 12: "10011",
    48: "10010", 20: "10001", 40: "10000", 28: "01111", 44: "01110", 52: "01101",
    56: "01100", 1: "01011", 61: "01010", 2: "01001", 62: "01000", 24: "001111",
    36: "001110", 3: "001101", 63: "001100", 5: "0010111", 9: "0010110",
    17: "0010101", 33: "0010100", 6: "0010011", 10: "0010010", 18: "0010001",
    34: "0010000", 7: "00011111", 11: "00011110", 19: "00011101", 35: "00011100",
    13: "00011011", 49: "00011010", 21: "00011001", 41: "00011000", 14: "00010111",
    50: "00010110", 22: "00010101", 42: "00010100", 15: "00010011", 51: "00010010",
    23: "00010001", 43: "00010000", 25: "00001111", 37: "00001110", 26: "00001101",
    38: "00001100", 29: "00001011", 45: "00001010", 53: "00001001", 57: "00001000",
    30: "00000111", 46: "00000110", 54: "00000101", 58: "00000100", 31: "000000111",
    47: "000000110", 55: "000000101", 59: "000000100", 27: "000000011",
    39: "000000010",
}
# Table B.14 (run, |level|) codes without the sign bit; other pairs escape.
# (0, 1) is "1" as the first coefficient of a non-intra block.
AC_CODE = {
    (0, 1): "11", (1, 1): "011", (0, 2): "0100", (2, 1): "0101", (0, 3): "00101",
    (3, 1): "00111", (4, 1): "00110", (1, 2): "000110", (5, 1): "000111",
    (6, 1): "000101", (7, 1): "000100", (0, 4): "0000110", (2, 2): "0000100",
    (8, 1): "0000111", (9, 1): "0000101",
}
AC_EOB = "10"
AC_ESCAPE = "000001"
DMVECTOR_CODE = {0: "0", 1: "10", -1: "11"}          # Table B.11

# Tables B.3 and B.4, macroblock_type of non-intra macroblocks: (directions, coded).
P_TYPE = {("fwd", True): "1", ((), True): "01", ("fwd", False): "001"}
B_TYPE = {("bi", False): "10", ("bi", True): "11", ("bwd", False): "010",
          ("bwd", True): "011", ("fwd", False): "0010", ("fwd", True): "0011"}
INTRA_TYPE = {I_PICTURE: "1", P_PICTURE: "00011", B_PICTURE: "00011"}
# Tables 6-17 and 6-18: frame_motion_type (field, frame, dual prime) and
# field_motion_type (field, 16x8, dual prime).
MOTION_TYPE_CODE = {"field": 1, "16x8": 2, "frame": 2, "dual": 3}

# Quantiser matrices in raster order, deliberately not symmetric (a transposed
# or unscanned matrix gives wrong pictures).  None: the default.
MATRICES = {
    "intra-a": [8] + [min(255, 9 + 2 * (i % 8) + 5 * (i // 8)) for i in range(1, 64)],
    "intra-b": [8] + [min(255, 12 + 6 * (i % 8) + (i // 8)) for i in range(1, 64)],
    "inter-a": [16 + (i % 8) + 3 * (i // 8) for i in range(64)],
    "inter-b": [10 + 4 * (i % 8) + 2 * (i // 8) for i in range(64)],
}
FLAT_NON_INTRA = [16] * 64

COS = [[(math.sqrt(0.5) if u == 0 else 1.0) * math.cos((2 * x + 1) * u * math.pi / 16) / 2
        for x in range(8)] for u in range(8)]
BASIS = [[COS[k % 8][x] * COS[k // 8][y] for y in range(8) for x in range(8)]
         for k in range(64)]

CLIP = bytes(min(255, max(0, v - 512)) for v in range(1024))    # CLIP[v + 512]
STATIC_LIMIT = 2        # mean |error| under which the zero vector is taken unsearched
INTRA_BIAS = 8 * 256    # an intra macroblock must beat the best prediction by this much

# ---------------------------------------------------------------- picture plans
#
# Groups in display order: (closed_gop, frames).  A frame is TYPE:CODING with
# CODING one of
#   F   frame picture, interlaced (progressive_frame 0, field/frame MC and DCT)
#   N   frame picture, progressive_frame 1 (frame MC and DCT only)
#   R   as N with repeat_first_field 1 (three fields shown)
#   D   field pair; for I-frames Di (I+I), Dp (I + P-field predicted from the
#       I-field only) or Db (I + P-field that may also use the previous
#       reference frame's same-parity field).
# The field order follows from the previous frames: the first frame starts
# with the top field, and only a repeated field changes the parity of the
# next frame's first field.  "matrices" cycles through the quant matrix
# extension contents, one entry per picture (None: no extension; a pair of
# MATRICES names, None for "not loaded").  "bias" lowers the cost (luma SAD)
# of a prediction mode so that the plan's point shows in the pictures that may
# use it; "dual_prime" allows dual prime in P-pictures (the plan has no
# B-pictures).  "qcode" is quantiser_scale_code per picture type, plus one in
# every second slice.

PLANS = {
    "mixed-frame-field": {
        "groups": [
            (True, "I:R B:D B:F P:D B:R B:D P:F B:R B:F P:N"),
            (False, "B:D B:F I:Dp B:R B:D P:F B:D B:R P:D"),
            (True, "I:Di B:F B:R P:D B:D B:F P:R B:D B:F P:F"),
        ],
        "matrices": [("intra-a", "inter-a"), (None, "inter-b"), ("intra-b", None), None,
                     ("intra-b", "inter-a"), (None, None)],
        "bias": {"16x8": 48, "field-in-frame": 32},
        "qcode": {I_PICTURE: 3, P_PICTURE: 4, B_PICTURE: 5},
    },
    "mixed-dual-prime": {
        "groups": [
            (True, "I:F P:D P:F P:D P:F P:D P:F P:D"),
            (True, "I:Dp P:F P:D P:F P:D P:F"),
        ],
        "matrices": None,
        "bias": {"dual": 600},
        "dual_prime": True,
        "qcode": {I_PICTURE: 3, P_PICTURE: 4},
    },
    "field-ip-backref": {
        "groups": [
            (True, "I:Dp B:F B:D P:F B:D B:F P:D"),
            (False, "B:F B:D I:Db B:D B:F P:D B:F B:D P:F"),
            (True, "I:Dp B:D B:F P:D B:F B:D P:F"),
            (False, "B:D B:F I:Db B:F B:D P:F B:D B:F I:Db B:D P:F"),
        ],
        "matrices": None,
        "bias": {"same-parity": 48},
        "qcode": {I_PICTURE: 4, P_PICTURE: 5, B_PICTURE: 6},
    },
    "tiny-fields": {
        "groups": [
            (True, "I:Dp B:D B:D P:D B:D B:D P:D"),
            (False, "B:D I:Db B:D P:D B:D P:D"),
        ],
        "matrices": None,
        "bias": {"16x8": 64},
        "qcode": {I_PICTURE: 3, P_PICTURE: 4, B_PICTURE: 5},
    },
}

# ---------------------------------------------------------------- bits


class Bits(BitWriter):
    """BitWriter that takes whole fields at once."""

    def put(self, value, n):
        self.acc = (self.acc << n) | (value & ((1 << n) - 1))
        self.count += n
        while self.count >= 8:
            self.count -= 8
            self.out.append((self.acc >> self.count) & 0xFF)
        self.acc &= (1 << self.count) - 1

    def code(self, bits):
        self.put(int(bits, 2), len(bits))


# ---------------------------------------------------------------- transforms


def fdct(block):
    tmp = [[sum(map(mul, c, block[y * 8:y * 8 + 8])) for c in COS] for y in range(8)]
    out = [0.0] * 64
    for u in range(8):
        column = [row[u] for row in tmp]
        for v in range(8):
            out[v * 8 + u] = sum(map(mul, COS[v], column))
    return out


def idct(coef):
    acc = [0.0] * 64
    for k, c in enumerate(coef):
        if c:
            acc = [a + c * b for a, b in zip(acc, BASIS[k])]
    return [int(math.floor(a + 0.5)) for a in acc]


def quantise(coef, matrix, scale, intra):
    """Levels in raster order (inverse of 7.4.2; rounding for intra, a dead
    zone for non-intra)."""
    levels = [0] * 64
    start = 0
    if intra:
        levels[0] = max(0, min(255, int(math.floor(coef[0] / 8 + 0.5))))
        start = 1
    for i in range(start, 64):
        q = coef[i] * 16 / (matrix[i] * scale)
        magnitude = int(abs(q) + 0.5) if intra else int(abs(q) + 0.1)
        if magnitude > 2047:
            magnitude = 2047
        levels[i] = magnitude if q >= 0 else -magnitude
    return levels


def dequantise(levels, matrix, scale, intra):
    """7.4.2 to 7.4.4: inverse quantisation, saturation, mismatch control."""
    coef = [0] * 64
    total = 0
    start = 0
    if intra:
        coef[0] = levels[0] * 8
        total = coef[0]
        start = 1
    for i in range(start, 64):
        level = levels[i]
        if level:
            k = 0 if intra else (1 if level > 0 else -1)
            value = (2 * level + k) * matrix[i] * scale
            value = abs(value) // 32 * (1 if value > 0 else -1)
            coef[i] = max(-2048, min(2047, value))
            total += coef[i]
    if total % 2 == 0:
        coef[63] += -1 if coef[63] % 2 else 1
    return coef


# ---------------------------------------------------------------- helpers


def view(planes, parity):
    """Field of a frame: the same row objects, so writes reach the frame."""
    return [p[parity::2] for p in planes]


def inside(rows, x, y, mvx, mvy, w, h):
    ix, iy = x + (mvx >> 1), y + (mvy >> 1)
    return ix >= 0 and iy >= 0 and ix + w + (mvx & 1) <= len(rows[0]) \
        and iy + h + (mvy & 1) <= len(rows)


def block_prediction(planes, x, y, mvx, mvy, w, h):
    """Luma w x h and chroma prediction at luma position (x, y) of the planes."""
    cmx, cmy = chroma_vector(mvx), chroma_vector(mvy)
    return (predict(planes[0], x, y, mvx, mvy, w, h),
            predict(planes[1], x // 2, y // 2, cmx, cmy, w // 2, h // 2),
            predict(planes[2], x // 2, y // 2, cmx, cmy, w // 2, h // 2))


def block_inside(planes, x, y, mvx, mvy, w, h):
    return inside(planes[0], x, y, mvx, mvy, w, h) and inside(
        planes[1], x // 2, y // 2, chroma_vector(mvx), chroma_vector(mvy), w // 2, h // 2)


def average_parts(p, q):
    return tuple(average(a, b) for a, b in zip(p, q))


def stack(upper, lower):
    return tuple(a + b for a, b in zip(upper, lower))


def interleave(top, bottom):
    out = []
    for a, b in zip(top, bottom):
        rows = []
        for ra, rb in zip(a, b):
            rows.append(ra)
            rows.append(rb)
        out.append(rows)
    return tuple(out)


def dual_vector(mvx, mvy, dmx, dmy, scale, shift):
    """Vector to the opposite-parity field (7.6.3.6)."""
    return (((scale * mvx + (mvx > 0)) >> 1) + dmx,
            ((scale * mvy + (mvy > 0)) >> 1) + dmy + shift)


def sad(src, pred):
    return sum(sum(map(abs, map(sub, s, p))) for s, p in zip(src, pred))


def sad_at(src, rows, ix, iy, w, step):
    total = 0
    for r in range(0, len(src), step):
        total += sum(map(abs, map(sub, src[r], rows[iy + r][ix:ix + w])))
    return total


def search(src, rows, x, y, hints, rx=16, ry=8):
    """Best (sad, mvx, mvy) for the block src at (x, y) of rows: zero and
    hinted vectors, a coarse full-sample grid, a full-sample and then a
    half-sample refinement."""
    h, w = len(src), len(src[0])
    lo_x, hi_x = -x, len(rows[0]) - w - x
    lo_y, hi_y = -y, len(rows) - h - y
    coarse = {}

    def full(dx, dy):
        if (dx, dy) not in coarse:
            coarse[(dx, dy)] = sad_at(src, rows, x + dx, y + dy, w, 2) \
                if lo_x <= dx <= hi_x and lo_y <= dy <= hi_y else None
        return coarse[(dx, dy)]

    zero = full(0, 0)
    if zero * 2 <= STATIC_LIMIT * w * h:
        return sad(src, [rows[y + r][x:x + w] for r in range(h)]), 0, 0
    best = (zero, 0, 0)
    points = [(hx >> 1, hy >> 1) for hx, hy in hints]
    points += [(dx, dy) for dy in range(-ry, ry + 1, 4) for dx in range(-rx, rx + 1, 4)]
    grid = None                       # every fourth row for the coarse grid
    for dx, dy in points:
        if lo_x <= dx <= hi_x and lo_y <= dy <= hi_y:
            cost = sad_at(src, rows, x + dx, y + dy, w, 4)
            if grid is None or cost < grid[0]:
                grid = (cost, dx, dy)
    if grid and full(grid[1], grid[2]) < best[0]:
        best = (full(grid[1], grid[2]), grid[1], grid[2])
    for _ in range(4):
        cx, cy = best[1], best[2]
        for dx, dy in ((-1, 0), (1, 0), (0, -1), (0, 1), (-2, 0), (2, 0), (0, -2), (0, 2)):
            cost = full(cx + dx, cy + dy)
            if cost is not None and cost < best[0]:
                best = (cost, cx + dx, cy + dy)
        if (best[1], best[2]) == (cx, cy):
            break
    cx, cy = 2 * best[1], 2 * best[2]
    best = None
    for dy in (-1, 0, 1):
        for dx in (-1, 0, 1):
            mvx, mvy = cx + dx, cy + dy
            if inside(rows, x, y, mvx, mvy, w, h):
                cost = sad(src, predict(rows, x, y, mvx, mvy, w, h))
                if best is None or cost < best[0]:
                    best = (cost, mvx, mvy)
    return best


# ---------------------------------------------------------------- source


def read_source(path, width, height):
    with open(path, "rb") as f:
        data = f.read()
    size = width * height * 3 // 2
    if len(data) % size:
        raise SystemExit("%s is not a whole number of %dx%d frames" % (path, width, height))
    frames = []
    for pos in range(0, len(data), size):
        planes = []
        offset = pos
        for w, h in ((width, height), (width // 2, height // 2), (width // 2, height // 2)):
            planes.append([data[offset + y * w:offset + (y + 1) * w] for y in range(h)])
            offset += w * h
        frames.append(planes)
    return frames


def pad(planes, coded_w, coded_h):
    out = []
    for index, plane in enumerate(planes):
        cw, ch = (coded_w, coded_h) if index == 0 else (coded_w // 2, coded_h // 2)
        rows = [bytearray(row) + bytes([row[-1]]) * (cw - len(row)) for row in plane]
        while len(rows) < ch:           # the last line of the same field
            rows.append(bytearray(rows[len(rows) - 2]))
        out.append(rows)
    return out


# ---------------------------------------------------------------- encoder


class Frame:
    """One frame of the plan, in display order."""

    def __init__(self, token, display):
        kind, coding = token.split(":")
        self.kind = {"I": I_PICTURE, "P": P_PICTURE, "B": B_PICTURE}[kind]
        self.display = display
        self.fields = coding[0] == "D"
        self.second = {"i": I_PICTURE, "p": P_PICTURE, "b": P_PICTURE}.get(
            coding[1:], self.kind)
        self.backref = coding == "Db" or (self.fields and self.kind == P_PICTURE)
        self.progressive = coding[0] in "NR"
        self.rff = coding[0] == "R"
        self.first_parity = 0
        self.tr = 0


class Picture:
    """Coding state of one picture (a frame picture or one field)."""

    def __init__(self, **kw):
        self.__dict__.update(kw)


class Encoder:
    def __init__(self, plan, width, height):
        self.plan = plan
        self.width, self.height = width, height
        self.coded_w = (width + 15) // 16 * 16
        self.coded_h = (height + 31) // 32 * 32
        self.mb_w = self.coded_w // 16
        self.bits = Bits()
        self.stats = []
        self.matrix_cycle = 0
        self.intra_matrix = DEFAULT_INTRA_MATRIX
        self.inter_matrix = FLAT_NON_INTRA

    # -- headers

    def sequence_header(self):
        b = self.bits
        b.start_code(0xB3)
        b.put(self.width, 12)
        b.put(self.height, 12)
        b.put(2, 4)            # aspect_ratio_information 4:3
        b.put(3, 4)            # frame_rate_code 25 Hz
        b.put(37500, 18)       # bit_rate_value (400 bit/s units): 15 Mbit/s
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
        self.intra_matrix = DEFAULT_INTRA_MATRIX
        self.inter_matrix = FLAT_NON_INTRA

    def group_header(self, field_count, closed):
        frames = field_count // 2           # time_code of the first frame shown
        b = self.bits
        b.start_code(0xB8)
        b.put(0, 1)                         # drop_frame_flag
        b.put(0, 5)
        b.put(frames // 1500, 6)
        b.put(1, 1)
        b.put(frames // 25 % 60, 6)
        b.put(frames % 25, 6)
        b.put(1 if closed else 0, 1)
        b.put(0, 1)                         # broken_link

    def picture_header(self, pic, f_codes):
        b = self.bits
        b.start_code(0x00)
        b.put(pic.tr, 10)
        b.put(pic.kind, 3)
        b.put(0xFFFF, 16)                   # vbv_delay: variable rate
        if pic.kind in (P_PICTURE, B_PICTURE):
            b.put(0, 1)
            b.put(7, 3)
        if pic.kind == B_PICTURE:
            b.put(0, 1)
            b.put(7, 3)
        b.put(0, 1)                         # extra_bit_picture
        b.start_code(0xB5)                  # picture_coding_extension
        b.put(8, 4)
        for code in f_codes:
            b.put(code, 4)
        b.put(0, 2)                         # intra_dc_precision 8 bits
        b.put(pic.structure, 2)
        b.put(pic.tff, 1)
        b.put(pic.fpfd, 1)                  # frame_pred_frame_dct
        b.put(0, 1)                         # concealment_motion_vectors
        b.put(0, 1)                         # q_scale_type
        b.put(0, 1)                         # intra_vlc_format
        b.put(0, 1)                         # alternate_scan
        b.put(pic.rff, 1)
        b.put(pic.progressive, 1)           # chroma_420_type
        b.put(pic.progressive, 1)           # progressive_frame
        b.put(0, 1)                         # composite_display_flag
        if pic.load:
            intra, inter = pic.load
            b.start_code(0xB5)              # quant_matrix_extension
            b.put(3, 4)
            for name in (intra, inter):
                b.put(1 if name else 0, 1)
                if name:
                    for i in range(64):
                        b.put(MATRICES[name][ZIGZAG[i]], 8)
            b.put(0, 1)                     # load_chroma_intra_quantiser_matrix
            b.put(0, 1)                     # load_chroma_non_intra_quantiser_matrix

    def next_matrices(self):
        """Quant matrix extension contents for the next picture, or None."""
        cycle = self.plan["matrices"]
        if not cycle:
            return None
        load = cycle[self.matrix_cycle % len(cycle)]
        self.matrix_cycle += 1
        if load:
            if load[0]:
                self.intra_matrix = MATRICES[load[0]]
            if load[1]:
                self.inter_matrix = MATRICES[load[1]]
        return load

    # -- prediction

    def direction_prediction(self, pic, mode, direction, vectors, x, y):
        refs = pic.refs[direction]
        if pic.structure == FRAME:
            if mode == "frame":
                mvx, mvy = vectors[0]
                return block_prediction(refs["frame"], x, y, mvx, mvy, 16, 16)
            halves = []
            for f in (0, 1):
                if mode == "field":
                    select, mvx, mvy = vectors[f]
                    halves.append(block_prediction(refs[select], x, y // 2, mvx, mvy, 16, 8))
                else:
                    mvx, mvy, dmx, dmy = vectors[0]
                    ox, oy = self.frame_dual_vector(pic, f, mvx, mvy, dmx, dmy)
                    halves.append(average_parts(
                        block_prediction(refs[f], x, y // 2, mvx, mvy, 16, 8),
                        block_prediction(refs[1 - f], x, y // 2, ox, oy, 16, 8)))
            return interleave(*halves)
        if mode == "field":
            select, mvx, mvy = vectors[0]
            return block_prediction(refs[select], x, y, mvx, mvy, 16, 16)
        if mode == "16x8":
            parts = [block_prediction(refs[s], x, y + 8 * half, mvx, mvy, 16, 8)
                     for half, (s, mvx, mvy) in enumerate(vectors)]
            return stack(*parts)
        mvx, mvy, dmx, dmy = vectors[0]
        ox, oy = dual_vector(mvx, mvy, dmx, dmy, 1, -1 if pic.parity == 0 else 1)
        return average_parts(block_prediction(refs[pic.parity], x, y, mvx, mvy, 16, 16),
                             block_prediction(refs[1 - pic.parity], x, y, ox, oy, 16, 16))

    @staticmethod
    def frame_dual_vector(pic, f, mvx, mvy, dmx, dmy):
        # f 0: top field from the bottom reference field, f 1: the reverse.
        near = (f == 0) == bool(pic.tff)
        return dual_vector(mvx, mvy, dmx, dmy, 1 if near else 3, -1 if f == 0 else 1)

    def prediction(self, pic, mb, x, y):
        parts = [self.direction_prediction(pic, mb["mode"], d, mb["mv"][d], x, y)
                 for d in mb["dirs"]]
        return average_parts(*parts) if len(parts) == 2 else parts[0]

    # -- mode decision

    def candidates(self, pic, x, y, src, hints):
        """(cost, mode, dirs, vectors) options for one macroblock."""
        bias = self.plan["bias"]
        static = STATIC_LIMIT * 256
        for d in pic.refs:                    # a still area: zero vector, nothing else
            refs = pic.refs[d]
            if pic.structure == FRAME:
                rows, mode, vector = refs["frame"][0], "frame", (0, 0)
            elif pic.parity in pic.selects[d]:
                rows, mode, vector = refs[pic.parity][0], "field", (pic.parity, 0, 0)
            else:
                continue
            cost = sad(src, [rows[y + r][x:x + 16] for r in range(16)])
            if cost <= static:
                return [(cost, mode, (d,), {d: [vector]})]
        out = []
        found = {}
        for d in pic.refs:
            refs = pic.refs[d]
            found[d] = {}
            if pic.structure == FRAME:
                found[d]["frame"] = search(src, refs["frame"][0], x, y, hints["frame"])
                if pic.fpfd:
                    continue
                for f in (0, 1):
                    found[d][f] = min(
                        (search(src[f::2], refs[s][0], x, y // 2, hints["field"]) + (s,)
                         for s in (0, 1)), key=lambda r: r[0])
            else:
                for s in pic.selects[d]:
                    found[d][s] = search(src, refs[s][0], x, y, hints["field"])
                    for half in (0, 1):
                        found[d][(s, half)] = search(src[8 * half:8 * half + 8], refs[s][0],
                                                     x, y + 8 * half, hints["field"])
        for d in pic.refs:
            r = found[d]
            if pic.structure == FRAME:
                cost, mvx, mvy = r["frame"]
                out.append((cost, "frame", (d,), {d: [(mvx, mvy)]}))
                if not pic.fpfd:
                    vecs = [(r[f][3], r[f][1], r[f][2]) for f in (0, 1)]
                    out.append((r[0][0] + r[1][0] - bias.get("field-in-frame", 0), "field",
                                (d,), {d: vecs}))
            else:
                for s in pic.selects[d]:
                    cost, mvx, mvy = r[s]
                    if s == pic.parity:
                        cost -= bias.get("same-parity", 0)
                    out.append((cost, "field", (d,), {d: [(s, mvx, mvy)]}))
                halves = [min(((r[(s, half)][0], (s,) + r[(s, half)][1:])
                               for s in pic.selects[d]), key=lambda t: t[0])
                          for half in (0, 1)]
                out.append((halves[0][0] + halves[1][0] - bias.get("16x8", 0), "16x8", (d,),
                            {d: [halves[0][1], halves[1][1]]}))
        if len(pic.refs) == 2:
            for mode in sorted({o[1] for o in out}):
                fwd = min((o for o in out if o[1] == mode and o[2] == ("fwd",)), key=lambda o: o[0])
                bwd = min((o for o in out if o[1] == mode and o[2] == ("bwd",)), key=lambda o: o[0])
                mb = {"mode": mode, "dirs": ("fwd", "bwd"),
                      "mv": {"fwd": fwd[3]["fwd"], "bwd": bwd[3]["bwd"]}}
                cost = sad(src, self.prediction(pic, mb, x, y)[0]) - bias.get(mode, 0)
                if mode == "field" and pic.structure == FRAME:
                    cost -= bias.get("field-in-frame", 0)
                out.append((cost, mode, mb["dirs"], mb["mv"]))
        if pic.dual:
            out += self.dual_candidates(pic, x, y, src, found["fwd"], bias.get("dual", 0))
        return out

    def dual_candidates(self, pic, x, y, src, found, bias):
        refs = pic.refs["fwd"]
        if pic.structure == FRAME:
            starts = {(found[f][1], found[f][2]) for f in (0, 1) if found[f][3] == f}
            starts.add((found["frame"][1], found["frame"][2] // 2))
            h = 8
        else:
            if pic.parity not in found:
                return []
            starts = {found[pic.parity][1:]}
            h = 16
        tried = {}

        def consider(vec):
            if vec not in tried:
                tried[vec] = None
                if self.dual_inside(pic, refs, x, y, vec, h):
                    mb = {"mode": "dual", "dirs": ("fwd",), "mv": {"fwd": [vec]}}
                    tried[vec] = sad(src, self.prediction(pic, mb, x, y)[0]) - bias
            return tried[vec]

        for sx, sy in sorted(starts):                 # every dmvector pair
            for dmy in (-1, 0, 1):
                for dmx in (-1, 0, 1):
                    consider((sx, sy, dmx, dmy))
        for _ in range(2):                            # then the neighbouring vectors
            scored = [(c, v) for v, c in tried.items() if c is not None]
            if not scored:
                return []
            _, (mvx, mvy, dmx, dmy) = min(scored)
            for nx, ny in ((mvx + 1, mvy), (mvx - 1, mvy), (mvx, mvy + 1), (mvx, mvy - 1)):
                consider((nx, ny, dmx, dmy))
        cost, vec = min((c, v) for v, c in tried.items() if c is not None)
        return [(cost, "dual", ("fwd",), {"fwd": [vec]})]

    def dual_inside(self, pic, refs, x, y, vec, h):
        mvx, mvy, dmx, dmy = vec
        if pic.structure == FRAME:
            for f in (0, 1):
                ox, oy = self.frame_dual_vector(pic, f, mvx, mvy, dmx, dmy)
                if not (block_inside(refs[f], x, y // 2, mvx, mvy, 16, 8)
                        and block_inside(refs[1 - f], x, y // 2, ox, oy, 16, 8)):
                    return False
            return True
        ox, oy = dual_vector(mvx, mvy, dmx, dmy, 1, -1 if pic.parity == 0 else 1)
        return block_inside(refs[pic.parity], x, y, mvx, mvy, 16, 16) \
            and block_inside(refs[1 - pic.parity], x, y, ox, oy, 16, 16)

    def decide(self, pic, mx, my, hints):
        x, y = 16 * mx, 16 * my
        src = [bytes(row[x:x + 16]) for row in pic.src[0][y:y + 16]]
        mb = {"intra": True, "mode": None, "dirs": (), "mv": {}}
        if pic.kind != I_PICTURE:
            options = self.candidates(pic, x, y, src, hints)
            cost, mode, dirs, vectors = min(options, key=lambda o: o[0])
            mean = sum(map(sum, src)) // 256
            activity = sum(abs(p - mean) for row in src for p in row)
            if cost <= activity + INTRA_BIAS:
                mb = {"intra": False, "mode": mode, "dirs": dirs, "mv": vectors}
                if mode == "frame":
                    hints["frame"] = [vectors[dirs[0]][0]]
                    hints["field"] = [(vectors[dirs[0]][0][0], vectors[dirs[0]][0][1] // 2)]
                elif mode in ("field", "16x8") and pic.structure != FRAME:
                    hints["field"] = [v[1:] for v in vectors[dirs[0]]]
        self.code_residual(pic, mb, x, y)
        return mb

    def code_residual(self, pic, mb, x, y):
        """Transform, quantise and reconstruct the macroblock in place."""
        scale = 2 * pic.qcode[y // 16]
        intra = mb["intra"]
        matrix = self.intra_matrix if intra else self.inter_matrix
        if intra:
            pred = ([[0] * 16 for _ in range(16)], [[0] * 8 for _ in range(8)],
                    [[0] * 8 for _ in range(8)])
        else:
            pred = self.prediction(pic, mb, x, y)
        src = ([pic.src[0][y + r][x:x + 16] for r in range(16)],
               [pic.src[1][y // 2 + r][x // 2:x // 2 + 8] for r in range(8)],
               [pic.src[2][y // 2 + r][x // 2:x // 2 + 8] for r in range(8)])
        diff = [[[s - p for s, p in zip(rs, rp)] for rs, rp in zip(cs, cp)]
                for cs, cp in zip(src, pred)]
        field_dct = False
        if pic.structure == FRAME and not pic.fpfd:
            luma = diff[0]
            frame_act = sum(abs(a - b) for r in range(15) for a, b in zip(luma[r], luma[r + 1]))
            field_act = sum(abs(a - b) for r in range(14) for a, b in zip(luma[r], luma[r + 2]))
            field_dct = field_act < frame_act
        mb["field_dct"] = field_dct
        blocks = []
        for index in range(6):
            if index < 4:
                bx = 8 * (index & 1)
                rows = ([2 * r + (index >> 1) for r in range(8)] if field_dct
                        else [8 * (index >> 1) + r for r in range(8)])
                component = 0
            else:
                bx, rows, component = 0, list(range(8)), index - 3
            values = [diff[component][r][bx + c] for r in rows for c in range(8)]
            # |coefficient| <= sum|value| / 4: below the dead zone nothing is coded.
            if not intra and sum(map(abs, values)) * 4 < 0.9 * min(matrix) * scale:
                levels = [0] * 64
            else:
                levels = quantise(fdct(values), matrix, scale, intra)
            coded = intra or any(levels)
            blocks.append(levels if coded else None)
            cx, cy = (x, y) if component == 0 else (x // 2, y // 2)
            plane = pic.rec[component]
            if coded:                          # IDCT output saturated to [-256, 255]
                out = [max(-256, min(255, v)) + 512
                       for v in idct(dequantise(levels, matrix, scale, intra))]
                for i, r in enumerate(rows):
                    plane[cy + r][cx + bx:cx + bx + 8] = bytes(
                        CLIP[p + v] for p, v in zip(pred[component][r][bx:bx + 8],
                                                    out[i * 8:i * 8 + 8]))
            else:
                for r in rows:
                    plane[cy + r][cx + bx:cx + bx + 8] = bytes(pred[component][r][bx:bx + 8])
        mb["blocks"] = blocks
        mb["cbp"] = sum(1 << (5 - i) for i, b in enumerate(blocks) if b is not None)

    # -- bitstream

    def write_motion(self, delta, slot, f_codes):
        """motion_code and motion_residual (7.6.3.1).  The delta is never left
        to the modulo wrap-around: f_code is chosen wide enough (libmpeg2
        0.5.1 does not wrap field vectors of frame pictures)."""
        self.needs[slot] = max(self.needs[slot], delta if delta >= 0 else -delta - 1)
        f_code = f_codes[slot]
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
        self.bits.code(MOTION_CODE[((magnitude - 1) >> r_size) + 1])
        self.bits.put(0 if delta > 0 else 1, 1)
        if r_size:
            self.bits.put((magnitude - 1) & (f - 1), r_size)

    def write_vectors(self, pic, mb, direction, pmv, f_codes):
        s = 0 if direction == "fwd" else 1
        fx, fy = 2 * s, 2 * s + 1
        frame_picture = pic.structure == FRAME
        pred = pmv[s]
        vectors = mb["mv"][direction]
        mode = mb["mode"]
        if mode == "frame":
            mvx, mvy = vectors[0]
            self.write_motion(mvx - pred[0][0], fx, f_codes)
            self.write_motion(mvy - pred[0][1], fy, f_codes)
            pred[0] = [mvx, mvy]
            pred[1] = [mvx, mvy]
        elif mode == "dual":
            mvx, mvy, dmx, dmy = vectors[0]
            self.write_motion(mvx - pred[0][0], fx, f_codes)
            self.bits.code(DMVECTOR_CODE[dmx])
            self.write_motion(mvy - (pred[0][1] >> 1 if frame_picture else pred[0][1]), fy, f_codes)
            self.bits.code(DMVECTOR_CODE[dmy])
            stored = [mvx, 2 * mvy if frame_picture else mvy]
            pred[0] = list(stored)
            pred[1] = list(stored)
        elif mode == "field" and not frame_picture:
            select, mvx, mvy = vectors[0]
            self.bits.put(select, 1)
            self.write_motion(mvx - pred[0][0], fx, f_codes)
            self.write_motion(mvy - pred[0][1], fy, f_codes)
            pred[0] = [mvx, mvy]
            pred[1] = [mvx, mvy]
        else:                                  # two vectors: field in frame, 16x8
            for r in (0, 1):
                select, mvx, mvy = vectors[r]
                self.bits.put(select, 1)
                self.write_motion(mvx - pred[r][0], fx, f_codes)
                self.write_motion(mvy - (pred[r][1] >> 1 if frame_picture else pred[r][1]), fy, f_codes)
                pred[r] = [mvx, 2 * mvy if frame_picture else mvy]

    def write_block(self, levels, component, intra, dc_pred):
        start = 0
        if intra:
            diff = levels[0] - dc_pred[component]
            dc_pred[component] = levels[0]
            size = 0 if diff == 0 else abs(diff).bit_length()
            self.bits.code((DC_SIZE_LUMA if component == 0 else DC_SIZE_CHROMA)[size])
            if size:
                self.bits.put(diff if diff > 0 else diff + (1 << size) - 1, size)
            start = 1
        run = 0
        first = not intra
        for i in range(start, 64):
            level = levels[ZIGZAG[i]]
            if level == 0:
                run += 1
                continue
            if first and run == 0 and abs(level) == 1:
                self.bits.code("1")
                self.bits.put(0 if level > 0 else 1, 1)
            elif (run, abs(level)) in AC_CODE:
                self.bits.code(AC_CODE[(run, abs(level))])
                self.bits.put(0 if level > 0 else 1, 1)
            else:
                self.bits.code(AC_ESCAPE)
                self.bits.put(run, 6)
                self.bits.put(level & 0xFFF, 12)
            run = 0
            first = False
        self.bits.code(AC_EOB)

    def f_codes(self, pic, decisions):
        """Smallest f_codes that hold every vector and every delta."""
        codes = []
        for direction in ("fwd", "bwd"):
            for t in (0, 1):
                if direction not in pic.refs:
                    codes.append(15)
                    continue
                largest = self.needs[len(codes)]
                for mb in decisions:
                    for v in mb["mv"].get(direction, ()):
                        value = v[t] if mb["mode"] in ("frame", "dual") else v[t + 1]
                        largest = max(largest, value if value >= 0 else -value - 1)
                f_code = 1
                while largest > 16 * (1 << (f_code - 1)) - 1:
                    f_code += 1
                codes.append(f_code)
        return codes

    def skippable(self, pic, mb, previous):
        if mb["intra"] or mb["cbp"]:
            return False
        if pic.kind == P_PICTURE:
            if pic.structure == FRAME:
                return mb["mode"] == "frame" and mb["mv"]["fwd"] == [(0, 0)]
            return mb["mode"] == "field" and mb["mv"]["fwd"] == [(pic.parity, 0, 0)]
        plain = "frame" if pic.structure == FRAME else "field"
        return (previous is not None and not previous["intra"] and mb["mode"] == plain
                and previous["mode"] == plain and previous["dirs"] == mb["dirs"]
                and previous["mv"] == mb["mv"])

    def no_mc(self, pic, mb):
        """P macroblock coded without a vector (zero, same parity or frame)."""
        if pic.kind != P_PICTURE or mb["intra"] or not mb["cbp"]:
            return False
        if pic.structure == FRAME:
            return mb["mode"] == "frame" and mb["mv"]["fwd"] == [(0, 0)]
        return mb["mode"] == "field" and mb["mv"]["fwd"] == [(pic.parity, 0, 0)]

    def code_picture(self, pic):
        mb_h = (self.coded_h if pic.structure == FRAME else self.coded_h // 2) // 16
        pic.qcode = [self.plan["qcode"][pic.kind] + (row & 1) for row in range(mb_h)]
        decisions = []
        for my in range(mb_h):
            hints = {"frame": [], "field": []}
            for mx in range(self.mb_w):
                decisions.append(self.decide(pic, mx, my, hints))
        # A dry pass with the widest vector range finds the deltas.
        bits, self.bits = self.bits, Bits()
        self.needs = [0, 0, 0, 0]
        self.write_slices(pic, decisions, [9, 9, 9, 9], lambda key: None)
        self.bits = bits
        f_codes = self.f_codes(pic, decisions)
        self.picture_header(pic, f_codes)
        stats = {}

        def count(key):
            stats[key] = stats.get(key, 0) + 1

        self.write_slices(pic, decisions, f_codes, count)
        self.stats.append((pic, stats, len(self.bits.out)))

    def write_slices(self, pic, decisions, f_codes, count):
        mb_h = len(pic.qcode)
        for my in range(mb_h):
            self.bits.start_code(my + 1)
            self.bits.put(pic.qcode[my], 5)
            self.bits.put(0, 1)                       # extra_bit_slice
            pmv = [[[0, 0], [0, 0]], [[0, 0], [0, 0]]]
            dc_pred = [128, 128, 128]
            previous = None
            skipped = 0
            for mx in range(self.mb_w):
                mb = decisions[my * self.mb_w + mx]
                if 0 < mx < self.mb_w - 1 and self.skippable(pic, mb, previous):
                    skipped += 1
                    count("skipped")
                    dc_pred = [128, 128, 128]
                    if pic.kind == P_PICTURE:
                        pmv = [[[0, 0], [0, 0]], [[0, 0], [0, 0]]]
                    continue
                self.bits.code(ADDRESS_INCREMENT[skipped + 1])
                skipped = 0
                previous = mb
                self.describe(pic, mb, count)
                self.write_macroblock(pic, mb, pmv, dc_pred, f_codes, count)

    def write_macroblock(self, pic, mb, pmv, dc_pred, f_codes, count):
        frame_picture = pic.structure == FRAME
        coded = bool(mb["cbp"])
        if mb["intra"]:
            self.bits.code(INTRA_TYPE[pic.kind])
        elif self.no_mc(pic, mb):
            self.bits.code(P_TYPE[((), True)])
        elif pic.kind == P_PICTURE:
            self.bits.code(P_TYPE[("fwd", coded)])
        else:
            key = "bi" if len(mb["dirs"]) == 2 else mb["dirs"][0]
            self.bits.code(B_TYPE[(key, coded)])
        motion = not mb["intra"] and not self.no_mc(pic, mb)
        if motion and not (frame_picture and pic.fpfd):
            self.bits.put(MOTION_TYPE_CODE[mb["mode"]], 2)
        if frame_picture and not pic.fpfd and (mb["intra"] or coded):
            self.bits.put(1 if mb["field_dct"] else 0, 1)
            count("field-dct" if mb["field_dct"] else "frame-dct")
        if motion:
            for direction in mb["dirs"]:
                self.write_vectors(pic, mb, direction, pmv, f_codes)
        else:
            for s in (0, 1):
                pmv[s] = [[0, 0], [0, 0]]
        if coded and not mb["intra"]:
            self.bits.code(CBP_CODE[mb["cbp"]])
            count("coded")
        if not mb["intra"]:
            dc_pred[:] = [128, 128, 128]
        for index, levels in enumerate(mb["blocks"]):
            if levels is not None:
                self.write_block(levels, 0 if index < 4 else index - 3, mb["intra"], dc_pred)

    def describe(self, pic, mb, count):
        """Statistics of one macroblock that is not skipped."""
        if mb["intra"]:
            count("intra")
            return
        if self.no_mc(pic, mb):
            count("no-mc")
            return
        mode = mb["mode"]
        if mode == "field" and pic.structure == FRAME:
            mode = "field-in-frame"
        count(mode + ("-bi" if len(mb["dirs"]) == 2 else ""))
        if pic.structure != FRAME and mode in ("field", "16x8"):
            for d in mb["dirs"]:
                for select, _, _ in mb["mv"][d]:
                    if d == "fwd" and pic.kind == P_PICTURE:
                        count("same-parity" if select == pic.parity else "opposite-parity")

    # -- frames

    def encode(self, source):
        plan = self.plan
        frames = []
        display = 0
        for closed, tokens in plan["groups"]:
            group = []
            for i, token in enumerate(tokens.split()):
                group.append(Frame(token, display))
                group[-1].tr = i
                display += 1
            frames.append((closed, group))
        # Field order and source instants.
        parity, instant = 0, 0
        shown = {}
        for _, group in frames:
            for frame in group:
                frame.first_parity = parity
                frame.field_count = instant
                if instant + (1 if frame.progressive else 2) > len(source):
                    raise SystemExit("the plan needs more than the %d source frames" % len(source))
                if frame.progressive:
                    planes = source[instant]
                else:
                    first, second = source[instant], source[instant + 1]
                    planes = []
                    for index in range(3):
                        rows = []
                        for r in range(len(first[index])):
                            rows.append((first if r % 2 == parity else second)[index][r])
                        planes.append(rows)
                instant += 3 if frame.rff else 2
                if frame.rff:
                    parity = 1 - parity
                frame.src = pad(planes, self.coded_w, self.coded_h)
        anchors = []
        for closed, group in frames:
            self.sequence_header()
            self.group_header(group[0].field_count, closed)
            pending = []
            order = []
            for frame in group:
                if frame.kind == B_PICTURE:
                    pending.append(frame)
                else:
                    order.append(frame)
                    order += pending
                    pending = []
            if pending:
                raise SystemExit("B-frames at the end of a group")
            for frame in order:
                frame.rec = [[bytearray(row) for row in plane] for plane in frame.src]
                self.code_frame(frame, anchors)
                shown[frame.display] = frame.rec
                if frame.kind != B_PICTURE:
                    anchors = (anchors + [frame.rec])[-2:]
        self.bits.start_code(0xB7)
        return bytes(self.bits.out), [shown[d] for d in sorted(shown)]

    def frame_refs(self, planes):
        return {"frame": planes, 0: view(planes, 0), 1: view(planes, 1)}

    def code_frame(self, frame, anchors):
        common = dict(tr=frame.tr, dual=False)
        dual_allowed = self.plan.get("dual_prime", False)
        if not frame.fields:
            refs = {}
            if frame.kind == P_PICTURE:
                refs = {"fwd": self.frame_refs(anchors[-1])}
            elif frame.kind == B_PICTURE:
                refs = {"fwd": self.frame_refs(anchors[-2]), "bwd": self.frame_refs(anchors[-1])}
            pic = Picture(kind=frame.kind, structure=FRAME, parity=None, src=frame.src,
                          rec=frame.rec, refs=refs, tff=1 if frame.first_parity == 0 else 0,
                          fpfd=1 if frame.progressive else 0, rff=1 if frame.rff else 0,
                          progressive=1 if frame.progressive else 0, frame=frame,
                          load=self.next_matrices(), **common)
            pic.dual = dual_allowed and frame.kind == P_PICTURE and not pic.fpfd
            self.code_picture(pic)
            return
        for index, parity in enumerate((frame.first_parity, 1 - frame.first_parity)):
            kind = frame.kind if index == 0 else frame.second
            refs, selects = {}, {}
            if kind == B_PICTURE:
                for d, anchor in (("fwd", anchors[-2]), ("bwd", anchors[-1])):
                    refs[d] = {0: view(anchor, 0), 1: view(anchor, 1)}
                    selects[d] = (0, 1)
            elif kind == P_PICTURE and index == 0:
                refs["fwd"] = {0: view(anchors[-1], 0), 1: view(anchors[-1], 1)}
                selects["fwd"] = (0, 1)
            elif kind == P_PICTURE:
                refs["fwd"] = {1 - parity: view(frame.rec, 1 - parity)}
                selects["fwd"] = (1 - parity,)
                if frame.backref and anchors:
                    refs["fwd"][parity] = view(anchors[-1], parity)
                    selects["fwd"] = (0, 1)
            pic = Picture(kind=kind, structure=TOP if parity == 0 else BOTTOM, parity=parity,
                          src=view(frame.src, parity), rec=view(frame.rec, parity), refs=refs,
                          selects=selects, tff=0, fpfd=0, rff=0, progressive=0, frame=frame,
                          load=self.next_matrices(), field_index=index, **common)
            pic.dual = (dual_allowed and kind == P_PICTURE and len(selects.get("fwd", ())) == 2)
            self.code_picture(pic)

    def report(self, out):
        before = 0
        for pic, stats, end in self.stats:
            frame = pic.frame
            kinds = "IPB"[pic.kind - 1]
            if pic.structure == FRAME:
                what = "frame tff=%d rff=%d prog=%d" % (pic.tff, pic.rff, pic.progressive)
            else:
                what = "%s field (%s of pair)" % ("top" if pic.parity == 0 else "bottom",
                                                  "first" if pic.field_index == 0 else "second")
            load = pic.load or ()
            out.write("display %2d tr %2d %s %-34s %6d bytes qm=%s %s\n" % (
                frame.display, frame.tr, kinds, what, end - before,
                "/".join(n or "-" for n in load) if load else "none",
                " ".join("%s=%d" % kv for kv in sorted(stats.items()))))
            before = end


def write_recon(path, frames, width, height):
    with open(path, "wb") as f:
        for planes in frames:
            for index, plane in enumerate(planes):
                w, h = (width, height) if index == 0 else (width // 2, height // 2)
                for row in plane[:h]:
                    f.write(bytes(row[:w]))


def main(argv):
    args = [a for a in argv[1:] if a != "--stats"]
    if len(args) not in (5, 6) or args[0] not in PLANS:
        raise SystemExit(__doc__)
    name, source_path, width, height, out_path = args[:5]
    width, height = int(width), int(height)
    encoder = Encoder(PLANS[name], width, height)
    data, shown = encoder.encode(read_source(source_path, width, height))
    with open(out_path, "wb") as f:
        f.write(data)
    if len(args) == 6:
        write_recon(args[5], shown, width, height)
    if "--stats" in argv:
        encoder.report(sys.stderr)


if __name__ == "__main__":
    main(sys.argv)
