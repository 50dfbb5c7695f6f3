#include "tools/host/failure_diagnosis.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <stdexcept>

#include "quarlin/quarlin.h"
#include "tools/host/stream_look.h"
#include "tools/host/utf16_path.h"

namespace quarlin::tool {
namespace {

bool bytesAt(std::span<const uint8_t> head, std::size_t offset, std::string_view text) {
  if (head.size() < offset + text.size()) return false;
  return std::memcmp(head.data() + offset, text.data(), text.size()) == 0;
}

uint32_t wordAt(std::span<const uint8_t> head, std::size_t offset) {
  if (head.size() < offset + 4) return 0xFFFFFFFF;
  return uint32_t{head[offset]} << 24 | uint32_t{head[offset + 1]} << 16 | uint32_t{head[offset + 2]} << 8 |
         head[offset + 3];
}

bool isQuickTimeAtom(std::span<const uint8_t> head) {
  static constexpr std::array<std::string_view, 10> kAtoms = {"ftyp", "moov", "mdat", "free", "skip",
                                                              "wide", "udta", "pnot", "frea", "skpp"};
  for (std::string_view atom : kAtoms) {
    if (bytesAt(head, 4, atom)) return true;
  }
  return false;
}

constexpr uint8_t kMpeg2VideoStreamType = 0x02;  // ISO/IEC 13818-1 Table 2-34

std::string chromaRefusal(const StreamLook& look) {
  switch (look.chromaFormat) {
    case 2: return "4:2:2 video is not supported (only 4:2:0)";
    case 3: return "4:4:4 video is not supported (only 4:2:0)";
    default: return "the video is not 4:2:0, the only chroma format supported";
  }
}

}  // namespace

std::optional<std::string> foreignContainer(std::span<const uint8_t> head) {
  static constexpr uint8_t kAsfGuid[8] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11};
  if (isQuickTimeAtom(head)) return "MP4/QuickTime files are not supported";
  if (head.size() >= 8 && std::memcmp(head.data(), kAsfGuid, 8) == 0) return "ASF/WMV files are not supported";
  if (bytesAt(head, 0, "RIFF")) return bytesAt(head, 8, "AVI ") ? "AVI files are not supported" : "RIFF files are not supported";
  if (wordAt(head, 0) == 0x1A45DFA3) return "Matroska/WebM files are not supported";
  if (bytesAt(head, 0, "ADIF")) return "AAC audio files are not supported";
  if (bytesAt(head, 0, "FLV")) return "FLV files are not supported";
  if (bytesAt(head, 0, "OggS")) return "Ogg files are not supported";
  const uint32_t first = wordAt(head, 0);
  if (first == 0x1B0 || (first >= 0x100 && first <= 0x11F)) return "MPEG-4 visual streams are not supported";
  if ((first & 0xFFFFFC00) == 0x8000) return "H.263 streams are not supported";
  return std::nullopt;
}

std::string describeOpenFailure(std::span<const uint8_t> head, uint64_t fileSize, int32_t result) {
  if (fileSize == 0) return "the file is empty";
  if (auto foreign = foreignContainer(head)) return *foreign;
  const StreamLook look = lookAtStream(head);
  if (result == QUARLIN_NOT_420) return chromaRefusal(look);
  if (look.sequenceHeader && look.mpeg1Sequence) return "MPEG-1 video is not supported";
  if (look.sequenceHeader && look.sequenceExtension && look.chromaFormat != 1) return chromaRefusal(look);
  if (look.sequenceHeader && (look.aspectCode == 0 || look.aspectCode == 15)) {
    return "the sequence header is invalid (reserved aspect_ratio_information " +
           std::to_string(look.aspectCode) + ")";
  }
  if (result == QUARLIN_FAULT) return "indexing the start of the file failed";
  if (fileSize < 8) return "the file is too short to be a video stream";
  if (firstPackIsMpeg1(head)) return "MPEG-1 system streams are not supported (only MPEG-2 program streams)";
  if (const std::vector<uint8_t> types = programMapStreamTypes(head);
      !types.empty() && std::find(types.begin(), types.end(), kMpeg2VideoStreamType) == types.end())
    return "the transport stream's program map lists no MPEG-2 video stream (stream_type 2)";
  if (!look.sequenceHeader) return "no MPEG-2 video sequence header was found near the start of the file";
  return "the file is not a supported MPEG-2 video stream, or it could not be read";
}

std::string describeOpenFailure(const std::string& path, int32_t result) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(filePath(path), error);
  if (!error && !std::filesystem::exists(status)) error = std::make_error_code(std::errc::no_such_file_or_directory);
  if (error) return "cannot open the file: " + error.message();
  if (std::filesystem::is_directory(status)) return "cannot open the file: it is a directory";
  const std::uintmax_t size = std::filesystem::file_size(filePath(path), error);
  try {
    const std::vector<uint8_t> head = readFileHead(path, kLookBytes);
    return describeOpenFailure(head, error ? 0 : static_cast<uint64_t>(size), result);
  } catch (const std::runtime_error& error) {
    return std::string("cannot read the file: ") + error.what();
  }
}

std::string describeIndexFailure(int32_t result) {
  if (result == QUARLIN_FAULT) return "indexing failed: the library caught a fault";
  return "indexing failed: the picture sequence is malformed or the file could not be read";
}

}  // namespace quarlin::tool
