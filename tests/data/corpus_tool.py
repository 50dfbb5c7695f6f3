#!/usr/bin/env python3
"""Byte surgery and inspection helpers for the test-stream corpus.

Used by make-corpus.sh; every operation is deterministic (no system
randomness, no time stamps).  Subcommands:

  junk-prefix IN OUT N SEED   N pseudo-random bytes (no 00 00 01 inside, first
                              byte not 0x47) followed by the whole of IN
  cut-mid-gop IN OUT          IN's first sequence header (with its extensions)
                              followed by IN from the second P-picture of its
                              first group of pictures onward
  gop-user-data IN OUT        IN with a user_data block inserted after every
                              group of pictures header
  strip-gops IN OUT           IN without its group of pictures headers
  matrices-to-extension IN OUT
                              IN with the quantiser matrices taken out of every
                              sequence header and sent instead in a quant
                              matrix extension after every picture coding
                              extension (decodes to the same pictures)
  truncate IN OUT             IN cut in the middle, at a non-188-multiple
  ts-stream-type IN OUT TYPE  IN with every PMT entry of stream_type 2 changed
                              to TYPE (section CRC recomputed)
  random OUT N SEED           N pseudo-random bytes
  strip-ftyp IN OUT           ISO/QuickTime file without its leading ftyp/free/
                              wide boxes, chunk offsets (stco/co64) patched, so
                              that the file begins with the moov or mdat box
  es-info FILE [-v]           summary of an MPEG-2 video elementary stream
  ts-info FILE                PAT programs and PMT entries of a transport stream
"""

import struct
import sys

PICTURE = 0x00
SEQUENCE_HEADER = 0xB3
EXTENSION = 0xB5
SEQUENCE_END = 0xB7
GROUP = 0xB8


class Xorshift32:
    """Marsaglia xorshift32: fixed sequence for a given seed on every host."""

    def __init__(self, seed):
        self.state = (seed & 0xFFFFFFFF) or 0x9E3779B9

    def next_byte(self):
        x = self.state
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        self.state = x
        return (x >> 24) & 0xFF

    def bytes(self, n):
        return bytes(self.next_byte() for _ in range(n))


def start_codes(data):
    """Yield (offset of the 00 00 01 prefix, start code value byte)."""
    pos = data.find(b"\x00\x00\x01")
    while 0 <= pos < len(data) - 3:
        yield pos, data[pos + 3]
        pos = data.find(b"\x00\x00\x01", pos + 3)


def read_file(path):
    with open(path, "rb") as f:
        return f.read()


def write_file(path, data):
    with open(path, "wb") as f:
        f.write(data)


# ---------------------------------------------------------------- surgery


def cmd_junk_prefix(src, dst, count, seed):
    rng = Xorshift32(int(seed))
    junk = bytearray()
    while len(junk) < int(count):
        b = rng.next_byte()
        if not junk and b in (0x00, 0x47):
            continue  # keep the probe away from the transport and start-code paths
        if b == 0x01 and len(junk) >= 2 and junk[-1] == 0 and junk[-2] == 0:
            continue  # never a start-code prefix inside the junk
        junk.append(b)
    # A trailing 00 00 would merge with the stream's own 00 00 01: harmless,
    # but keep the junk length exact and unambiguous.
    while junk[-1] == 0:
        junk[-1] = 0xFF
    write_file(dst, bytes(junk) + read_file(src))


def sequence_header_bytes(data):
    """The first sequence header and the extensions/user data that follow it."""
    codes = list(start_codes(data))
    for i, (pos, code) in enumerate(codes):
        if code == SEQUENCE_HEADER:
            end = len(data)
            for npos, ncode in codes[i + 1:]:
                if ncode not in (EXTENSION, 0xB2):
                    end = npos
                    break
            return data[pos:end]
    raise SystemExit("no sequence header")


def picture_type(data, pos):
    return (data[pos + 5] >> 3) & 7


def cmd_cut_mid_gop(src, dst):
    data = read_file(src)
    header = sequence_header_bytes(data)
    seen_p = 0
    for pos, code in start_codes(data):
        if code == PICTURE and picture_type(data, pos) == 2:
            seen_p += 1
            if seen_p == 2:
                write_file(dst, header + data[pos:])
                return
        if code == GROUP and seen_p:
            break
    raise SystemExit("no second P-picture in the first group")


GOP_USER_DATA = b"\x00\x00\x01\xb2quarlin corpus: user data after a GOP header"


def gop_header_spans(data):
    """(start, end) of every group_of_pictures header (start code + 4 bytes)."""
    return [(pos, pos + 8) for pos, code in start_codes(data) if code == GROUP]


