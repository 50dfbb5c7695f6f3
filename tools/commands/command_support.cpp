#include "tools/commands/command_support.h"

#include <cerrno>
#include <cmath>
#include <cstring>

#include "tools/commands/progress_bar.h"
#include "tools/host/tool_error.h"
#include "tools/host/utf16_path.h"

namespace quarlin::tool {
namespace {

constexpr double kFallbackFrameRate = 30;  // what the library assumes for reserved codes

[[noreturn]] void failFile(const std::string& path, const std::string& doing) {
  throw ToolFailure(path + ": " + doing + ": " + std::strerror(errno));
}

}  // namespace

std::vector<uint8_t> readWholeFile(const std::string& path) {
  std::FILE* file = openFile(path, "rb");
  if (!file) failFile(path, "cannot open");
  std::vector<uint8_t> bytes;
  uint8_t chunk[65536];
  std::size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) failFile(path, "cannot read");
  return bytes;
}

uint64_t fileSize(const std::string& path) {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(filePath(path), error);
  return error ? 0 : static_cast<uint64_t>(size);
}

bool progressWanted(const Options& options) { return !options.quiet && isTerminal(stderr); }

std::unique_ptr<LibrarySession> openIndexed(const Options& options) {
  std::vector<uint8_t> seekData;
  if (!options.seekData.empty()) {
    seekData = readWholeFile(options.seekData);
    if (seekData.empty()) throw ToolFailure(options.seekData + ": the seek-data file is empty");
  }
  auto session = std::make_unique<LibrarySession>(options.input, seekData);
  if (!session->indexComplete()) {
    const double megabytes = static_cast<double>(fileSize(options.input)) / 1e6;
    ProgressBar bar(stderr, progressWanted(options), megabytes, "MB");
    session->indexToEnd([&](float fraction) { bar.update(fraction); });
    bar.finish();
  }
  return session;
}

// The first 256 KiB hold the headers of almost every file; the whole look
// is read only when they do not, so a frame request on a cold disk does not
// wait for 4 MiB it never uses.
StreamLook lookAtFile(const std::string& path) {
  constexpr std::size_t kFirstLook = std::size_t{256} << 10;
  try {
    const StreamLook first = lookAtStream(readFileHead(path, kFirstLook));
    if (first.pictureCodingExtension) return first;
    return lookAtStream(readFileHead(path, kLookBytes));
  } catch (const std::runtime_error&) {
    return StreamLook{};
  }
}

FrameRange frameRange(const LibrarySession& session) {
  return FrameRange{session.startFrameOffset(), session.fileInfo().frameCount};
}

Rational pixelAspectAt(const FileInfo& info, DecodeScale scale) {
  if (std::isnan(info.pixelAspect)) return Rational{0, 0};
  const double factor = scale == DecodeScale::HalfWidth ? 2.0 : 1.0;
  return approximate(info.pixelAspect * factor);
}

Rational frameRateOrDefault(const StreamLook& look, const Options& options) {
  if (auto rate = frameRate(look)) return *rate;
  if (!options.quiet) {
    std::fprintf(stderr, "quarlin: %s: frame rate unknown, writing %g frames per second\n", options.input.c_str(),
                 kFallbackFrameRate);
  }
  return Rational{static_cast<int64_t>(kFallbackFrameRate), 1};
}

void failFrame(const LibrarySession& session, const FrameError& error) { session.fail(error.what(), error.result()); }

OutputFile::OutputFile(const std::string& path) : path_(path), isStdout_(path == "-") {
  file_ = isStdout_ ? stdout : openFile(path, "wb");
  if (!file_) failFile(path, "cannot create");
  // Whole frames go out in few large writes instead of one per row. Standard
  // output keeps its buffer until the C library's last flush, after every
  // static object is gone, so that buffer is never freed.
  constexpr std::size_t kBufferBytes = std::size_t{1} << 20;
  static char* const stdoutBuffer = new char[kBufferBytes];
  if (!isStdout_) buffer_.resize(kBufferBytes);
  char* buffer = isStdout_ ? stdoutBuffer : buffer_.data();
  std::setvbuf(file_, buffer, _IOFBF, kBufferBytes);
}

OutputFile::~OutputFile() {
  if (file_ && !isStdout_) std::fclose(file_);
}

void OutputFile::fail() const { failFile(path_ == "-" ? "standard output" : path_, "write failed"); }

void OutputFile::close() {
  if (!file_) return;
  const bool failed = std::fflush(file_) != 0 || std::ferror(file_) != 0;
  const int error = errno;
  if (!isStdout_) {
    const bool closeFailed = std::fclose(file_) != 0;
    file_ = nullptr;
    if (closeFailed && !failed) fail();
  }
  file_ = nullptr;
  errno = error;
  if (failed) fail();
}

}  // namespace quarlin::tool
