#include "tools/host/seek_data_reader.h"

#include <string>

namespace quarlin::tool {
namespace {

constexpr std::size_t kStreamPartBytes = 24;
constexpr std::size_t kIndexHeaderBytes = 16;
constexpr std::size_t kEntryBytes = 32;
constexpr uint8_t kKeyFlag = 0x40;

uint32_t readU32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

int32_t readS32(const uint8_t* p) { return static_cast<int32_t>(readU32(p)); }

int64_t readS64(const uint8_t* p) {
  return static_cast<int64_t>(uint64_t{readU32(p)} | uint64_t{readU32(p + 4)} << 32);
}

ContainerKind containerOf(const uint8_t* streamPart) {
  if (streamPart[10] != 0) return ContainerKind::Transport;  // isTransport
  if (streamPart[8] != 0) return ContainerKind::Elementary;  // isElementary
  return ContainerKind::Program;
}

SeekEntry readEntry(const uint8_t* p) {
  SeekEntry entry;
  entry.position = readS64(p);
  entry.size = readU32(p + 8);
  entry.number = readS32(p + 12);
  entry.forward = readS32(p + 16);
  entry.backward = readS32(p + 20);
  const uint8_t flags = p[24];
  entry.key = (flags & kKeyFlag) != 0;
  const uint8_t type = flags & static_cast<uint8_t>(~kKeyFlag);
  entry.type = type <= 3 ? type : 0;
  return entry;
}

}  // namespace

const char* containerName(ContainerKind kind) {
  switch (kind) {
    case ContainerKind::Program: return "ps";
    case ContainerKind::Transport: return "ts";
    case ContainerKind::Elementary: break;
  }
  return "es";
}

SeekData readSeekData(std::span<const uint8_t> block) {
  if (block.size() < kStreamPartBytes + kIndexHeaderBytes) {
    throw SeekDataError("seek data of " + std::to_string(block.size()) + " bytes is shorter than its headers");
  }
  const uint8_t* index = block.data() + kStreamPartBytes;
  const int32_t version = readS32(index);
  // Version 4 (the library's own) extends version 3's entries in their
  // undefined bytes and adds a table after them.
  if (version != 3 && version != 4)
    throw SeekDataError("seek data index version " + std::to_string(version) + " is not 3 or 4");
  const int32_t count = readS32(index + 4);
  const std::size_t room = (block.size() - kStreamPartBytes - kIndexHeaderBytes) / kEntryBytes;
  if (count < 0 || static_cast<std::size_t>(count) > room) {
    throw SeekDataError("seek data claims " + std::to_string(count) + " entries but holds room for " +
                        std::to_string(room));
  }
  SeekData data;
  data.container = containerOf(block.data());
  data.lastRecorded = readS64(block.data() + 16);
  data.startFrameOffset = readS32(index + 8);
  data.frameCount = readU32(index + 12);
  data.entries.reserve(static_cast<std::size_t>(count));
  const uint8_t* entry = index + kIndexHeaderBytes;
  for (int32_t i = 0; i < count; ++i, entry += kEntryBytes) data.entries.push_back(readEntry(entry));
  return data;
}

char pictureTypeLetter(uint8_t type) {
  switch (type) {
    case 1: return 'I';
    case 2: return 'P';
    case 3: return 'B';
    default: return 'D';
  }
}

}  // namespace quarlin::tool
