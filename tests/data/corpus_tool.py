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
  merge-groups IN OUT G,G..   IN without the sequence and group headers that open
                              its groups number G (counted from 0): those groups'
                              pictures join the group before, temporal_reference
                              renumbered to continue its count
  running-tr IN OUT           IN without group headers, temporal_reference a
                              running count over the whole stream (modulo 1024)
  cut-both-ends IN OUT        IN from half way through the slices of the first
                              group's last anchor picture to the third group's
                              third anchor, then half of the B-picture after it
  drop-pictures IN OUT N,N..  IN without the pictures of those coded-order
                              indices (and without the sequence and group headers
                              in front of them); temporal_reference unchanged
  psi-packed IN OUT           IN (a transport stream) with its PAT and PMT rewritten:
                              pointer_field != 0, sections back to back across
                              packets, a PMT longer than a packet, a PAT and a
                              PMT with a wrong CRC_32 before the right ones
  late-psi IN OUT             IN without the PAT and PMT before its first video packet
  ts-cut-mid-gop IN OUT       IN from a packet in the middle of its fifth video
                              PES packet on (a capture started mid-group)
  ts-204 IN OUT               IN with 16 Reed-Solomon (204,188) parity bytes after
                              every packet (DVB 204-byte packets)
  m2ts-arrival-times IN OUT   IN (192-byte packets) with its arrival_time_stamps
                              recomputed from the PCRs
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


# ------------------------------------------------ picture-level surgery


class Picture:
    """One coded picture: `head` holds the (start code, bytes) units before it
    (sequence header and extensions, group header, user data), `body` runs from
    its picture start code to the end of its last slice."""

    def __init__(self, head, body):
        self.head = head
        self.body = bytearray(body)

    @property
    def kind(self):
        return "?IPBD"[min(4, (self.body[5] >> 3) & 7)]

    @property
    def tr(self):
        return (self.body[4] << 2) | (self.body[5] >> 6)

    @tr.setter
    def tr(self, value):
        self.body[4] = (value >> 2) & 0xFF
        self.body[5] = (self.body[5] & 0x3F) | ((value & 3) << 6)

    def starts_group(self):
        return any(code == GROUP for code, _ in self.head)

    def bytes(self):
        return b"".join(unit for _, unit in self.head) + bytes(self.body)


def split_pictures(data):
    """(bytes before the first start code, pictures in coded order, trailing
    units such as the sequence end code)."""
    lead, pictures, pending, in_picture = b"", [], [], False
    for code, unit in split_units(data):
        if code is None:
            lead = unit
        elif code == PICTURE:
            pictures.append(Picture(pending, unit))
            pending, in_picture = [], True
        elif code in (SEQUENCE_HEADER, GROUP, SEQUENCE_END) or not in_picture:
            pending.append((code, unit))
            in_picture = False
        else:                                   # extension, user data or slice of the picture
            pictures[-1].body += unit
    return lead, pictures, b"".join(unit for _, unit in pending)


def join_pictures(lead, pictures, tail):
    return lead + b"".join(p.bytes() for p in pictures) + tail


def continue_temporal_reference(pictures, merged):
    """Give the pictures of every group whose index is in `merged` temporal
    references that continue the count of the group before it (modulo 1024),
    as if its group header were absent."""
    group, base, size = -1, 0, 0
    for p in pictures:
        if p.starts_group():
            group += 1
            base = base + size if group in merged else 0
            size = 0
        size += 1
        p.tr = (base + p.tr) % 1024


def cmd_merge_groups(src, dst, groups):
    lead, pictures, tail = split_pictures(read_file(src))
    merged = {int(g) for g in groups.split(",")}
    continue_temporal_reference(pictures, merged)
    group = -1
    for p in pictures:
        if p.starts_group():
            group += 1
            if group in merged:
                p.head = []
    write_file(dst, join_pictures(lead, pictures, tail))


def cmd_running_tr(src, dst):
    lead, pictures, tail = split_pictures(read_file(src))
    every_group_but_the_first = set(range(1, len(pictures)))
    continue_temporal_reference(pictures, every_group_but_the_first)
    for p in pictures:
        p.head = [(code, unit) for code, unit in p.head if code != GROUP]
    write_file(dst, join_pictures(lead, pictures, tail))


