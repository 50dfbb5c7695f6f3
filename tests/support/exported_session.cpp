#include "tests/support/exported_session.h"

#include <cstring>

#include "tests/support/test_host.h"

namespace quarlin::test {

ExportedSession::ExportedSession(const std::string& path, const std::vector<uint8_t>& seekData,
                                 bool indexToEnd) {
  const std::u16string wide = u16(path);
  openResult_ = Quarlin_OpenFile(reinterpret_cast<const uint16_t*>(wide.c_str()), &testHostServices(),
                                 seekData.empty() ? nullptr : seekData.data(),
                                 static_cast<int32_t>(seekData.size()), &handle_);
  indexResult_ = openResult_;
  if (openResult_ != 0 && openResult_ != -4) handle_ = nullptr;
  if (indexToEnd) this->indexToEnd();
}

ExportedSession::~ExportedSession() {
  if (handle_) Quarlin_CloseFile(handle_);
}

int32_t ExportedSession::indexToEnd() {
  float progress = 0;
  for (int guard = 0; handle_ && indexResult_ == -4 && guard < 100000; ++guard)
    indexResult_ = Quarlin_IndexFile(handle_, &progress);
  return indexResult_;
}

std::vector<uint8_t> ExportedSession::seekData() const {
  void* data = nullptr;
  int32_t size = 0;
  if (!handle_ || Quarlin_GetSeekData(handle_, &data, &size) != 0) return {};
  std::vector<uint8_t> block(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
  Quarlin_FreeSeekData(data);
  return block;
}

// Layout: a 24-byte stream part, a 16-byte index header (entry count at
// offset 4), then 32-byte entries with the display number at offset 12 and
// the flags at 24.
std::vector<SeekDataEntry> seekDataEntries(const std::vector<uint8_t>& block) {
  std::vector<SeekDataEntry> entries;
  if (block.size() < 24 + 16) return entries;
  uint32_t count = 0;
  std::memcpy(&count, &block[24 + 4], 4);
  for (size_t p = 24 + 16; p + 32 <= block.size() && entries.size() < count; p += 32) {
    SeekDataEntry e{0, "?IPB"[block[p + 24] & 3]};
    std::memcpy(&e.number, &block[p + 12], 4);
    entries.push_back(e);
  }
  return entries;
}

}  // namespace quarlin::test
