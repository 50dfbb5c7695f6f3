#include "tests/support/temp_file.h"

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

#include <atomic>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "tests/support/test_host.h"

namespace quarlin::test {
namespace {
std::atomic<int> fileCounter{0};
}

TempFile::TempFile(const std::string& directory, const std::vector<uint8_t>& bytes) {
  std::filesystem::create_directories(directory);
  path_ = directory + "/quarlin-test-" + std::to_string(getpid()) + "-" +
          std::to_string(fileCounter.fetch_add(1)) + ".bin";
  std::ofstream out(path_, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path_);
  u16path_ = u16(path_);
}

TempFile::~TempFile() {
  std::error_code ignored;
  std::filesystem::remove(path_, ignored);
}

}  // namespace quarlin::test
