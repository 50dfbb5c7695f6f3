// Fuzz target: seek data. After the request script (whose first byte's bits
// 4-5 choose one of three streams: an elementary stream with two sequences,
// a program stream, a transport stream) the input is the seek-data block
// handed to the open of that undamaged file. The session then answers
// queries and decodes frames from whatever index the block gave (or from
// the scan it fell back to), and a second open with the session's own seek
// data must give the same answers, whatever the script's bit 3.
#include "tests/fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quarlin::fuzz;
  if (size < kScriptBytes || size > kMaxInput) return 0;
  const std::vector<uint8_t> block(data + kScriptBytes, data + size);
  quarlin::robust::ExerciseOptions options = scriptedOptions(data);
  options.reopenWithSeekData = true;
  exerciseOrAbort({}, options, &block, streamPath(kStreams[((data[0] >> 4) & 3) % 3]));
  return 0;
}
