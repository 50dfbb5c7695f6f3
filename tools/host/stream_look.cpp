#include "tools/host/stream_look.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "tools/host/utf16_path.h"

namespace quarlin::tool {
namespace {

constexpr uint8_t kSequenceHeaderCode = 0xB3;
constexpr uint8_t kExtensionCode = 0xB5;
constexpr uint8_t kPictureCode = 0x00;
constexpr uint8_t kFirstSystemCode = 0xB9;  // 0xB9..0xFF belong to the system layer
constexpr std::size_t kPacketBytes = 188;

constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

// Reads big-endian bit fields; reading past the end gives zeros and sets
// `overrun` so a truncated header is recognised.
class BitCursor {
 public:
  BitCursor(std::span<const uint8_t> bytes, std::size_t byteOffset) : bytes_(bytes), bit_(byteOffset * 8) {}

  uint32_t read(int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i, ++bit_) {
      const std::size_t byte = bit_ / 8;
      if (byte >= bytes_.size()) {
        overrun = true;
        value <<= 1;
        continue;
      }
      value = value << 1 | ((bytes_[byte] >> (7 - bit_ % 8)) & 1u);
    }
    return value;
  }
  void skip(std::size_t count) { bit_ += count; if (bit_ > bytes_.size() * 8) overrun = true; }
  std::size_t bytePosition() const { return (bit_ + 7) / 8; }

  bool overrun = false;

 private:
  std::span<const uint8_t> bytes_;
  std::size_t bit_;
};

// Offset of the next 00 00 01 prefix at or after `from`.
std::size_t findPrefix(std::span<const uint8_t> bytes, std::size_t from) {
  for (std::size_t i = from; i + 3 < bytes.size(); ++i) {
    if (bytes[i] == 0 && bytes[i + 1] == 0 && bytes[i + 2] == 1) return i;
  }
  return kNotFound;
}

std::size_t findCode(std::span<const uint8_t> bytes, std::size_t from, uint8_t code) {
  for (std::size_t at = findPrefix(bytes, from); at != kNotFound; at = findPrefix(bytes, at + 1)) {
    if (bytes[at + 3] == code) return at;
  }
  return kNotFound;
}

// The next start code of the video layer, passing over pack and PES headers.
std::size_t findVideoCode(std::span<const uint8_t> bytes, std::size_t from) {
  for (std::size_t at = findPrefix(bytes, from); at != kNotFound; at = findPrefix(bytes, at + 1)) {
    if (bytes[at + 3] < kFirstSystemCode) return at;
  }
  return kNotFound;
}

// Sequence header (ISO/IEC 13818-2 6.2.2.1); returns the offset after it.
std::size_t readSequenceHeader(std::span<const uint8_t> bytes, std::size_t at, StreamLook& look) {
  BitCursor bits(bytes, at + 4);
  look.width = bits.read(12);
  look.height = bits.read(12);
  look.aspectCode = static_cast<uint8_t>(bits.read(4));
  look.frameRateCode = static_cast<uint8_t>(bits.read(4));
  bits.skip(18 + 1 + 10 + 1);  // bit_rate_value, marker, vbv_buffer_size_value, constrained flag
  if (bits.read(1)) bits.skip(64 * 8);  // intra_quantiser_matrix
  if (bits.read(1)) bits.skip(64 * 8);  // non_intra_quantiser_matrix
  look.sequenceHeader = !bits.overrun;
  return bits.bytePosition();
}

// Sequence extension (6.2.2.3) at `at`, when it is one.
bool readSequenceExtension(std::span<const uint8_t> bytes, std::size_t at, StreamLook& look) {
  BitCursor bits(bytes, at + 4);
  if (bytes[at + 3] != kExtensionCode || bits.read(4) != 1) return false;
  bits.skip(8);  // profile_and_level_indication
  look.progressiveSequence = bits.read(1) != 0;
  look.chromaFormat = static_cast<uint8_t>(bits.read(2));
  bits.skip(2 + 2 + 12 + 1 + 8 + 1);  // size extensions, bit rate, marker, vbv, low_delay
  look.frameRateExtN = static_cast<uint8_t>(bits.read(2));
  look.frameRateExtD = static_cast<uint8_t>(bits.read(5));
  return !bits.overrun;
}

// Picture coding extension (6.2.3.1) at `at`, when it is one.
bool readPictureCodingExtension(std::span<const uint8_t> bytes, std::size_t at, StreamLook& look) {
  BitCursor bits(bytes, at + 4);
  if (bytes[at + 3] != kExtensionCode || bits.read(4) != 8) return false;
  bits.skip(16 + 2);  // four f_codes, intra_dc_precision
  look.pictureStructure = static_cast<uint8_t>(bits.read(2));
  look.topFieldFirst = bits.read(1) != 0;
  bits.skip(7);  // frame_pred_frame_dct .. chroma_420_type
  look.progressiveFrame = bits.read(1) != 0;
  return !bits.overrun;
}

void lookAtFirstPicture(std::span<const uint8_t> bytes, std::size_t from, StreamLook& look) {
  const std::size_t picture = findCode(bytes, from, kPictureCode);
  if (picture == kNotFound) return;
  const std::size_t extension = findVideoCode(bytes, picture + 4);
  if (extension == kNotFound) return;
  look.pictureCodingExtension = readPictureCodingExtension(bytes, extension, look);
}

StreamLook lookAtElementary(std::span<const uint8_t> bytes) {
  StreamLook look;
  const std::size_t header = findCode(bytes, 0, kSequenceHeaderCode);
  if (header == kNotFound) return look;
  const std::size_t end = readSequenceHeader(bytes, header, look);
  if (!look.sequenceHeader) return look;
  const std::size_t next = findVideoCode(bytes, end);
  if (next == kNotFound) return look;
  look.sequenceExtension = readSequenceExtension(bytes, next, look);
  look.mpeg1Sequence = bytes[next + 3] != kExtensionCode;
  if (look.sequenceExtension) lookAtFirstPicture(bytes, next + 4, look);
  return look;
}

bool startsLikeTransport(std::span<const uint8_t> bytes) {
  if (bytes.size() < kPacketBytes || bytes[0] != 0x47) return false;
  return bytes.size() < 2 * kPacketBytes || bytes[kPacketBytes] == 0x47;
}

// Offset of a packet's payload inside the packet, 0 when it carries none.
std::size_t payloadOffset(const uint8_t* packet) {
  const uint8_t control = (packet[3] >> 4) & 3;  // adaptation_field_control
  if ((control & 1) == 0) return 0;
  const std::size_t offset = (control & 2) ? 5 + std::size_t{packet[4]} : 4;
  return offset < kPacketBytes ? offset : 0;
}

uint32_t packetPid(const uint8_t* packet) { return (uint32_t{packet[1]} & 0x1F) << 8 | packet[2]; }

bool startsVideoPes(const uint8_t* packet) {
  const std::size_t offset = payloadOffset(packet);
  if (offset == 0 || (packet[1] & 0x40) == 0 || offset + 4 > kPacketBytes) return false;
  const uint8_t* p = packet + offset;
  return p[0] == 0 && p[1] == 0 && p[2] == 1 && (p[3] & 0xF0) == 0xE0;
}

}  // namespace

