#include "tests/fuzz/fuzz_target.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/support/test_host.h"

namespace quarlin::fuzz {

namespace {

// tmpfs keeps the thousands of short-lived files off the disk.
std::string inputPath() {
  const std::string folder = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
  return folder + "/quarlin-fuzz-" + std::to_string(getpid()) + ".bin";
}

}  // namespace

robust::ExerciseOptions fuzzOptions() {
  robust::ExerciseOptions options;
  options.maxIndexCalls = 4000;
  options.maxFramesPerScale = 12;
  // Every close costs tens of milliseconds of waiting in the platform's
  // asynchronous-I/O teardown; a second session per input would halve the
  // rate. The robustness test reopens every mutant with its seek data.
  options.reopenWithSeekData = false;
  options.cacheBudgetBytes = size_t{64} << 20;
  return options;
}

void exerciseOrAbort(const std::vector<uint8_t>& bytes, const robust::ExerciseOptions& options,
                     const std::vector<uint8_t>* seekData, const std::string& existingPath) {
  std::string path = existingPath;
  if (path.empty()) {
    path = inputPath();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  const std::u16string wide = u16(path);
  const robust::ExerciseReport report = robust::exerciseFile(wide.c_str(), options, seekData);
  if (existingPath.empty()) std::filesystem::remove(path);
  if (report.problems.empty()) return;
  std::fprintf(stderr, "broken promise: %s\n", report.summary().c_str());
  std::abort();
}

}  // namespace quarlin::fuzz
