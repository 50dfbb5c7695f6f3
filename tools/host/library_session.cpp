#include "tools/host/library_session.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "tools/host/failure_diagnosis.h"
#include "tools/host/host_services.h"
#include "tools/host/tool_error.h"
#include "tools/host/utf16_path.h"

namespace quarlin::tool {

LibrarySession::LibrarySession(const std::string& path, const std::vector<uint8_t>& seekData) : path_(path) {
  const std::vector<uint16_t> widePath = utf16Path(path);
  const void* block = seekData.empty() ? nullptr : seekData.data();
  const int32_t result = Quarlin_OpenFile(widePath.data(), &hostServices(), block,
                                          static_cast<int32_t>(seekData.size()), &session_);
  if (result != QUARLIN_OK && result != QUARLIN_INDEX_INCOMPLETE) {
    session_ = nullptr;
    fail(describeOpenFailure(path, result), result);
  }
  indexComplete_ = result == 0;
}

LibrarySession::~LibrarySession() { Quarlin_CloseFile(session_); }

void LibrarySession::fail(const std::string& cause, int32_t result) const {
  throw ToolFailure(libraryFailureText(path_, cause, result));
}

void LibrarySession::indexToEnd(const std::function<void(float)>& progress) {
  while (!indexComplete_) {
    float fraction = 0;
    const int32_t result = Quarlin_IndexFile(session_, &fraction);
    if (result != QUARLIN_OK && result != QUARLIN_INDEX_INCOMPLETE) fail(describeIndexFailure(result), result);
    if (progress) progress(fraction);
    indexComplete_ = result == 0;
  }
}

FileInfo LibrarySession::fileInfo() const {
  FileInfo info;
  std::memset(&info, 0, sizeof info);
  // The library leaves the aspect untouched for aspect codes it cannot turn
  // into a pixel aspect; NaN marks that.
  info.pixelAspect = std::numeric_limits<double>::quiet_NaN();
  const int32_t result = Quarlin_GetFileInfo(session_, &info);
  if (result != 0) fail("reading the file's geometry failed", result);
  return info;
}

FrameGeometry LibrarySession::geometry() const {
  const FileInfo info = fileInfo();
  int32_t lumaSize = 0;
  int32_t chromaSize = 0;
  const int32_t result = Quarlin_GetFrameSizes(session_, &lumaSize, &chromaSize);
  if (result != 0) fail("reading the frame sizes failed", result);
  return FrameGeometry{info.width, info.height, info.stride, static_cast<uint32_t>(lumaSize),
                       static_cast<uint32_t>(chromaSize)};
}

int32_t LibrarySession::startFrameOffset() const {
  int32_t first = 0;
  int32_t second = 0;
  const int32_t result = Quarlin_GetStartFrameOffset(session_, &first, &second);
  if (result != 0) fail("reading the start frame offset failed", result);
  return first;
}

std::vector<uint8_t> LibrarySession::seekData() const {
  void* data = nullptr;
  int32_t size = 0;
  const int32_t result = Quarlin_GetSeekData(session_, &data, &size);
  if (result != 0 || !data || size < 0) {
    fail(result == QUARLIN_INDEX_INCOMPLETE ? "the index is not complete" : "the seek data could not be produced", result);
  }
  const auto* bytes = static_cast<const uint8_t*>(data);
  std::vector<uint8_t> copy(bytes, bytes + size);
  Quarlin_FreeSeekData(data);
  return copy;
}

}  // namespace quarlin::tool
