// What the commands share: opening and indexing a file with a progress bar,
// output files, frame ranges, and the facts the tool reads from the file
// itself (frame rate, field order, field pictures).
#pragma once
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/commands/command_line.h"
#include "tools/host/frame_server.h"
#include "tools/host/library_session.h"
#include "tools/images/rational.h"
#include "tools/host/stream_look.h"

namespace quarlin::tool {

// Whole file into memory; throws ToolFailure naming the file and the reason.
std::vector<uint8_t> readWholeFile(const std::string& path);

uint64_t fileSize(const std::string& path);  // 0 when unknown

bool progressWanted(const Options& options);

// Opens options.input (with options.seekData when given) and completes its
// index, drawing a progress bar on a terminal.
std::unique_ptr<LibrarySession> openIndexed(const Options& options);

// A look at the file's first bytes; an unreadable file gives an empty look.
StreamLook lookAtFile(const std::string& path);

// The frames a host shows: frameCount frames from the start frame offset.
struct FrameRange {
  int32_t first = 0;
  uint32_t count = 0;
  int32_t end() const { return first + static_cast<int32_t>(count); }
};
FrameRange frameRange(const LibrarySession& session);

// Pixel aspect as a fraction (0:0 when the library gives none), for a
// picture at `scale`: half-width pictures have pixels twice as wide.
Rational pixelAspectAt(const FileInfo& info, DecodeScale scale);

// The frame rate of the file, or `fallback` with a warning on stderr.
Rational frameRateOrDefault(const StreamLook& look, const Options& options);

// Throws ToolFailure "FILE: ... (result R)" for a frame server failure.
[[noreturn]] void failFrame(const LibrarySession& session, const FrameError& error);

// A file opened for writing, "-" being standard output; close() reports a
// failed write as ToolFailure.
class OutputFile {
 public:
  explicit OutputFile(const std::string& path);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  std::FILE* get() const { return file_; }
  void close();
  [[noreturn]] void fail() const;

 private:
  std::string path_;
  std::FILE* file_ = nullptr;
  bool isStdout_ = false;
  std::vector<char> buffer_;  // stdio ignores a size given without a buffer
};

}  // namespace quarlin::tool