def mid_slice(body):
    """An offset about half way through a picture's slices, not on a start code."""
    pos = len(body) // 2
    while any(body[pos - k:pos - k + 3] == b"\x00\x00\x01" for k in range(4)):
        pos += 1
    return pos


def cmd_cut_both_ends(src, dst):
    _, pictures, _ = split_pictures(read_file(src))
    starts = [i for i, p in enumerate(pictures) if p.starts_group()]
    if len(starts) < 3:
        raise SystemExit("need three groups")
    # Start: half way through the slices of the first group's last anchor.
    first = max(i for i in range(starts[1]) if pictures[i].kind in "IP")
    # End: the third group's third anchor whole, then half of the next picture.
    anchors = [i for i in range(starts[2], len(pictures)) if pictures[i].kind in "IP"]
    last = anchors[2] + 1
    if pictures[last].kind != "B":
        raise SystemExit("the anchor is not followed by a B-picture")
    start, cut = pictures[first].body, pictures[last]
    out = bytes(start[mid_slice(start):])
    out += b"".join(p.bytes() for p in pictures[first + 1:last])
    out += b"".join(unit for _, unit in cut.head) + bytes(cut.body[:mid_slice(cut.body)])
    write_file(dst, out)


def cmd_drop_pictures(src, dst, indices):
    lead, pictures, tail = split_pictures(read_file(src))
    drop = {int(i) for i in indices.split(",")}
    kept = [p for i, p in enumerate(pictures) if i not in drop]
    write_file(dst, join_pictures(lead, kept, tail))


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


# ------------------------------------------------ transport stream surgery

TS_PACKET = 188


def ts_packets(data):
    return [data[pos:pos + TS_PACKET] for pos in range(0, len(data) - TS_PACKET + 1, TS_PACKET)]


def ts_pid(packet):
    return ((packet[1] & 0x1F) << 8) | packet[2]


def ts_payload(packet):
    afc = (packet[3] >> 4) & 3
    if afc == 1:
        return packet[4:]
    if afc == 3:
        return packet[5 + packet[4]:]
    return b""


def first_section(packets, pid):
    """The first section of `pid` that starts in a packet (FFmpeg's PSI fits one packet)."""
    for packet in packets:
        if ts_pid(packet) == pid and packet[1] & 0x40:
            payload = ts_payload(packet)
            section = payload[1 + payload[0]:]
            return section[:3 + (((section[1] & 0x0F) << 8) | section[2])]
    raise SystemExit("no section on PID 0x%x" % pid)


def psi_section(table_id, extension, body, crc_ok=True):
    """A long-form PSI section, version 0, current, section 0 of 0."""
    length = 5 + len(body) + 4
    head = bytes([table_id, 0xB0 | (length >> 8), length & 0xFF, extension >> 8,
                  extension & 0xFF, 0xC1, 0, 0])
    crc = crc32_mpeg(head + body)
    return head + body + struct.pack(">I", crc if crc_ok else crc ^ 0x00C0FFEE)


def pmt_entries(section):
    """(PCR PID, [(stream_type, PID)]) of a PMT section."""
    info = ((section[10] & 0x0F) << 8) | section[11]
    pos, end, entries = 12 + info, len(section) - 4, []
    while pos < end:
        entries.append((section[pos], ((section[pos + 1] & 0x1F) << 8) | section[pos + 2]))
        pos += 5 + (((section[pos + 3] & 0x0F) << 8) | section[pos + 4])
    return ((section[8] & 0x1F) << 8) | section[9], entries


def descriptor(tag, payload):
    return bytes([tag, len(payload)]) + payload


def pmt_section(program, pcr_pid, entries, program_info=b"", es_info=None, crc_ok=True):
    body = struct.pack(">HH", 0xE000 | pcr_pid, 0xF000 | len(program_info)) + program_info
    for stream_type, pid in entries:
        info = (es_info or {}).get(stream_type, b"")
        body += struct.pack(">BHH", stream_type, 0xE000 | pid, 0xF000 | len(info)) + info
    return psi_section(0x02, program, body, crc_ok)


def ts_packet(pid, cc, payload, pusi):
    """A payload-only packet; `payload` is padded with 0xFF (PSI stuffing)."""
    header = bytes([0x47, (0x40 if pusi else 0) | (pid >> 8), pid & 0xFF, 0x10 | (cc & 15)])
    return header + payload + b"\xff" * (TS_PACKET - 4 - len(payload))


