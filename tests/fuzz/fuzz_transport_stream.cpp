// Fuzz target: transport streams. After the request script the input is the
// file, its first byte the sync byte 0x47 in every input so that each is
// demultiplexed as a transport stream.
#include "tests/fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return quarlin::fuzz::exerciseStreamInput(data, size, {0x47});
}
