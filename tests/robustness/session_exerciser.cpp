#include "tests/robustness/session_exerciser.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "quarlin/quarlin.h"
#include "tests/robustness/reference_decoder.h"
#include "tests/support/test_host.h"

namespace quarlin::robust {

namespace {

std::string text(const char* call, int32_t result) { return std::string(call) + " returned " + std::to_string(result); }

bool oneOf(int32_t value, std::initializer_list<int32_t> allowed) {
  return std::find(allowed.begin(), allowed.end(), value) != allowed.end();
}

// Everything learnt about an open session that a second one must repeat.
struct SessionFacts {
  FileInfo info{};
  int32_t start[2] = {0, 0};
  int32_t sizes[2] = {0, 0};
  std::vector<uint8_t> seekData;
  std::vector<int32_t> frames;       // frames whose answers are compared
  std::vector<int32_t> dependencies;  // result, forward, backward per frame
};

class Exercise {
 public:
  Exercise(const char16_t* path, const ExerciseOptions& options, ExerciseReport& report)
      : path_(path), options_(options), report_(report) {}

  DecoderSession* open(const std::vector<uint8_t>* seekData, int32_t& result);
  int32_t indexToEnd(DecoderSession* s);
  void checkIncompleteRefusals(DecoderSession* s, const char* when);
  SessionFacts readFacts(DecoderSession* s);
  void decodeAllScales(DecoderSession* s, const SessionFacts& facts);
  void reopen(const SessionFacts& first);

 private:
  PlaneSizes planeSizes(const SessionFacts& facts) const {
    return hostPlaneSizes(facts.sizes[0], facts.sizes[1], facts.info.height, facts.info.stride,
                          facts.info.progressive != 0);
  }
  void compareFacts(const SessionFacts& first, const SessionFacts& again);

