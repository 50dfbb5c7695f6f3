// Fuzz target: video elementary streams. After the request script the input
// is the file, its first four bytes a sequence header start code in every
// input so that each is read as an elementary stream.
#include "tests/fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return quarlin::fuzz::exerciseStreamInput(data, size, {0x00, 0x00, 0x01, 0xB3});
}
