// Drives one file through every export the way a careful host would, and
// records each answer that breaks the interface's promises: a result code
// outside the documented set, a guard byte changed around a plane, an
// allocation of the host's memory still live after close, indexing that
// does not end within its bound. Used by the robustness test and by the
// fuzz targets, so it reports instead of asserting.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quarlin::robust {

struct ExerciseOptions {
  int32_t maxIndexCalls = 20000;   // Quarlin_IndexFile calls before indexing counts as endless
  int32_t maxFramesPerScale = 400;  // frames requested at each scale
  int32_t scales = 3;               // Full, then HalfWidth, then Quarter
  bool reopenWithSeekData = true;   // open again with the index's own seek data
  int32_t framesAfterReopen = 8;    // frames decoded through the reopened session
  size_t cacheBudgetBytes = size_t{192} << 20;  // decoded pictures kept as references
};

struct ExerciseReport {
  std::vector<std::string> problems;  // empty when every promise held
  int32_t openResult = 0;
  int32_t indexResult = 0;  // the last IndexFile result (the open's when it completed)
  int32_t entries = 0;      // pictures in the finished index
  int32_t frameRequests = 0;
  int32_t framesDecoded = 0;  // requests that returned 0

  void problem(const std::string& what) { problems.push_back(what); }
  std::string summary() const;
};

// `path` is NUL-terminated UTF-16. `seekData` (may be null) is handed to the
// first open.
ExerciseReport exerciseFile(const char16_t* path, const ExerciseOptions& options,
                            const std::vector<uint8_t>* seekData = nullptr);

// Display numbers of a seek-data block's entries (version 3, as written by
// Quarlin_GetSeekData), in block order.
std::vector<int32_t> seekDataDisplayNumbers(const std::vector<uint8_t>& block);

}  // namespace quarlin::robust
