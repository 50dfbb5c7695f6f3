// A small look at the start of a file for what no export carries: the frame
// rate (sequence header and extension), the field order and whether the
// pictures are field pictures (first picture coding extension), and the
// facts that explain why a file was refused (MPEG-1, chroma format).
//
// Limits: the look covers the first kLookBytes of the file and searches raw
// bytes for start codes (00 00 01 B3, then the next video start code). For a
// transport stream it first joins the payloads of the first video PID, so
// headers split across packets are found; in a program stream a header split
// by a pack or PES header between its bytes is not. The values describe the
// first sequence header and the first picture only.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tools/images/rational.h"

namespace quarlin::tool {

inline constexpr std::size_t kLookBytes = std::size_t{4} << 20;

struct StreamLook {
  bool sequenceHeader = false;     // a complete sequence header was found
  bool sequenceExtension = false;  // and a sequence extension follows it (MPEG-2)
  bool mpeg1Sequence = false;      // another video start code follows it instead (MPEG-1)
  uint32_t width = 0;              // horizontal_size_value, 12 bits
  uint32_t height = 0;             // vertical_size_value, 12 bits
  uint8_t aspectCode = 0;          // aspect_ratio_information, 0..15
  uint8_t frameRateCode = 0;       // frame_rate_code, 0..15
  uint8_t chromaFormat = 0;        // 1 4:2:0, 2 4:2:2, 3 4:4:4 (0 reserved)
  bool progressiveSequence = false;
  uint8_t frameRateExtN = 0;  // frame_rate_extension_n, 0..3
  uint8_t frameRateExtD = 0;  // frame_rate_extension_d, 0..31
  bool pictureCodingExtension = false;  // the first picture's extension was found
  uint8_t pictureStructure = 3;         // 1 top field, 2 bottom field, 3 frame
  bool topFieldFirst = false;
  bool progressiveFrame = false;
};

// Looks at bytes from the start of a file (any of ES, PS, TS).
StreamLook lookAtStream(std::span<const uint8_t> bytes);

// The payload bytes of the first video PID when `bytes` start like a
// transport stream (0x47 every 188 bytes), else empty.
std::vector<uint8_t> transportVideoPayload(std::span<const uint8_t> bytes);

// Whether the first pack header in `bytes` is an MPEG-1 one (marker bits
// 0010 after 00 00 01 BA, where an MPEG-2 pack has 01).
bool firstPackIsMpeg1(std::span<const uint8_t> bytes);

// The stream_type of every elementary stream the program map sections in
// `bytes` list (those that fit in one 188-byte packet); empty when `bytes`
// do not start like a transport stream or hold no such section.
std::vector<uint8_t> programMapStreamTypes(std::span<const uint8_t> bytes);

// The first `limit` bytes of a file; throws std::runtime_error naming the
// system's reason when it cannot be read.
std::vector<uint8_t> readFileHead(const std::string& path, std::size_t limit);

bool isFieldCoded(const StreamLook& look);
// The frame rate the sequence header gives, none when it has none.
std::optional<Rational> frameRate(const StreamLook& look);  // field pictures (structure 1 or 2)

// YUV4MPEG2 interlacing letter: 'p' progressive, 't' top field first,
// 'b' bottom field first, '?' unknown.
char interlacingLetter(const StreamLook& look);

}  // namespace quarlin::tool
