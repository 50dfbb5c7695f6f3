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

int main(int argc, char** argv) {
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const auto first = static_cast<std::ptrdiff_t>(files.size());
    if (!std::filesystem::is_directory(argv[i])) files.push_back(argv[i]);
    else
      for (const auto& entry : std::filesystem::directory_iterator(argv[i]))
        if (entry.is_regular_file()) files.push_back(entry.path().string());
    std::sort(files.begin() + first, files.end());
  }
  for (const std::string& path : files) {
    const std::vector<uint8_t> bytes = quarlin::test::readFileBytes(path);
    std::fprintf(stderr, "replay %s (%zu bytes)\n", path.c_str(), bytes.size());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  if (files.empty()) {
    std::fprintf(stderr, "no inputs to replay\n");
    return 1;
  }
  std::printf("replayed %zu inputs\n", files.size());
  return 0;
}