std::vector<uint8_t> transportVideoPayload(std::span<const uint8_t> bytes) {
  std::vector<uint8_t> payload;
  if (!startsLikeTransport(bytes)) return payload;
  const std::size_t packets = bytes.size() / kPacketBytes;
  std::size_t first = 0;
  while (first < packets && !startsVideoPes(&bytes[first * kPacketBytes])) ++first;
  if (first == packets) return payload;
  const uint32_t videoPid = packetPid(&bytes[first * kPacketBytes]);
  for (std::size_t i = first; i < packets; ++i) {
    const uint8_t* packet = &bytes[i * kPacketBytes];
    if (packet[0] != 0x47) break;  // lost sync: the rest is not trustworthy
    const std::size_t offset = payloadOffset(packet);
    if (packetPid(packet) != videoPid || offset == 0) continue;
    payload.insert(payload.end(), packet + offset, packet + kPacketBytes);
  }
  return payload;
}

bool firstPackIsMpeg1(std::span<const uint8_t> bytes) {
  static constexpr uint8_t kPackStart[4] = {0, 0, 1, 0xBA};
  const auto pack = std::search(bytes.begin(), bytes.end(), std::begin(kPackStart), std::end(kPackStart));
  return bytes.end() - pack > 4 && (pack[4] >> 4) == 0x2;
}

std::vector<uint8_t> programMapStreamTypes(std::span<const uint8_t> bytes) {
  std::vector<uint8_t> types;
  if (!startsLikeTransport(bytes)) return types;
  constexpr uint8_t kProgramMapTable = 0x02;
  for (std::size_t at = 0; at + kPacketBytes <= bytes.size() && bytes[at] == 0x47; at += kPacketBytes) {
    const uint8_t* packet = &bytes[at];
    const std::size_t offset = payloadOffset(packet);
    if (offset == 0 || (packet[1] & 0x40) == 0) continue;  // no section starts here
    const std::size_t section = offset + 1 + packet[offset];  // after the pointer_field
    if (section + 12 > kPacketBytes || packet[section] != kProgramMapTable) continue;
    const uint8_t* s = packet + section;
    // The elementary-stream loop: from after program_info to the CRC, kept
    // inside the packet.
    const std::size_t end = std::min(kPacketBytes - section, 3 + ((std::size_t{s[1]} & 0x0F) << 8 | s[2]) - 4);
    for (std::size_t i = 12 + ((std::size_t{s[10]} & 0x0F) << 8 | s[11]); i + 5 <= end;
         i += 5 + ((std::size_t{s[i + 3]} & 0x0F) << 8 | s[i + 4]))
      types.push_back(s[i]);
  }
  return types;
}

StreamLook lookAtStream(std::span<const uint8_t> bytes) {
  if (startsLikeTransport(bytes)) {
    const std::vector<uint8_t> payload = transportVideoPayload(bytes);
    return lookAtElementary(payload);
  }
  return lookAtElementary(bytes);
}

std::vector<uint8_t> readFileHead(const std::string& path, std::size_t limit) {
  std::FILE* file = openFile(path, "rb");
  if (!file) throw std::runtime_error(std::strerror(errno));
  std::vector<uint8_t> bytes(limit);
  const std::size_t got = std::fread(bytes.data(), 1, limit, file);
  const bool failed = std::ferror(file) != 0;
  const int error = errno;
  std::fclose(file);
  if (failed) throw std::runtime_error(std::strerror(error));
  bytes.resize(got);
  return bytes;
}

bool isFieldCoded(const StreamLook& look) {
  return look.pictureCodingExtension && (look.pictureStructure == 1 || look.pictureStructure == 2);
}

char interlacingLetter(const StreamLook& look) {
  if (look.sequenceExtension && look.progressiveSequence) return 'p';
  if (!look.pictureCodingExtension) return '?';
  switch (look.pictureStructure) {
    case 1: return 't';  // the top field is coded (and shown) first
    case 2: return 'b';
    default: return look.topFieldFirst ? 't' : 'b';
  }
}

std::optional<Rational> frameRate(const StreamLook& look) {
  if (!look.sequenceHeader) return std::nullopt;
  return frameRate(look.frameRateCode, look.frameRateExtN, look.frameRateExtD);
}

}  // namespace quarlin::tool
