// Runs a fuzz target over committed inputs without libFuzzer, so that the
// seed corpus and every crash reproducer are an ordinary test under any
// compiler. Arguments are files or folders (every file inside, in name
// order). A broken promise aborts inside the target; reaching the end means
// every input passed.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_target.h"
#include "tests/support/corpus.h"

namespace {

std::vector<std::string> inputsOf(const std::string& argument) {
  std::vector<std::string> files;
  if (std::filesystem::is_directory(argument)) {
    for (const auto& entry : std::filesystem::directory_iterator(argument))
      if (entry.is_regular_file()) files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
  } else {
    files.push_back(argument);
  }
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  int passed = 0;
  for (int i = 1; i < argc; ++i) {
    for (const std::string& path : inputsOf(argv[i])) {
      const std::vector<uint8_t> bytes = quarlin::test::readFileBytes(path);
      std::fprintf(stderr, "replay %s (%zu bytes)\n", path.c_str(), bytes.size());
      LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
      ++passed;
    }
  }
  if (passed == 0) {
    std::fprintf(stderr, "no inputs to replay\n");
    return 1;
  }
  std::printf("replayed %d inputs\n", passed);
  return 0;
}
