// Fuzz target: seek data. The first input byte chooses one of three corpus
// files (an elementary stream with two sequences, a program stream, a
// transport stream); the rest is the seek-data block handed to the open of
// that undamaged file. The session then answers queries and decodes frames
// from whatever index the block gave (or from the scan it fell back to).
#include <filesystem>
#include <string>

#include "tests/fuzz/fuzz_target.h"

namespace {

constexpr size_t kMaxSeekData = 64 * 1024;

const char* const kFiles[] = {"es-two-sequences.m2v", "ps-mplex-dvd.mpg", "ts-truncated.ts"};

std::string corpusPath(size_t i) { return std::string(QUARLIN_TEST_DATA) + "/streams/" + kFiles[i]; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > kMaxSeekData + 1) return 0;
  const size_t file = data[0] % (sizeof kFiles / sizeof kFiles[0]);
  const std::vector<uint8_t> block(data + 1, data + size);
  quarlin::robust::ExerciseOptions options = quarlin::fuzz::fuzzOptions();
  options.scales = 1;
  options.maxFramesPerScale = 16;
  // The index a hostile block gave must come back from its own seek data.
  options.reopenWithSeekData = true;
  quarlin::fuzz::exerciseOrAbort({}, options, &block, corpusPath(file));
  return 0;
}
