// Builds MPEG-2 video syntax (ISO/IEC 13818-2 6.2) byte by byte for the
// parser, index and tool tests: sequence, GOP and picture headers with their
// extensions, slices with filler payload, and whole elementary streams whose
// picture positions are known. No slice data is meaningful: the parsers
// under test only move from start code to start code over it.
#pragma once
#include <cstdint>
#include <vector>

namespace quarlin::test {

using Bytes = std::vector<uint8_t>;

inline void append(Bytes& to, const Bytes& from) { to.insert(to.end(), from.begin(), from.end()); }

// Most significant bit first, as the stream is written.
class BitWriter {
 public:
  explicit BitWriter(uint8_t code) : bytes_{0, 0, 1, code} {}
  BitWriter& put(uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
      if (used_ == 0) bytes_.push_back(0);
      if ((value >> i) & 1) bytes_.back() |= static_cast<uint8_t>(0x80 >> used_);
      used_ = (used_ + 1) & 7;
    }
    return *this;
  }
  // The bytes so far; a partly written last byte is padded with zero bits.
  Bytes done() const { return bytes_; }

 private:
  Bytes bytes_;
  int used_ = 0;
};

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

inline Bytes sequenceDisplayExtension(int width, int height, bool colour) {
  BitWriter e(0xB5);
  e.put(2, 4).put(5, 3).put(colour, 1);
  if (colour) e.put(0x010101, 24);
  // The top two bits of each size are set to show that only 12 are kept.
  return e.put(0x3000 | width, 14).put(1, 1).put(0x3000 | height, 14).done();
}

inline Bytes gopHeader(bool closed) {
  return BitWriter(0xB8).put(0, 25).put(closed, 1).put(0, 1).done();
}

struct PictureParams {
  int temporalReference = 0;
  int type = 1;                     // 1 I, 2 P, 3 B
  int headerFCode = 7;              // forward/backward_f_code of the header
  int fCode[4] = {15, 15, 15, 15};  // of the coding extension
  int intraDcPrecision = 0;
  int structure = 3;
  int topFieldFirst = 0;
  int framePredFrameDct = 1;
  int intraVlcFormat = 0;
  int alternateScan = 0;
  int repeatFirstField = 0;
  int progressiveFrame = 0;  // chroma_420_type is written equal to it
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
  e.put(p.intraDcPrecision, 2).put(p.structure, 2).put(p.topFieldFirst, 1);
  e.put(p.framePredFrameDct, 1).put(0, 1).put(0, 1).put(p.intraVlcFormat, 1);
  e.put(p.alternateScan, 1).put(p.repeatFirstField, 1).put(p.progressiveFrame, 1);
  e.put(p.progressiveFrame, 1).put(0, 1);
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

inline Bytes userData(int length) {
  Bytes out = startCode(0xB2);
  for (int i = 0; i < length; ++i) out.push_back(static_cast<uint8_t>('A' + i % 26));
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

struct BuiltStream {
  Bytes bytes;
  // Offset just after each picture start code, in coding order.
  std::vector<int64_t> pictureEnds;
  // Byte length of picture i's unit: from after its start code through the
  // next one (to the end of the file for the last).
  uint32_t unitLength(size_t i) const {
    const int64_t end = i + 1 < pictureEnds.size() ? pictureEnds[i + 1] : static_cast<int64_t>(bytes.size());
    return static_cast<uint32_t>(end - pictureEnds[i]);
  }
};

struct StreamOptions {
  int sliceRows = 2;
  int slicePayload = 8;   // filler bytes per slice; grown per picture when `varySize`
  bool varySize = false;  // vary picture sizes so units straddle fills differently
  Bytes afterGop;  // extension and user data bytes after each GOP header
  bool groupHeaders = true;
  SequenceParams sequence;
};

inline int typeCode(char type) { return type == 'I' ? 1 : type == 'P' ? 2 : type == 'B' ? 3 : 0; }

inline PictureParams paramsFor(const Coded& c) {
  PictureParams p;
  p.temporalReference = c.temporalReference;
  p.type = typeCode(c.type);
  p.headerFCode = 2;
  if (p.type >= 2) p.fCode[0] = p.fCode[1] = 2;
  if (p.type == 3) p.fCode[2] = p.fCode[3] = 2;
  p.structure = c.structure;
  p.framePredFrameDct = c.structure == 3 ? 1 : 0;
  return p;
}

// A sequence header, then each group (a GOP header first, unless left out) with
// its pictures in coding order.
inline BuiltStream elementaryStream(const std::vector<Group>& groups, const StreamOptions& o = {}) {
  BuiltStream s;
  s.bytes = sequenceHeader(o.sequence);
  uint32_t seed = 7;
  for (const Group& g : groups) {
    if (o.groupHeaders) {
      append(s.bytes, gopHeader(false));
      append(s.bytes, o.afterGop);
    }
    for (const Coded& c : g) {
      s.pictureEnds.push_back(static_cast<int64_t>(s.bytes.size()) + 4);
      append(s.bytes, pictureHeader(paramsFor(c)));
      const int payload = o.varySize ? o.slicePayload + static_cast<int>(seed % 997) : o.slicePayload;
      for (int row = 0; row < o.sliceRows; ++row) append(s.bytes, slice(row, payload, seed++));
      seed = seed * 69069u + 1u;
    }
  }
  return s;
}

}  // namespace quarlin::test
