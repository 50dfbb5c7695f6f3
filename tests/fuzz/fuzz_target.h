// Shared by the fuzz targets: the libFuzzer entry point each defines, and the
// run of one input through the exports with every promise checked. A broken
// promise prints the exerciser's report and aborts, which libFuzzer records
// as a crash and the replay test as a failure.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/robustness/session_exerciser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace quarlin::fuzz {

// Inputs longer than this are ignored: a larger file only repeats what a
// smaller one exercises, and costs time.
constexpr size_t kMaxStreamInput = 128 * 1024;

// What a fuzz input costs at most: a few frames at each scale.
robust::ExerciseOptions fuzzOptions();

// Writes `bytes` to a file on tmpfs, exercises it (with `seekData` when
// given) and aborts on a broken promise.
void exerciseOrAbort(const std::vector<uint8_t>& bytes, const robust::ExerciseOptions& options,
                     const std::vector<uint8_t>* seekData = nullptr, const std::string& existingPath = {});

}  // namespace quarlin::fuzz
