// Builders of MPEG-2 video header bytes and their multiplexed forms, for
// tests that look at raw streams.
#pragma once
#include <cstdint>
#include <vector>

namespace quarlin::tool::testing {

using Bytes = std::vector<uint8_t>;

// Appends big-endian bit fields.
class BitWriter {
 public:
  void put(uint32_t value, int bits);
  void startCode(uint8_t code);  // byte-aligns, then 00 00 01 code
  Bytes take();

 private:
  Bytes bytes_;
  int used_ = 0;  // bits used in the last byte, 0..7
};

struct SequenceFields {
  uint32_t width = 720;
  uint32_t height = 576;
  uint8_t aspectCode = 2;
  uint8_t frameRateCode = 3;
  std::vector<uint8_t> intraMatrix;     // 64 values when loaded
  std::vector<uint8_t> nonIntraMatrix;  // 64 values when loaded
  bool extension = true;                // MPEG-2: a sequence extension follows
  bool progressive = false;
  uint8_t chromaFormat = 1;
  uint8_t frameRateExtN = 0;
  uint8_t frameRateExtD = 0;
};

struct PictureFields {
  uint8_t type = 1;
  uint8_t structure = 3;
  bool topFieldFirst = true;
  bool progressiveFrame = false;
};

// Sequence header (and extension), group header, picture header with its
// coding extension and a slice start code: the start of an elementary stream.
Bytes elementaryStart(const SequenceFields& sequence, const PictureFields& picture);

// The bytes as PES packets of at most `chunk` payload bytes in 2048-byte
// style packs (pack header + PES header each).
Bytes programStream(const Bytes& video, std::size_t chunk);

// The bytes as 188-byte transport packets on PID 0x100, a packet of PID
// 0x101 (audio-like, holding 00 00 01 B3 bait) after every video packet.
Bytes transportStream(const Bytes& video);

}  // namespace quarlin::tool::testing
