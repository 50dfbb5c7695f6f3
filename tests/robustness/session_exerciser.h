// Drives one file through every export the way a careful host would, and
// records each answer that breaks the interface's promises: a result code
// outside the documented set, an allocation of the host's memory still live
// after close, indexing that does not end within its bound. Used by the
// robustness test and by the fuzz targets, so it reports instead of
// asserting; a byte written outside a host plane faults or aborts at once
// (the planes are guarded: tests/support/guarded_plane.h).
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "quarlin/quarlin.h"
#include "tests/support/frame_host.h"

namespace quarlin::robust {

struct ExerciseReport {
  std::vector<std::string> problems;  // empty when every promise held
  int32_t openResult = 0;
  int32_t indexResult = 0;  // the last IndexFile result (the open's when it completed)
  int32_t entries = 0;      // pictures in the finished index
  int32_t frameRequests = 0;
  int32_t framesDecoded = 0;  // requests that returned 0

  void problem(const std::string& what) { problems.push_back(what); }
  // Counts a GetFrame request at `scale` (as below) whose result must be 0, -3 or -5.
  void frameRequest(int32_t frame, int scale, int32_t result);
  std::string summary() const;
};

// A session whose index is complete, as the frame requests see it.
struct IndexedSession {
  DecoderSession* session = nullptr;
  std::vector<int32_t> frames;  // indexed display numbers, ascending
  std::vector<int32_t> absent;  // numbers the index does not hold: both ends of its range and beyond
};

// The frame requests made through a session once its index is complete.
using DecodePlan = std::function<void(const IndexedSession&, ExerciseReport&)>;

// A picture of the planes a host gives, guarded, starting as 0x5A so that
// decoded and undecoded areas differ (tests/support/frame_host.h).
inline std::shared_ptr<tool::Picture> freshPicture(const IndexedSession& s) {
  return test::guardedPicture(test::HostDecoder(s.session));
}

// Quarlin_GetFrame of `frame` at scale `scale` (0 full, 1 half width, 2
// quarter) into `output`, predicting from `forward` and
// `backward` (null: a record of null addresses; any may be `output` itself),
// checked: the result is one a complete index allows (0, -3, -5).
int32_t checkedGetFrame(DecoderSession* session, int32_t frame, const tool::Picture* forward,
                        const tool::Picture* backward, const tool::Picture& output, int scale, ExerciseReport& report);

// `frames` at scale `scale` (0 full, 1 half width, 2 quarter) as the tool
// serves them: each after its references, decoded pictures kept up to
// `budgetBytes`, every plane guarded; every result is checked.
void decodeServed(const IndexedSession& session, int scale, const std::vector<int32_t>& frames,
                  ExerciseReport& report, size_t budgetBytes = size_t{192} << 20);

// A careful host's requests at full scale: the first 400 indexed frames in
// display order, each after its references, then a frame past the index and
// one before it.
DecodePlan everyFrame();

struct ExerciseOptions {
  int32_t maxIndexCalls = 20000;  // Quarlin_IndexFile calls before indexing counts as endless
  DecodePlan decode = everyFrame();
  bool reopenWithSeekData = true;  // open again with the index's own seek data
};

// `path` is NUL-terminated UTF-16. `seekData` (may be null) is handed to the
// first open.
ExerciseReport exerciseFile(const char16_t* path, const ExerciseOptions& options,
                            const std::vector<uint8_t>* seekData = nullptr);

}  // namespace quarlin::robust
