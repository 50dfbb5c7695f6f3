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
  std::vector<uint8_t> block;
  if (handle_) copySeekData(handle_, block);
  return block;
}

int32_t copySeekData(DecoderSession* session, std::vector<uint8_t>& block) {
  void* data = nullptr;
  int32_t size = 0;
  const int32_t result = Quarlin_GetSeekData(session, &data, &size);
  if (result != 0) return result;
  block.assign(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
  Quarlin_FreeSeekData(data);
  return 0;
}

std::vector<SeekDataEntry> seekDataEntries(const std::vector<uint8_t>& block) {
  using namespace seekdata;
  std::vector<SeekDataEntry> entries;
  if (block.size() < kStreamPart + kHeader) return entries;
  uint32_t count = 0;
  std::memcpy(&count, &block[kStreamPart + kCount], 4);
  for (size_t p = kStreamPart + kHeader; p + kEntry <= block.size() && entries.size() < count; p += kEntry) {
    SeekDataEntry e{0, "?IPB"[block[p + kFlags] & 3]};
    std::memcpy(&e.number, &block[p + kNumber], 4);
    entries.push_back(e);
  }
  return entries;
}

}  // namespace quarlin::test
