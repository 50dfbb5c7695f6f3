#include "tests/fuzz/fuzz_target.h"

#include <array>
#include <cstdio>
#include <cstdlib>

#include "tests/support/corpus.h"
#include "tests/support/exported_session.h"
#include "tests/support/test_host.h"

namespace quarlin::fuzz {

namespace {

// One session stays open for the life of the process, as in a host with a
// project open, so what the library sets up for its first session and tears
// down after its last (decoding tables, a thread) is set up only once. It
// is closed when the process ends, so the leak check finds nothing.
void holdOneSessionOpen() { static const test::ExportedSession held(streamPath(kStreams[0]), {}, false); }

}  // namespace

int32_t chosenFrame(const robust::IndexedSession& session, uint8_t selector) {
  constexpr uint32_t kIndexed = 0xF8;
  if (selector < kIndexed && !session.frames.empty())
    return session.frames[selector * session.frames.size() / kIndexed];
  return session.absent[selector % session.absent.size()];
}

robust::ExerciseOptions scriptedOptions(const uint8_t* script) {
  robust::ExerciseOptions options;
  options.maxIndexCalls = 4000;
  std::array<uint8_t, kScriptBytes> s;
  std::copy(script, script + kScriptBytes, s.begin());
  options.decode = [s](const robust::IndexedSession& session, robust::ExerciseReport& report) {
    const int scale = (s[0] & 3) % 3;
    std::vector<int32_t> frames;
    for (size_t i = 1; i < kScriptBytes; ++i) frames.push_back(chosenFrame(session, s[i]));
    if (s[0] & 4) return robust::decodeServed(session, scale, frames, report, size_t{64} << 20);
    for (const int32_t frame : frames)
      robust::checkedGetFrame(session.session, frame, nullptr, nullptr, *robust::freshPicture(session), scale, report);
  };
  options.reopenWithSeekData = (s[0] & 8) != 0;
  return options;
}

int exerciseStreamInput(const uint8_t* data, size_t size, const std::vector<uint8_t>& lead) {
  if (size < kScriptBytes || size > kMaxInput) return 0;
  std::vector<uint8_t> file = lead;
  file.insert(file.end(), data + kScriptBytes, data + size);
  exerciseOrAbort(file, scriptedOptions(data));
  return 0;
}

// What each holds: README.md.
const char* const kStreams[8] = {"two-sequences.m2v", "program-stream.vob", "transport-stream.ts", "fields-tff.m2v",
                                 "fields-bff.m2v",    "dual-prime.m2v",     "interlaced.m2v",      "odd-size.m2v"};

std::string streamPath(const char* file) { return std::string(QUARLIN_FUZZ_STREAMS) + "/" + file; }

void exerciseOrAbort(const std::vector<uint8_t>& bytes, const robust::ExerciseOptions& options,
                     const std::vector<uint8_t>* seekData, const std::string& existingPath) {
  holdOneSessionOpen();
  const robust::ExerciseReport report = [&] {
    if (!existingPath.empty()) return robust::exerciseFile(u16(existingPath).c_str(), options, seekData);
    const TempFile file(test::memoryFolder(), bytes);  // thousands of short-lived files: kept off the disk
    return robust::exerciseFile(file.u16path(), options, seekData);
  }();
  if (report.problems.empty()) return;
  std::fprintf(stderr, "broken promise: %s\n", report.summary().c_str());
  std::abort();
}

}  // namespace quarlin::fuzz
