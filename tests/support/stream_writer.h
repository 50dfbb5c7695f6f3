// The one stream writer of the tests: bits most significant first, the
// MPEG-2 video syntax that the parsers, the scan and the slice decoders read
// (ISO/IEC 13818-2 6.2: headers, extensions, slices with filler or with
// coded macroblocks), whole elementary streams of given picture types, and
// the containers around them (ISO/IEC 13818-1: program-stream packs and PES
// packets, transport packets with PAT and PMT).
#pragma once
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace quarlin::test {

using Bytes = std::vector<uint8_t>;

inline void append(Bytes& to, const Bytes& from) { to.insert(to.end(), from.begin(), from.end()); }

class BitWriter {
 public:
  BitWriter() = default;
  // Starts with the start code 00 00 01 `code`.
  explicit BitWriter(uint8_t code) : bytes_{0, 0, 1, code}, bits_(32) {}

  // The low `bits` bits of value, 0..32.
  BitWriter& put(uint32_t value, int bits);
  // A code given as '0' and '1' characters (others, such as spaces, skipped).
  BitWriter& putCode(const std::string& code);
  // The shortest code that the library's built table `slot` (kVlc...)
  // decodes to `value`: the tables are the decoder's own, so this writes
  // what it reads (independent code lists are in the primitives' tests).
  BitWriter& putVlc(int slot, int32_t value);

  // Bytes so far; a partly written last byte is padded with zero bits.
  const Bytes& done() const { return bytes_; }
  size_t bitCount() const { return bits_; }
  // The bytes in the reader's word order (each group of four bytes reversed,
  // as the unit assembler leaves them), then `padWords` words of `padByte`.
  std::vector<uint32_t> words(size_t padWords = 2, uint8_t padByte = 0) const;

  // Zero bits to the next byte boundary, then `bytes` (a start code and
  // what follows it).
  BitWriter& append(const Bytes& bytes);

  // Slice syntax (6.2.4, 6.2.5): a slice header without extra information
  // (it resets the DC predictors to 128: intra_dc_precision 0), after the
  // slice start code of macroblock row `row`; macroblock_address_increment
  // with escapes, then macroblock_type as the code `type` (codes:: below);
  // a vector's horizontal and vertical motion_code, and with dmvector for
  // dual prime; intra blocks, DC only (table B.14), four luma of value `y`,
  // then Cb and Cr, each coded against its predictor.
  BitWriter& sliceHeader(int quantiserScaleCode);
  BitWriter& slice(int row, int quantiserScaleCode);
  BitWriter& addressIncrement(int increment);
  BitWriter& macroblock(int increment, const char* type) { return addressIncrement(increment).putCode(type); }
  BitWriter& vector(int x, int y);
  BitWriter& dualPrimeVector(int x, int dmvX, int y, int dmvY);
  BitWriter& intraBlocks(int y, int cb = 128, int cr = 128);

 private:
  Bytes bytes_;
  size_t bits_ = 0;
  int dcPredictors_[3] = {128, 128, 128};
};

// Codes of the macroblock layer (ISO/IEC 13818-2 B.2 to B.4, B.9, 6.3.17.1).
namespace codes {
// macroblock_type in I-, P- and B-pictures
constexpr const char *kIntraI = "1", *kIntraB = "00011", *kForwardNotCodedP = "001", *kNoMotionCodedP = "01";
constexpr const char *kInterpolatedNotCodedB = "10", *kBackwardNotCodedB = "010", *kForwardNotCodedB = "0010";
// coded_block_pattern; frame_motion_type and field_motion_type
constexpr const char *kOnlyCr = "01011", *kOnlyBlock0 = "1010";
constexpr const char *kField = "01", *kSixteenByEight = "10", *kFrame = "10", *kDualPrime = "11";
// A non-intra block of one coefficient, +1 at DC, then end_of_block (B.14).
constexpr const char* kOneCoefficientBlock = "10" "10";
}  // namespace codes

inline Bytes startCode(uint8_t code) { return {0, 0, 1, code}; }

struct SequenceParams {
  int width = 720, height = 576, aspect = 2, frameRateCode = 3;
  bool marker = true;
  const uint8_t* intraMatrix = nullptr;     // 64 bytes in stream (zigzag) order
  const uint8_t* nonIntraMatrix = nullptr;  // likewise
  bool extension = true;  // MPEG-2 sequence extension follows
  int chromaFormat = 1, progressive = 0, extN = 0, extD = 0;
  bool extensionMarker = true;
};

inline Bytes sequenceHeader(const SequenceParams& s) {
  BitWriter w(0xB3);
  w.put(s.width, 12).put(s.height, 12).put(s.aspect, 4).put(s.frameRateCode, 4);
  w.put(0x3FFFF, 18).put(s.marker, 1).put(112, 10).put(0, 1);
  w.put(s.intraMatrix != nullptr, 1);
  for (int i = 0; s.intraMatrix && i < 64; ++i) w.put(s.intraMatrix[i], 8);
  w.put(s.nonIntraMatrix != nullptr, 1);
  for (int i = 0; s.nonIntraMatrix && i < 64; ++i) w.put(s.nonIntraMatrix[i], 8);
  Bytes out = w.done();
  if (s.extension) {
    BitWriter e(0xB5);
    e.put(1, 4).put(0x48, 8).put(s.progressive, 1).put(s.chromaFormat, 2).put(0, 2).put(0, 2);
    e.put(0, 12).put(s.extensionMarker, 1).put(0, 8).put(0, 1).put(s.extN, 2).put(s.extD, 5);
    append(out, e.done());
  }
  return out;
}

// time_code 00:00:00:00 (its marker bit set), closed_gop, broken_link 0.
inline Bytes gopHeader(bool closed) {
  return BitWriter(0xB8).put(1u << 12, 25).put(closed, 1).put(0, 1).done();
}

struct PictureParams {
  int temporalReference = 0;
  int type = 1;                     // 1 I, 2 P, 3 B
  int headerFCode = 7;              // forward/backward_f_code of the header
  int fCode[4] = {15, 15, 15, 15};  // of the coding extension
  int structure = 3;
  int topFieldFirst = 0;
  int framePredFrameDct = 1;
  int repeatFirstField = 0;
  bool codingExtension = true;
};

// The picture start code, the header and (unless left out) the coding
// extension.
inline Bytes pictureHeader(const PictureParams& p) {
  BitWriter w(0x00);
  w.put(p.temporalReference, 10).put(p.type, 3).put(0xFFFF, 16);
  if (p.type == 2 || p.type == 3) w.put(0, 1).put(p.headerFCode, 3);
  if (p.type == 3) w.put(0, 1).put(p.headerFCode, 3);
  w.put(0, 1);  // extra_bit_picture
  Bytes out = w.done();
  if (!p.codingExtension) return out;
  BitWriter e(0xB5);
  e.put(8, 4);
  for (int f : p.fCode) e.put(f, 4);
  // intra_dc_precision 0; concealment_motion_vectors, q_scale_type, intra_vlc_format,
  // alternate_scan 0; chroma_420_type, progressive_frame, composite_display_flag 0.
  e.put(0, 2).put(p.structure, 2).put(p.topFieldFirst, 1).put(p.framePredFrameDct, 1).put(0, 4);
  e.put(p.repeatFirstField, 1).put(0, 3);
  append(out, e.done());
  return out;
}

// A slice of the given macroblock row with `payload` filler bytes that
// never form a start code prefix (no zero bytes).
inline Bytes slice(int row, int payload, uint32_t seed = 1) {
  Bytes out = startCode(static_cast<uint8_t>(row + 1));
  for (int i = 0; i < payload; ++i) {
    seed = seed * 1103515245u + 12345u;
    out.push_back(static_cast<uint8_t>(0x11 + (seed >> 16) % 0xEE));
  }
  return out;
}

// One coded picture of an elementary stream: type 'I', 'P' or 'B' and its
// temporal_reference; a field picture gives its structure (1 top, 2 bottom).
struct Coded {
  int temporalReference;
  char type;
  int structure = 3;
};
using Group = std::vector<Coded>;

inline PictureParams paramsFor(const Coded& c) {
  PictureParams p;
  p.temporalReference = c.temporalReference;
  p.type = c.type == 'I' ? 1 : c.type == 'P' ? 2 : c.type == 'B' ? 3 : 0;
  p.headerFCode = 2;
  if (p.type >= 2) p.fCode[0] = p.fCode[1] = 2;
  if (p.type == 3) p.fCode[2] = p.fCode[3] = 2;
  p.structure = c.structure;
  p.framePredFrameDct = c.structure == 3 ? 1 : 0;
  return p;
}

// A sequence header, then each group (a GOP header first) with its pictures
// in coding order, each of two slices of filler.
inline Bytes elementaryStream(const std::vector<Group>& groups, const SequenceParams& sequence = {}) {
  Bytes s = sequenceHeader(sequence);
  uint32_t seed = 7;
  for (const Group& g : groups) {
    append(s, gopHeader(false));
    for (const Coded& c : g) {
      append(s, pictureHeader(paramsFor(c)));
      for (int row = 0; row < 2; ++row) append(s, slice(row, 8, seed++));
      seed = seed * 69069u + 1u;
    }
  }
  return s;
}

// ---- Containers (ISO/IEC 13818-1) -------------------------------------------

inline Bytes counting(size_t n, uint8_t first) {
  Bytes out(n);
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(first + i);
  return out;
}

// --- Program streams ---

// An MPEG-2 pack header ('01' after the start code) with `stuffing` bytes.
inline Bytes packHeader(int stuffing = 0) {
  Bytes b = startCode(0xBA);
  append(b, {0x44, 0, 4, 0, 4, 1, 0x01, 0x89, 0xC3, static_cast<uint8_t>(0xF8 | stuffing)});
  append(b, Bytes(static_cast<size_t>(stuffing), 0xFF));
  return b;
}

// A packet with its 16-bit length and `body`.
inline Bytes packet(uint8_t streamId, const Bytes& body) {
  Bytes b = startCode(streamId);
  append(b, {static_cast<uint8_t>(body.size() >> 8), static_cast<uint8_t>(body.size())});
  append(b, body);
  return b;
}

// A video PES packet: flags, PES_header_data_length, 0 (none), 1 (PTS) or
// 2 (PTS and DTS) time stamps, then the payload.
inline Bytes videoPacket(const Bytes& payload, int timeStamps, uint8_t streamId = 0xE0) {
  Bytes body = {0x81, static_cast<uint8_t>(timeStamps == 2 ? 0xC0 : timeStamps == 1 ? 0x80 : 0),
                static_cast<uint8_t>(5 * timeStamps)};
  append(body, Bytes(static_cast<size_t>(5 * timeStamps), 0x21));
  append(body, payload);
  return packet(streamId, body);
}

// --- Transport streams ---

constexpr int kVideoPid = 0x1E0;

inline Bytes tsPacket(int pid, bool unitStart, int adaptationControl, const Bytes& body, uint8_t fill = 0xFF) {
  Bytes b(188, fill);
  b[0] = 0x47;
  b[1] = static_cast<uint8_t>((unitStart ? 0x40 : 0) | pid >> 8);
  b[2] = static_cast<uint8_t>(pid);
  b[3] = static_cast<uint8_t>(adaptationControl << 4);
  std::copy_n(body.begin(), std::min<size_t>(body.size(), 184), b.begin() + 4);
  return b;
}

// A table section with its CRC_32 (ISO/IEC 13818-1 Annex A, bit by bit).
inline Bytes withCrc(Bytes section) {
  uint32_t crc = 0xFFFFFFFFu;
  for (uint8_t byte : section)
    for (int bit = 7; bit >= 0; --bit)
      crc = (((crc >> 31) ^ ((byte >> bit) & 1u)) != 0) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
  append(section, {static_cast<uint8_t>(crc >> 24), static_cast<uint8_t>(crc >> 16), static_cast<uint8_t>(crc >> 8),
                   static_cast<uint8_t>(crc)});
  return section;
}

// Program 0 (the network PID) first, then program 1 on PID 0x100.
inline Bytes patPacket() {
  Bytes body = {0};
  append(body, withCrc({0x00, 0xB0, 17, 0, 1, 0xC1, 0, 0, 0, 0, 0xE0, 0x10, 0, 1, 0xE1, 0x00}));
  return tsPacket(0, true, 1, body);
}

// Program 1's map (PCR on the video PID): MP2 audio on PID 0x1C0 with a
// language descriptor listed before the MPEG-2 video on kVideoPid.
inline Bytes pmtPacket() {
  Bytes body = {0};
  append(body, withCrc({0x02, 0xB0, 26, 0, 1, 0xC1, 0, 0, 0xE1, 0xE0, 0xF0, 0,  // section header, PCR_PID
                        3, 0xE1, 0xC0, 0xF0, 3, 0x0A, 1, 'e', 2, 0xE1, 0xE0, 0xF0, 0}));
  return tsPacket(0x100, true, 1, body);
}

// --- Whole files ---

// Packs of one video PES packet each, `chunk` bytes of the stream per packet.
inline Bytes inProgramStream(const Bytes& es, size_t chunk = 700) {
  Bytes out;
  for (size_t at = 0; at < es.size(); at += chunk) {
    append(out, packHeader(static_cast<int>(at / chunk % 3)));
    if (at == 0) append(out, packet(0xBB, counting(6, 0x90)));
    append(out, packet(0xC0, counting(33, 0xA0)));
    append(out, videoPacket(Bytes(es.begin() + at, es.begin() + std::min(es.size(), at + chunk)), 1));
  }
  append(out, startCode(0xB9));
  return out;
}

// PAT and PMT, then the stream on the video PID: a PES start, full payloads,
// and a last packet padded with its adaptation field; now and then an audio
// packet whose payload holds a sequence header code, which only a reader
// that ignores the PID would take for video.
inline Bytes inTransportStream(const Bytes& es) {
  Bytes out = patPacket();
  append(out, pmtPacket());
  size_t at = 0;
  for (int n = 0; at < es.size(); ++n) {
    if (n % 5 == 4) append(out, tsPacket(0x1C0, false, 1, {0, 0, 1, 0xB3, 0x11, 0x11}, 0x11));
    const size_t room = n == 0 ? 175 : 184;
    const size_t take = std::min(room, es.size() - at);
    Bytes body;
    int control = 1;
    if (take < room) {  // stuffing in an adaptation field
      control = 3;
      const size_t a = room - take - 1;
      body.push_back(static_cast<uint8_t>(a));
      append(body, Bytes(a, 0xFF));
    }
    if (n == 0) append(body, {0, 0, 1, 0xE0, 0, 0, 0x80, 0x00, 0});
    append(body, Bytes(es.begin() + at, es.begin() + at + take));
    append(out, tsPacket(kVideoPid, n == 0, control, body));
    at += take;
  }
  return out;
}

}  // namespace quarlin::test
