#include "tests/robustness/session_exerciser.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "quarlin/quarlin.h"
#include "tests/support/exported_session.h"
#include "tests/support/frame_host.h"
#include "tests/support/guarded_plane.h"
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
  std::vector<int32_t> frames;        // indexed display numbers, ascending
  std::vector<int32_t> absent;        // numbers the index may not hold
  std::vector<int32_t> dependencies;  // result, forward, backward per frame, then per absent number
};

// One file's run through the exports; every broken promise goes to `report`.
struct Exercise {
  const char16_t* path;
  const ExerciseOptions& options;
  ExerciseReport& report;

  DecoderSession* open(const std::vector<uint8_t>* seekData, int32_t& result) {
    DecoderSession* session = nullptr;
    const void* block = seekData && !seekData->empty() ? seekData->data() : nullptr;
    const auto size = static_cast<int32_t>(seekData ? seekData->size() : 0);
    result = Quarlin_OpenFile(reinterpret_cast<const uint16_t*>(path), &testHostServices(), block, size, &session);
    if (!oneOf(result, {0, -1, -2, -3, -4})) report.problem(text("OpenFile", result));
    if (result != 0 && result != -4) return nullptr;
    if (!session) report.problem(text("OpenFile", result) + " without a handle");
    return session;
  }

  // Index slices until the index is complete or the scan fails, within a bound.
  int32_t indexToEnd(DecoderSession* s) {
    int32_t result = -4;
    for (int32_t calls = 0; result == -4; ++calls) {
      if (calls == options.maxIndexCalls) {
        report.problem("indexing did not end after " + std::to_string(calls) + " IndexFile calls");
        return result;
      }
      float progress = -1.0f;
      result = Quarlin_IndexFile(s, &progress);
      if (!oneOf(result, {0, -3, -4})) report.problem(text("IndexFile", result));
      if (result == 0 && progress != 1.0f)
        report.problem("IndexFile completed with progress " + std::to_string(progress));
      if ((result == 0 || result == -4) && !(progress >= 0.0f && progress <= 1.0f))
        report.problem("IndexFile progress " + std::to_string(progress) + " outside 0..1");
    }
    return result;
  }

  // While the index is incomplete the frame-level exports refuse with -4.
  void checkIncompleteRefusals(DecoderSession* s, const char* when) {
    std::vector<uint8_t> block;
    if (const int32_t r = test::copySeekData(s, block); r != -4)
      report.problem(std::string(when) + ": " + text("GetSeekData", r));
    int32_t forward = 0, backward = 0;
    if (const int32_t r = Quarlin_GetFrameDependancies(s, 0, &forward, &backward); r != -4)
      report.problem(std::string(when) + ": " + text("GetFrameDependancies", r));
    const test::GuardedPlane plane(16, 0);
    PlaneSet planes{};
    planes.y.address = planes.cb.address = planes.cr.address = plane.data();
    if (const int32_t r = Quarlin_GetFrame(s, 0, &planes, &planes, &planes, 0, 0); r != -4)
      report.problem(std::string(when) + ": " + text("GetFrame", r));
    if (std::count(plane.data(), plane.data() + 16, 0) != 16)
      report.problem(std::string(when) + ": GetFrame wrote to the planes");
    FileInfo info{};
    if (const int32_t r = Quarlin_GetFileInfo(s, &info); r != 0) report.problem(text("GetFileInfo", r));
    if (info.frameCount != 0) report.problem(std::string(when) + ": an incomplete index reports frames");
  }

  SessionFacts readFacts(DecoderSession* s) {
    SessionFacts f;
    if (const int32_t r = Quarlin_GetFileInfo(s, &f.info); r != 0) report.problem(text("GetFileInfo", r));
    if (const int32_t r = Quarlin_GetStartFrameOffset(s, &f.start[0], &f.start[1]); r != 0)
      report.problem(text("GetStartFrameOffset", r));
    if (f.start[0] < 0 || f.start[0] != f.start[1])
      report.problem("start frame offsets " + std::to_string(f.start[0]) + ", " + std::to_string(f.start[1]));
    if (const int32_t r = Quarlin_GetFrameSizes(s, &f.sizes[0], &f.sizes[1]); r != 0)
      report.problem(text("GetFrameSizes", r));
    if (const int32_t r = test::copySeekData(s, f.seekData); r != 0)
      report.problem(text("GetSeekData", r) + " on a complete index");
    for (const test::SeekDataEntry& entry : test::seekDataEntries(f.seekData)) f.frames.push_back(entry.number);
    // The stream part, the entries, then S coding states.
    using namespace test::seekdata;
    const size_t states = kStreamPart + kHeader + kEntry * f.frames.size() + kStateCount;
    uint32_t stateCount = 0;
    if (f.seekData.size() >= states) std::memcpy(&stateCount, &f.seekData[states - kStateCount], 4);
    if (f.seekData.size() != states + kState * uint64_t{stateCount})
      report.problem("seek data of " + std::to_string(f.seekData.size()) + " bytes");
    report.entries = static_cast<int32_t>(f.frames.size());
    std::sort(f.frames.begin(), f.frames.end());
    // Frame numbers the index may not hold: both ends of the range and beyond.
    const int32_t count = static_cast<int32_t>(std::min<uint32_t>(f.info.frameCount, INT_MAX));
    const int32_t afterLast = f.frames.empty() || f.frames.back() == INT_MAX ? 0 : f.frames.back() + 1;
    f.absent = {afterLast, -1, INT_MIN, INT_MAX, count, count - 1};
    std::vector<int32_t> asked = f.frames;
    asked.insert(asked.end(), f.absent.begin(), f.absent.end());
    for (int32_t frame : asked) {
      int32_t forward = -7, backward = -7;
      const int32_t result = Quarlin_GetFrameDependancies(s, frame, &forward, &backward);
      if (!oneOf(result, {0, -5})) report.problem(text("GetFrameDependancies", result));
      if (result == -5 && (forward != -1 || backward != -1))
        report.problem("GetFrameDependancies(" + std::to_string(frame) + ") returned -5 without -1 outputs");
      f.dependencies.insert(f.dependencies.end(), {result, forward, backward});
    }
    return f;
  }

