// Drives one file through every export the way a careful host would, and
// records each answer that breaks the interface's promises: a result code
// outside the documented set, a guard byte changed around a plane, an
// allocation of the host's memory still live after close, indexing that
// does not end within its bound. Used by the robustness test and by the
// fuzz targets, so it reports instead of asserting.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "quarlin/quarlin.h"
#include "tests/robustness/guarded_planes.h"

namespace quarlin::robust {

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

// A session whose index is complete, as the frame requests see it.
struct IndexedSession {
  DecoderSession* session = nullptr;
  PlaneSizes sizes;             // of the host's planes, from the session's answers
  std::vector<int32_t> frames;  // indexed display numbers, ascending
  std::vector<int32_t> absent;  // numbers the index does not hold: both ends of its range and beyond
};

// The frame requests made through a session once its index is complete.
using DecodePlan = std::function<void(const IndexedSession&, ExerciseReport&)>;

// A careful host's requests: at each of the first `scales` scales (full,
// half width, quarter), the first `frames` indexed frames in display order,
// each after its references, then a frame past the index and one before it.
DecodePlan everyFrame(int32_t scales = 3, int32_t frames = 400);

struct ExerciseOptions {
  int32_t maxIndexCalls = 20000;  // Quarlin_IndexFile calls before indexing counts as endless
  DecodePlan decode = everyFrame();
  bool reopenWithSeekData = true;  // open again with the index's own seek data
  DecodePlan decodeAfterReopen = everyFrame(1, 8);  // through the reopened session (none when empty)
};

// `path` is NUL-terminated UTF-16. `seekData` (may be null) is handed to the
// first open.
ExerciseReport exerciseFile(const char16_t* path, const ExerciseOptions& options,
                            const std::vector<uint8_t>* seekData = nullptr);

}  // namespace quarlin::robust
