// Fuzz target: program streams. After the request script the input is the
// file, its first four bytes a pack start code in every input so that each
// is demultiplexed as a program stream.
#include "tests/fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return quarlin::fuzz::exerciseStreamInput(data, size, {0x00, 0x00, 0x01, 0xBA});
}