def cmd_gop_user_data(src, dst):
    data = read_file(src)
    out = bytearray()
    last = 0
    for _, end in gop_header_spans(data):
        out += data[last:end] + GOP_USER_DATA
        last = end
    write_file(dst, bytes(out + data[last:]))


def cmd_strip_gops(src, dst):
    data = read_file(src)
    out = bytearray()
    last = 0
    for start, end in gop_header_spans(data):
        out += data[last:start]
        last = end
    write_file(dst, bytes(out + data[last:]))


class BitPacker:
    def __init__(self):
        self.bits = []

    def put(self, value, n):
        self.bits += [(value >> i) & 1 for i in range(n - 1, -1, -1)]

    def data(self):
        bits = self.bits + [0] * (-len(self.bits) % 8)
        return bytes(int("".join(map(str, bits[i:i + 8])), 2) for i in range(0, len(bits), 8))


def split_units(data):
    """The stream as (start code value or None, bytes from the prefix to the next one)."""
    codes = list(start_codes(data))
    units = [(None, data[:codes[0][0]])] if codes and codes[0][0] else []
    for i, (pos, code) in enumerate(codes):
        end = codes[i + 1][0] if i + 1 < len(codes) else len(data)
        units.append((code, data[pos:end]))
    return units


def cmd_matrices_to_extension(src, dst):
    out = bytearray()
    matrices = None
    for code, unit in split_units(read_file(src)):
        if code == SEQUENCE_HEADER:
            b = Bits(unit, 4)
            fields = [b.get(n) for n in (12, 12, 4, 4, 18, 1, 10, 1)]
            intra = [b.get(8) for _ in range(64)] if b.get(1) else None
            non_intra = [b.get(8) for _ in range(64)] if b.get(1) else None
            if intra is None or non_intra is None:
                raise SystemExit("sequence header without both matrices")
            matrices = (intra, non_intra)
            header = BitPacker()
            for value, n in zip(fields, (12, 12, 4, 4, 18, 1, 10, 1)):
                header.put(value, n)
            header.put(0, 1)
            header.put(0, 1)
            out += b"\x00\x00\x01\xb3" + header.data()
            continue
        out += unit
        if code == EXTENSION and unit[4] >> 4 == 8 and matrices:
            ext = BitPacker()
            ext.put(3, 4)                     # quant_matrix_extension identifier
            for matrix in matrices:           # load flag, then 64 bytes in zigzag order
                ext.put(1, 1)
                for value in matrix:
                    ext.put(value, 8)
            ext.put(0, 1)                     # load_chroma_intra_quantiser_matrix
            ext.put(0, 1)                     # load_chroma_non_intra_quantiser_matrix
            out += b"\x00\x00\x01\xb5" + ext.data()
    write_file(dst, bytes(out))


