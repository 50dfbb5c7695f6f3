// Shared by the fuzz targets: the libFuzzer entry point each defines, the
// request script that bounds what one input costs, and the run of one input
// through the exports with every promise checked. A broken promise prints
// the exerciser's report and aborts, which libFuzzer records as a crash and
// the replay test as a failure.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/robustness/session_exerciser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace quarlin::fuzz {

// Longer inputs are ignored: they only repeat what shorter ones exercise.
constexpr size_t kMaxInput = 64 * 1024;

// The frame a selector byte names: below 0xF8 an indexed frame (the values
// spread over the whole index in display order), from 0xF8 on a number the
// index does not hold.
int32_t chosenFrame(const robust::IndexedSession& session, uint8_t selector);

// The request script that leads the inputs of the stream and seek-data
// targets: the whole file is indexed, but only three frames are requested.
//   byte 0, bits 0-1: the scale (0 full, 1 half width, 2 quarter, 3 full)
//           bit 2: each frame after its references, as the tool's frame
//                  server asks for them; else with its references missing
//           bit 3: the file is opened again with the session's own seek
//                  data, which must give the same answers
//           bits 4-7: the target's own (seek data: the stream)
//   bytes 1-3: the frames requested (chosenFrame)
constexpr size_t kScriptBytes = 4;
robust::ExerciseOptions scriptedOptions(const uint8_t* script);

// One stream target's input: the script, then the file after its first
// bytes, `lead` in every input so that each is read as the target's kind.
int exerciseStreamInput(const uint8_t* data, size_t size, const std::vector<uint8_t>& lead);

// The tiny streams of streams/ (README.md), one for each decoding path;
// the seek-data target opens the first three.
extern const char* const kStreams[8];
std::string streamPath(const char* file);

// Exercises `bytes` written to a file on tmpfs, or the existing file at
// `existingPath`, with `seekData` when given; aborts on a broken promise.
void exerciseOrAbort(const std::vector<uint8_t>& bytes, const robust::ExerciseOptions& options,
                     const std::vector<uint8_t>* seekData = nullptr, const std::string& existingPath = {});

}  // namespace quarlin::fuzz