  // The index-derived answers must come back unchanged. The geometry may
  // not: the open sequence applies a sequence header that directly follows
  // the first one only when it scans the file, not when seek data restores
  // the index, so a damaged file with two such headers can report either.
  void compareFacts(const SessionFacts& first, const SessionFacts& again) {
    if (again.info.frameCount != first.info.frameCount)
      report.problem("the reopened session reports " + std::to_string(again.info.frameCount) + " frames, the first " +
                      std::to_string(first.info.frameCount));
    if (again.start[0] != first.start[0]) report.problem("the reopened session reports another start offset");
    if (again.frames != first.frames || again.dependencies != first.dependencies)
      report.problem("the reopened session reports other dependencies");
    if (again.seekData != first.seekData) report.problem("the reopened session gives other seek data");
  }

  // Opens the file again with its own seek data: the index comes back without
  // a scan and gives the same answers (decoding from seek data is the
  // equivalence test's route and the seek-data fuzz target's).
  void reopen(const SessionFacts& first) {
    int32_t result = 0;
    DecoderSession* s = open(&first.seekData, result);
    if (result != 0 || !s) report.problem("reopening with the file's own seek data: " + text("OpenFile", result));
    if (result == 0 && s) compareFacts(first, readFacts(s));
    if (s) close(s);
  }

  void close(DecoderSession* s) {
    if (const int32_t r = Quarlin_CloseFile(s); r != 0) report.problem(text("CloseFile", r));
  }
};

}  // namespace

void ExerciseReport::frameRequest(int32_t frame, int scale, int32_t result) {
  ++frameRequests;
  framesDecoded += result == 0;
  if (!oneOf(result, {0, -3, -5}))
    problem("GetFrame(" + std::to_string(frame) + ", " + tool::scaleName(test::kAllScales[scale]) + ") returned " +
            std::to_string(result));
}

std::string ExerciseReport::summary() const {
  std::string s = "open " + std::to_string(openResult) + ", index " + std::to_string(indexResult) + ", " +
                  std::to_string(entries) + " entries, " + std::to_string(framesDecoded) + "/" +
                  std::to_string(frameRequests) + " frames decoded";
  for (const std::string& p : problems) s += "\n  " + p;
  return s;
}

int32_t checkedGetFrame(DecoderSession* session, int32_t frame, const tool::Picture* forward,
                        const tool::Picture* backward, const tool::Picture& output, int scale, ExerciseReport& report) {
  const int32_t result = test::HostDecoder(session).decode(frame, forward ? forward->planeSet() : PlaneSet{},
                                                          backward ? backward->planeSet() : PlaneSet{},
                                                          output.planeSet(), test::kAllScales[scale]);
  report.frameRequest(frame, scale, result);
  return result;
}

void decodeServed(const IndexedSession& s, int scale, const std::vector<int32_t>& frames, ExerciseReport& report,
                  size_t budgetBytes) {
  test::HostDecoder decoder(s.session);
  const auto server = test::guardedServer(decoder, test::kAllScales[scale], true, budgetBytes);
  for (const int32_t frame : frames) {
    try {
      server->frame(frame);
    } catch (const tool::FrameError&) {  // a frame the index does not hold
    }
  }
  for (const test::HostDecoder::Call& call : decoder.calls) report.frameRequest(call.frame, scale, call.result);
}

DecodePlan everyFrame() {
  return [](const IndexedSession& s, ExerciseReport& report) {
    std::vector<int32_t> asked(s.frames.begin(), s.frames.begin() + std::min<size_t>(s.frames.size(), 400));
    asked.insert(asked.end(), {s.absent[0], -1});  // past the last indexed frame, and before the first
    decodeServed(s, 0, asked, report);
  };
}

ExerciseReport exerciseFile(const char16_t* path, const ExerciseOptions& options,
                            const std::vector<uint8_t>* seekData) {
  ExerciseReport report;
  // As a host's memory manager does: fresh memory for the 750000-byte block
  // the library takes for every open and frame request costs a fuzzing run
  // a third to a half more processor time under AddressSanitizer.
  test::testHostRecycleLargeBlocks();
  const int64_t liveBefore = testHostLiveAllocations();
  const int64_t misuseBefore = testHostMisuseCount();
  {
    Exercise exercise{path, options, report};
    DecoderSession* s = exercise.open(seekData, report.openResult);
    report.indexResult = report.openResult;
    if (s) {
      if (report.openResult == -4) {
        exercise.checkIncompleteRefusals(s, "after an open that left the index incomplete");
        report.indexResult = exercise.indexToEnd(s);
      }
      if (report.indexResult == 0) {
        const SessionFacts facts = exercise.readFacts(s);
        if (options.decode) options.decode(IndexedSession{s, facts.frames, facts.absent}, report);
        exercise.close(s);
        if (options.reopenWithSeekData && !facts.seekData.empty()) exercise.reopen(facts);
      } else {
        exercise.checkIncompleteRefusals(s, "after indexing failed");
        exercise.close(s);
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
