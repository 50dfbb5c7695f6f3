// One open file in the library, through its exports only.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "quarlin/quarlin.h"
#include "tools/host/plane_layout.h"

namespace quarlin::tool {

class LibrarySession {
 public:
  // Opens `path`, restoring the index from `seekData` when it is not empty.
  // Throws ToolFailure naming the cause and the result on refusal.
  LibrarySession(const std::string& path, const std::vector<uint8_t>& seekData);
  ~LibrarySession();
  LibrarySession(const LibrarySession&) = delete;
  LibrarySession& operator=(const LibrarySession&) = delete;

  const std::string& path() const { return path_; }
  DecoderSession* handle() const { return session_; }
  bool indexComplete() const { return indexComplete_; }

  // Runs index slices until the index is complete, reporting the fraction of
  // the file consumed after each. Throws ToolFailure.
  void indexToEnd(const std::function<void(float)>& progress);

  // Quarlin_GetFileInfo, with pixelAspect NaN when the library gives none.
  FileInfo fileInfo() const;
  FrameGeometry geometry() const;
  int32_t startFrameOffset() const;
  // A copy of the block of Quarlin_GetSeekData. Throws ToolFailure.
  std::vector<uint8_t> seekData() const;

  // Throws ToolFailure "FILE: CAUSE (result R)".
  [[noreturn]] void fail(const std::string& cause, int32_t result) const;

 private:
  std::string path_;
  DecoderSession* session_ = nullptr;
  bool indexComplete_ = false;
};

}  // namespace quarlin::tool
