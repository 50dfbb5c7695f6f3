// Fuzz target: transport streams. The input is the file, its first byte
// forced to the sync byte 0x47 so that every input is demultiplexed as a
// transport stream.
#include "tests/fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > quarlin::fuzz::kMaxStreamInput) return 0;
  std::vector<uint8_t> bytes(data, data + size);
  if (!bytes.empty()) bytes[0] = 0x47;
  quarlin::fuzz::exerciseOrAbort(bytes, quarlin::fuzz::fuzzOptions());
  return 0;
}