def pack_sections(sections):
    """Sections written back to back across packet payloads, as 13818-1 allows:
    a packet in which a section starts has payload_unit_start_indicator set and
    a pointer_field counting the previous section's tail bytes in front of it.
    Returns (payload_unit_start_indicator, payload) per packet."""
    data, starts = b"", []
    for section in sections:
        starts.append(len(data))
        data += section
    payloads, pos = [], 0
    while pos < len(data):
        first = [s for s in starts if pos <= s < pos + 183]
        if first:
            payloads.append((True, bytes([first[0] - pos]) + data[pos:pos + 183]))
            pos += 183
        elif pos + 183 in starts:               # would start in the last byte: stuff it
            payloads.append((False, data[pos:pos + 183]))
            pos += 183
        else:
            payloads.append((False, data[pos:pos + 184]))
            pos += 184
    return payloads


def video_pid(packets):
    pat = first_section(packets, 0)
    pmt_pid = ((pat[10] & 0x1F) << 8) | pat[11]
    return next(pid for kind, pid in pmt_entries(first_section(packets, pmt_pid))[1] if kind == 2)


def cmd_psi_packed(src, dst):
    """PSI rewritten as a demultiplexer must still read it: the first PAT packet
    starts with a section tail (pointer_field 9), then a PAT section with a
    wrong CRC_32 pointing at a PMT PID that does not exist, then the right PAT;
    the PMT PID carries a PMT with a wrong CRC_32 (its video listed as H.264)
    followed by copies of a PMT too long for one packet, written back to back
    so that sections start in the middle of packets."""
    packets = ts_packets(read_file(src))
    pat = first_section(packets, 0)
    tsid, program = (pat[3] << 8) | pat[4], (pat[8] << 8) | pat[9]
    pmt_pid = ((pat[10] & 0x1F) << 8) | pat[11]
    pcr_pid, entries = pmt_entries(first_section(packets, pmt_pid))

    def pat_of(pid, crc_ok=True):
        return psi_section(0x00, tsid, struct.pack(">HH", program, 0xE000 | pid), crc_ok)

    note = (b"quarlin corpus: a program descriptor loop long enough to carry this "
            b"PMT section over into a second transport packet")
    good = pmt_section(program, pcr_pid, entries, descriptor(0xF0, note), {
        0x02: descriptor(0x06, b"\x02"),                 # data_stream_alignment: access units
        0x03: descriptor(0x0A, b"eng\x00") + descriptor(0xF1, note[:60])})
    as_h264 = [(0x1B if kind == 2 else kind, pid) for kind, pid in entries]
    bad = pmt_section(program, pcr_pid, as_h264, crc_ok=False)
    slots = sum(1 for p in packets if ts_pid(p) == pmt_pid)
    # The first PMT packets go out together, up to the end of the first right
    # section (section bytes per packet: the payload less its pointer_field).
    first_burst = 1
    while sum(len(payload) - start for start, payload in
              pack_sections([bad, good])[:first_burst]) < len(bad) + len(good):
        first_burst += 1
    copies = 1
    while len(pack_sections([bad] + [good] * (copies + 1))) <= first_burst + slots - 1:
        copies += 1
    pmt_payloads = pack_sections([bad] + [good] * copies)
    tail = pat_of(pmt_pid)[-9:]
    first_pat = bytes([len(tail)]) + tail + pat_of(0x1FF0, crc_ok=False) + pat_of(pmt_pid)
    out, pat_cc, pmt_cc = [], 0, 0
    for packet in packets:
        pid = ts_pid(packet)
        if pid == 0:
            payload = first_pat if pat_cc == 0 else b"\x00" + pat_of(pmt_pid)
            out.append(ts_packet(0, pat_cc, payload, True))
            pat_cc += 1
        elif pid == pmt_pid:
            for start, payload in pmt_payloads[pmt_cc:first_burst if pmt_cc == 0 else pmt_cc + 1]:
                out.append(ts_packet(pmt_pid, pmt_cc, payload, start))
                pmt_cc += 1
        else:
            out.append(packet)
    for start, payload in pmt_payloads[pmt_cc:]:
        out.append(ts_packet(pmt_pid, pmt_cc, payload, start))
        pmt_cc += 1
    write_file(dst, b"".join(out))