def cmd_truncate(src, dst):
    data = read_file(src)
    cut = (len(data) // 2) // 188 * 188 + 97
    write_file(dst, data[:cut])


def crc32_mpeg(data):
    """CRC-32 of ISO/IEC 13818-1 sections (polynomial 0x04C11DB7, no reflection)."""
    crc = 0xFFFFFFFF
    for byte in data:
        crc ^= byte << 24
        for _ in range(8):
            crc = ((crc << 1) ^ 0x04C11DB7 if crc & 0x80000000 else crc << 1) & 0xFFFFFFFF
    return crc


def pmt_pids(data):
    pids = set()
    for pos in range(0, len(data) - 187, 188):
        pkt = data[pos:pos + 188]
        if ((pkt[1] & 0x1F) << 8 | pkt[2]) == 0 and pkt[1] & 0x40:
            section = pkt[5 + pkt[4]:]
            length = ((section[1] & 0x0F) << 8) | section[2]
            entries = section[8:3 + length - 4]
            for i in range(0, len(entries), 4):
                if (entries[i] << 8) | entries[i + 1]:
                    pids.add(((entries[i + 2] & 0x1F) << 8) | entries[i + 3])
            return pids
    return pids


def cmd_ts_stream_type(src, dst, new_type):
    """Single-packet PMT sections only (what FFmpeg writes)."""
    data = bytearray(read_file(src))
    pids = pmt_pids(data)
    for pos in range(0, len(data) - 187, 188):
        pid = ((data[pos + 1] & 0x1F) << 8) | data[pos + 2]
        if pid not in pids or not data[pos + 1] & 0x40 or (data[pos + 3] >> 4) & 3 != 1:
            continue
        start = pos + 5 + data[pos + 4]
        length = ((data[start + 1] & 0x0F) << 8) | data[start + 2]
        info = ((data[start + 10] & 0x0F) << 8) | data[start + 11]
        e = start + 12 + info
        end = start + 3 + length - 4
        while e < end:
            if data[e] == 2:
                data[e] = int(new_type)
            e += 5 + (((data[e + 3] & 0x0F) << 8) | data[e + 4])
        data[end:end + 4] = struct.pack(">I", crc32_mpeg(data[start:end]))
    write_file(dst, bytes(data))


def cmd_random(dst, count, seed):
    rng = Xorshift32(int(seed))
    data = bytearray(rng.bytes(int(count)))
    if data[0] in (0x00, 0x47):
        data[0] ^= 0x80  # not a transport sync byte, not a start-code prefix
    write_file(dst, bytes(data))


CONTAINERS = {b"moov", b"trak", b"mdia", b"minf", b"stbl", b"edts", b"dinf"}


def patch_chunk_offsets(buf, start, end, delta):
    pos = start
    while pos + 8 <= end:
        size, kind = struct.unpack(">I4s", buf[pos:pos + 8])
        if size < 8:
            break
        if kind in CONTAINERS:
            patch_chunk_offsets(buf, pos + 8, pos + size, delta)
        elif kind == b"stco":
            count = struct.unpack(">I", buf[pos + 12:pos + 16])[0]
            for i in range(count):
                at = pos + 16 + 4 * i
                value = struct.unpack(">I", buf[at:at + 4])[0]
                buf[at:at + 4] = struct.pack(">I", value - delta)
        elif kind == b"co64":
            count = struct.unpack(">I", buf[pos + 12:pos + 16])[0]
            for i in range(count):
                at = pos + 16 + 8 * i
                value = struct.unpack(">Q", buf[at:at + 8])[0]
                buf[at:at + 8] = struct.pack(">Q", value - delta)
        pos += size


def cmd_strip_ftyp(src, dst):
    data = read_file(src)
    pos = 0
    while pos + 8 <= len(data):
        size, kind = struct.unpack(">I4s", data[pos:pos + 8])
        if kind not in (b"ftyp", b"free", b"wide", b"skip"):
            break
        pos += size
    body = bytearray(data[pos:])
    patch_chunk_offsets(body, 0, len(body), pos)
    write_file(dst, bytes(body))


# ---------------------------------------------------------------- inspection


class Bits:
    def __init__(self, data, pos):
        self.data = data
        self.bit = pos * 8

    def get(self, n):
        value = 0
        for _ in range(n):
            byte = self.data[self.bit >> 3] if (self.bit >> 3) < len(self.data) else 0
            value = (value << 1) | ((byte >> (7 - (self.bit & 7))) & 1)
            self.bit += 1
        return value


def es_pictures(data):
    """Parse headers; return (sequence dict, list of picture dicts)."""
    seq = {}
    pictures = []
    current = None
    for pos, code in start_codes(data):
        b = Bits(data, pos + 4)
        if code == SEQUENCE_HEADER and not seq:
            seq["width"] = b.get(12)
            seq["height"] = b.get(12)
            seq["aspect"] = b.get(4)
            seq["frame_rate_code"] = b.get(4)
            b.get(18 + 1 + 10 + 1)
            seq["load_intra"] = b.get(1)
            if seq["load_intra"]:
                b.get(64 * 8)
            seq["load_non_intra"] = b.get(1)
            seq["offset"] = pos
        elif code == EXTENSION:
            ident = b.get(4)
            if ident == 1 and "profile_level" not in seq:
                seq["profile_level"] = b.get(8)
                seq["progressive_sequence"] = b.get(1)
                seq["chroma_format"] = b.get(2)
            elif ident == 2 and "display" not in seq:
                b.get(3)
                if b.get(1):
                    b.get(24)
                w = b.get(14)
                b.get(1)
                h = b.get(14)
                seq["display"] = (w, h)
            elif ident == 3 and current is not None:
                current["quant_matrix_ext"] = True
            elif ident == 8 and current is not None:
                current["f_code"] = [b.get(4) for _ in range(4)]
                current["dc_precision"] = 8 + b.get(2)
                current["structure"] = b.get(2)
                current["tff"] = b.get(1)
                current["frame_pred_frame_dct"] = b.get(1)
                current["concealment"] = b.get(1)
                current["q_scale_type"] = b.get(1)
                current["intra_vlc"] = b.get(1)
                current["alternate_scan"] = b.get(1)
                current["rff"] = b.get(1)
                current["chroma_420_type"] = b.get(1)
                current["progressive_frame"] = b.get(1)
        elif code == GROUP:
            b.get(25)
            seq.setdefault("gops", []).append((len(pictures), b.get(1), b.get(1)))
        elif code == PICTURE:
            current = {"offset": pos, "tr": b.get(10), "type": b.get(3), "slices": 0,
                       "rows": set()}
            pictures.append(current)
        elif 0x01 <= code <= 0xAF and current is not None:
            current["slices"] += 1
            current["rows"].add(code)
    return seq, pictures


def cmd_es_info(path, verbose=False):
    data = read_file(path)
    seq, pics = es_pictures(data)
    kinds = "?IPBD"
    print("sequence %dx%d aspect %d profile_level 0x%02x progressive_sequence %d chroma %d "
          "display %s intra_matrix %d non_intra_matrix %d first_at %d" % (
              seq.get("width", 0), seq.get("height", 0), seq.get("aspect", 0),
              seq.get("profile_level", 0), seq.get("progressive_sequence", -1),
              seq.get("chroma_format", -1), seq.get("display"), seq.get("load_intra", 0),
              seq.get("load_non_intra", 0), seq.get("offset", -1)))
    print("groups (first picture, closed, broken):", seq.get("gops", []))
    order = "".join(kinds[p["type"]] if p["type"] < 5 else "?" for p in pics)
    print("pictures %d coded order %s" % (len(pics), order))
    summary = {}
    for p in pics:
        for key in ("structure", "dc_precision", "q_scale_type", "intra_vlc",
                    "alternate_scan", "frame_pred_frame_dct", "tff", "progressive_frame"):
            summary.setdefault(key, set()).add(p.get(key))
        summary.setdefault("max_f_code", set()).add(max(
            [c for c in p.get("f_code", [15]) if c != 15] or [0]))
        summary.setdefault("slices_per_row", set()).add(
            round(p["slices"] / max(1, len(p["rows"])), 2))
        summary.setdefault("quant_matrix_ext", set()).add(p.get("quant_matrix_ext", False))
    for key, values in summary.items():
        print("  %s: %s" % (key, sorted(values, key=str)))
    if verbose:
        for p in pics:
            print("  @%d tr %d %s structure %s f_code %s slices %d rows %d" % (
                p["offset"], p["tr"], kinds[p["type"]] if p["type"] < 5 else "?",
                p.get("structure"), p.get("f_code"), p["slices"], len(p["rows"])))


def cmd_ts_info(path):
    data = read_file(path)
    pmts = {}
    pat_seen = False
    for pos in range(0, len(data) - 187, 188):
        pkt = data[pos:pos + 188]
        if pkt[0] != 0x47:
            print("lost sync at", pos)
            return
        pid = ((pkt[1] & 0x1F) << 8) | pkt[2]
        pusi = pkt[1] & 0x40
        afc = (pkt[3] >> 4) & 3
        payload = 4 + (1 + pkt[4] if afc == 3 else 0)
        if not pusi or afc not in (1, 3):
            continue
        section = pkt[payload + 1 + pkt[payload]:]
        if pid == 0 and not pat_seen:
            pat_seen = True
            length = ((section[1] & 0x0F) << 8) | section[2]
            entries = section[8:3 + length - 4]
            for i in range(0, len(entries), 4):
                number = (entries[i] << 8) | entries[i + 1]
                pmt = ((entries[i + 2] & 0x1F) << 8) | entries[i + 3]
                print("PAT program %d -> PMT pid 0x%x" % (number, pmt))
                if number:
                    pmts[pmt] = number
        elif pid in pmts and section[0] == 2:
            number = pmts.pop(pid)
            length = ((section[1] & 0x0F) << 8) | section[2]
            info = ((section[10] & 0x0F) << 8) | section[11]
            e = 12 + info
            end = 3 + length - 4
            while e < end:
                kind = section[e]
                es_pid = ((section[e + 1] & 0x1F) << 8) | section[e + 2]
                es_info = ((section[e + 3] & 0x0F) << 8) | section[e + 4]
                print("  program %d stream_type 0x%02x pid 0x%x" % (number, kind, es_pid))
                e += 5 + es_info


def main(argv):
    if len(argv) < 2:
        raise SystemExit(__doc__)
    command, args = argv[1], argv[2:]
    table = {
        "junk-prefix": cmd_junk_prefix,
        "cut-mid-gop": cmd_cut_mid_gop,
        "truncate": cmd_truncate,
        "gop-user-data": cmd_gop_user_data,
        "strip-gops": cmd_strip_gops,
        "matrices-to-extension": cmd_matrices_to_extension,
        "random": cmd_random,
        "ts-stream-type": cmd_ts_stream_type,
        "strip-ftyp": cmd_strip_ftyp,
        "ts-info": cmd_ts_info,
    }
    if command == "es-info":
        cmd_es_info(args[0], "-v" in args[1:])
    elif command in table:
        table[command](*args)
    else:
        raise SystemExit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