  const char16_t* path_;
  const ExerciseOptions& options_;
  ExerciseReport& report_;
};

DecoderSession* Exercise::open(const std::vector<uint8_t>* seekData, int32_t& result) {
  DecoderSession* session = nullptr;
  const void* block = seekData && !seekData->empty() ? seekData->data() : nullptr;
  const auto size = static_cast<int32_t>(seekData ? seekData->size() : 0);
  result = Quarlin_OpenFile(reinterpret_cast<const uint16_t*>(path_), &testHostServices(), block, size, &session);
  if (!oneOf(result, {0, -1, -2, -3, -4})) report_.problem(text("OpenFile", result));
  if (result != 0 && result != -4) return nullptr;
  if (!session) report_.problem(text("OpenFile", result) + " without a handle");
  return session;
}

// Index slices until the index is complete or the scan fails, within a bound.
int32_t Exercise::indexToEnd(DecoderSession* s) {
  int32_t result = -4;
  for (int32_t calls = 0; result == -4; ++calls) {
    if (calls == options_.maxIndexCalls) {
      report_.problem("indexing did not end after " + std::to_string(calls) + " IndexFile calls");
      return result;
    }
    float progress = -1.0f;
    result = Quarlin_IndexFile(s, &progress);
    if (!oneOf(result, {0, -3, -4})) report_.problem(text("IndexFile", result));
    if (result == 0 && progress != 1.0f) report_.problem("IndexFile completed with progress " + std::to_string(progress));
    if ((result == 0 || result == -4) && !(progress >= 0.0f && progress <= 1.0f))
      report_.problem("IndexFile progress " + std::to_string(progress) + " outside 0..1");
  }
  return result;
}

// While the index is incomplete the frame-level exports refuse with -4.
void Exercise::checkIncompleteRefusals(DecoderSession* s, const char* when) {
  void* data = nullptr;
  int32_t size = 0;
  if (const int32_t r = Quarlin_GetSeekData(s, &data, &size); r != -4) {
    report_.problem(std::string(when) + ": " + text("GetSeekData", r));
    if (r == 0) Quarlin_FreeSeekData(data);
  }
  int32_t forward = 0, backward = 0;
  if (const int32_t r = Quarlin_GetFrameDependancies(s, 0, &forward, &backward); r != -4)
    report_.problem(std::string(when) + ": " + text("GetFrameDependancies", r));
  GuardedPicture output(PlaneSizes{16, 16}, 0);
  const PlaneSet planes = output.planeSet();
  if (const int32_t r = Quarlin_GetFrame(s, 0, &planes, &planes, &planes, 0, 0); r != -4)
    report_.problem(std::string(when) + ": " + text("GetFrame", r));
  if (!output.damagedGuards().empty()) report_.problem(std::string(when) + ": GetFrame wrote to the planes");
  FileInfo info{};
  if (const int32_t r = Quarlin_GetFileInfo(s, &info); r != 0) report_.problem(text("GetFileInfo", r));
  if (info.frameCount != 0) report_.problem(std::string(when) + ": an incomplete index reports frames");
}

SessionFacts Exercise::readFacts(DecoderSession* s) {
  SessionFacts f;
  if (const int32_t r = Quarlin_GetFileInfo(s, &f.info); r != 0) report_.problem(text("GetFileInfo", r));
  if (const int32_t r = Quarlin_GetStartFrameOffset(s, &f.start[0], &f.start[1]); r != 0)
    report_.problem(text("GetStartFrameOffset", r));
  if (f.start[0] < 0 || f.start[0] != f.start[1])
    report_.problem("start frame offsets " + std::to_string(f.start[0]) + ", " + std::to_string(f.start[1]));
  if (const int32_t r = Quarlin_GetFrameSizes(s, &f.sizes[0], &f.sizes[1]); r != 0)
    report_.problem(text("GetFrameSizes", r));
  // The sizes and the stride follow from the coded size alone.
  const uint32_t luma = f.info.width * (f.info.height + 128);
  if (f.sizes[0] != static_cast<int32_t>(luma) || f.sizes[1] != static_cast<int32_t>(luma) / 4)
    report_.problem("GetFrameSizes gave " + std::to_string(f.sizes[0]) + " and " + std::to_string(f.sizes[1]) +
                    " for " + std::to_string(f.info.width) + "x" + std::to_string(f.info.height));
  if (f.info.stride != ((f.info.width + 127) & ~127u))
    report_.problem("stride " + std::to_string(f.info.stride) + " for width " + std::to_string(f.info.width));
  void* data = nullptr;
  int32_t size = 0;
  const int32_t r = Quarlin_GetSeekData(s, &data, &size);
  if (r != 0) {
    report_.problem(text("GetSeekData", r) + " on a complete index");
  } else {
    f.seekData.assign(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
    Quarlin_FreeSeekData(data);
  }
  f.frames = seekDataDisplayNumbers(f.seekData);
  if (size != 40 + 32 * static_cast<int32_t>(f.frames.size()))
    report_.problem("seek data of " + std::to_string(size) + " bytes");
  report_.entries = static_cast<int32_t>(f.frames.size());
  std::sort(f.frames.begin(), f.frames.end());
  // Frame numbers the index may not hold: both ends of the range and beyond.
  const int32_t count = static_cast<int32_t>(std::min<uint32_t>(f.info.frameCount, INT_MAX));
  const int32_t afterLast = f.frames.empty() || f.frames.back() == INT_MAX ? 0 : f.frames.back() + 1;
  for (int32_t probe : {-1, INT_MIN, INT_MAX, count, count - 1, afterLast})
    f.frames.push_back(probe);
  for (int32_t frame : f.frames) {
    int32_t forward = -7, backward = -7;
    const int32_t result = Quarlin_GetFrameDependancies(s, frame, &forward, &backward);
    if (!oneOf(result, {0, -5})) report_.problem(text("GetFrameDependancies", result));
    if (result == -5 && (forward != -1 || backward != -1))
      report_.problem("GetFrameDependancies(" + std::to_string(frame) + ") returned -5 without -1 outputs");
    f.dependencies.insert(f.dependencies.end(), {result, forward, backward});
  }
  return f;
}

void Exercise::decodeAllScales(DecoderSession* s, const SessionFacts& facts) {
  const PlaneSizes sizes = planeSizes(facts);
  const size_t indexed = facts.frames.size() - 6;  // the probes follow the entries
  for (int32_t k = 0; k < options_.scales && k < 3; ++k) {
    ReferenceDecoder decoder(s, sizes, kScaleOptions[k], options_.cacheBudgetBytes, report_);
    const size_t n = std::min<size_t>(indexed, static_cast<size_t>(options_.maxFramesPerScale));
    for (size_t i = 0; i < n; ++i) decoder.decode(facts.frames[i]);
    // One frame beyond the index and one before it.
    decoder.decode(facts.frames.back());
    decoder.decode(-1);
  }
}

// The index-derived answers must come back unchanged. The geometry may
// not: the open sequence applies a sequence header that directly follows
// the first one only when it scans the file, not when seek data restores
// the index, so a damaged file with two such headers can report either.
void Exercise::compareFacts(const SessionFacts& first, const SessionFacts& again) {
  if (again.info.frameCount != first.info.frameCount)
    report_.problem("the reopened session reports " + std::to_string(again.info.frameCount) + " frames, the first " +
                    std::to_string(first.info.frameCount));
  if (again.start[0] != first.start[0]) report_.problem("the reopened session reports another start offset");
  if (again.frames != first.frames || again.dependencies != first.dependencies)
    report_.problem("the reopened session reports other dependencies");
  if (again.seekData != first.seekData) report_.problem("the reopened session gives other seek data");
}

// Opens the file again with its own seek data: the index comes back without
// a scan, gives the same answers, and frames decode from it.
void Exercise::reopen(const SessionFacts& first) {
  int32_t result = 0;
  DecoderSession* s = open(&first.seekData, result);
  if (!s) {
    report_.problem("reopening with the file's own seek data: " + text("OpenFile", result));
    return;
  }
  if (result != 0) report_.problem("reopening with the file's own seek data: " + text("OpenFile", result));
  if (result == 0) {
    const SessionFacts again = readFacts(s);
    compareFacts(first, again);
    // Planes sized by this session's own answers.
    ReferenceDecoder decoder(s, planeSizes(again), kScaleOptions[0], options_.cacheBudgetBytes, report_);
    const size_t indexed = first.frames.size() - 6;
    const size_t n = std::min<size_t>(indexed, static_cast<size_t>(options_.framesAfterReopen));
    for (size_t i = 0; i < n; ++i) decoder.decode(first.frames[i]);
  }
  if (const int32_t r = Quarlin_CloseFile(s); r != 0) report_.problem(text("CloseFile", r));
}

}  // namespace

std::string ExerciseReport::summary() const {
  std::string s = "open " + std::to_string(openResult) + ", index " + std::to_string(indexResult) + ", " +
                  std::to_string(entries) + " entries, " + std::to_string(framesDecoded) + "/" +
                  std::to_string(frameRequests) + " frames decoded";
  for (const std::string& p : problems) s += "\n  " + p;
  return s;
}

std::vector<int32_t> seekDataDisplayNumbers(const std::vector<uint8_t>& block) {
  std::vector<int32_t> numbers;
  for (size_t p = 24 + 16; p + 32 <= block.size(); p += 32) {
    int32_t n;
    std::memcpy(&n, &block[p + 12], 4);
    numbers.push_back(n);
  }
  return numbers;
}

ExerciseReport exerciseFile(const char16_t* path, const ExerciseOptions& options,
                            const std::vector<uint8_t>* seekData) {
  ExerciseReport report;
  const int64_t liveBefore = testHostLiveAllocations();
  const int64_t misuseBefore = testHostMisuseCount();
  {
    Exercise exercise(path, options, report);
    DecoderSession* s = exercise.open(seekData, report.openResult);
    report.indexResult = report.openResult;
    if (s) {
      if (report.openResult == -4) {
        exercise.checkIncompleteRefusals(s, "after an open that left the index incomplete");
        report.indexResult = exercise.indexToEnd(s);
      }
      if (report.indexResult == 0) {
        const SessionFacts facts = exercise.readFacts(s);
        exercise.decodeAllScales(s, facts);
        if (const int32_t r = Quarlin_CloseFile(s); r != 0) report.problem(text("CloseFile", r));
        if (options.reopenWithSeekData && !facts.seekData.empty()) exercise.reopen(facts);
      } else {
        exercise.checkIncompleteRefusals(s, "after indexing failed");
        if (const int32_t r = Quarlin_CloseFile(s); r != 0) report.problem(text("CloseFile", r));
      }
    }
  }
  if (const int64_t live = testHostLiveAllocations(); live != liveBefore)
    report.problem(std::to_string(live - liveBefore) + " host allocations still live after close");
  if (const int64_t misuse = testHostMisuseCount(); misuse != misuseBefore)
    report.problem(std::to_string(misuse - misuseBefore) + " misuses of the host's tables");
  return report;
}

}  // namespace quarlin::robust
