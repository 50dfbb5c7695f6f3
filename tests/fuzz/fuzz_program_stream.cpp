// Fuzz target: program streams. The input is the file, its first four bytes
// forced to a pack start code so that every input is demultiplexed as a
// program stream.
#include "tests/fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > quarlin::fuzz::kMaxStreamInput) return 0;
  std::vector<uint8_t> bytes(data, data + size);
  static const uint8_t kPackStartCode[4] = {0x00, 0x00, 0x01, 0xBA};
  for (size_t i = 0; i < 4 && i < bytes.size(); ++i) bytes[i] = kPackStartCode[i];
  quarlin::fuzz::exerciseOrAbort(bytes, quarlin::fuzz::fuzzOptions());
  return 0;
}