def cmd_late_psi(src, dst):
    """IN without the PAT and PMT packets in front of its first video packet:
    the first PAT and PMT are FFmpeg's first repetition of them."""
    packets = ts_packets(read_file(src))
    pat = first_section(packets, 0)
    psi = {0, ((pat[10] & 0x1F) << 8) | pat[11]}
    pid = video_pid(packets)
    first = next(i for i, p in enumerate(packets) if ts_pid(p) == pid)
    write_file(dst, b"".join(p for i, p in enumerate(packets) if i > first or ts_pid(p) not in psi))


def cmd_ts_cut_mid_gop(src, dst):
    """IN from a packet in the middle of its fifth video PES packet on (FFmpeg
    writes one picture per PES packet)."""
    packets = ts_packets(read_file(src))
    pid = video_pid(packets)
    video = [i for i, p in enumerate(packets) if ts_pid(p) == pid]
    starts = [i for i in video if packets[i][1] & 0x40]
    inside = [i for i in video if starts[4] < i < starts[5]]
    write_file(dst, b"".join(packets[inside[len(inside) // 2]:]))


def gf_tables():
    exp, log, x = [0] * 512, [0] * 256, 1
    for i in range(255):
        exp[i], log[x] = x, i
        x = (x << 1) ^ (0x11D if x & 0x80 else 0)   # x^8 + x^4 + x^3 + x^2 + 1
    exp[255:510] = exp[:255]
    return exp, log


GF_EXP, GF_LOG = gf_tables()


def gf_mul(a, b):
    return GF_EXP[GF_LOG[a] + GF_LOG[b]] if a and b else 0


def rs_generator():
    """Coefficients, highest power first, of (x - a^0)(x - a^1)...(x - a^15)."""
    g = [1]
    for i in range(16):
        g = [c ^ gf_mul(d, GF_EXP[i]) for c, d in zip(g + [0], [0] + g)]
    return g


RS_GENERATOR = rs_generator()


def rs_parity(message):
    """The 16 parity bytes of the Reed-Solomon (204,188) code (the (255,239)
    code shortened, as DVB uses it) over `message`."""
    parity = [0] * 16
    for byte in message:
        feedback = byte ^ parity[0]
        parity = parity[1:] + [0]
        for j in range(16):
            parity[j] ^= gf_mul(RS_GENERATOR[j + 1], feedback)
    return bytes(parity)


def cmd_ts_204(src, dst):
    write_file(dst, b"".join(p + rs_parity(p) for p in ts_packets(read_file(src))))


def pcr_27mhz(packet):
    """The PCR of a packet's adaptation field in 27 MHz ticks, or None."""
    if not packet[3] & 0x20 or packet[4] < 7 or not packet[5] & 0x10:
        return None
    b = packet[6:12]
    base = (b[0] << 25) | (b[1] << 17) | (b[2] << 9) | (b[3] << 1) | (b[4] >> 7)
    return base * 300 + (((b[4] & 1) << 8) | b[5])


def cmd_m2ts_arrival_times(src, dst):
    """IN (192-byte packets) with every arrival_time_stamp set from the PCRs:
    equal to the PCR in packets that carry one, linear in between and beyond
    (FFmpeg 5.1 writes values that jump back and forth)."""
    data = bytearray(read_file(src))
    count = len(data) // 192
    pcrs = [(i, pcr) for i in range(count)
            for pcr in [pcr_27mhz(data[i * 192 + 4:i * 192 + 192])] if pcr is not None]
    if len(pcrs) < 2:
        raise SystemExit("fewer than two PCRs")
    for i in range(count):
        k = next((k for k in range(1, len(pcrs) - 1) if pcrs[k][0] > i), len(pcrs) - 1)
        (a, pa), (b, pb) = pcrs[k - 1], pcrs[k]
        ats = pa + (pb - pa) * (i - a) // (b - a)
        data[i * 192:i * 192 + 4] = struct.pack(">I", ats & 0x3FFFFFFF)  # copy_permission 0
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
        "merge-groups": cmd_merge_groups,
        "running-tr": cmd_running_tr,
        "cut-both-ends": cmd_cut_both_ends,
        "drop-pictures": cmd_drop_pictures,
        "psi-packed": cmd_psi_packed,
        "late-psi": cmd_late_psi,
        "ts-cut-mid-gop": cmd_ts_cut_mid_gop,
        "ts-204": cmd_ts_204,
        "m2ts-arrival-times": cmd_m2ts_arrival_times,
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
