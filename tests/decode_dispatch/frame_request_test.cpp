// The rules of a frame request: refusal while indexing, frames that cannot
// be found (outside the index, or changed in the file since it was indexed),
// the reference planes a request reads, repeatability, and the host blocks
// that every request gives back.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <random>

#include "decode/frame_request.h"
#include "tests/decode_dispatch/dispatch_harness.h"
#include "tests/support/temp_file.h"
#include "tests/support/test_host.h"

namespace quarlin::dispatchtest {
namespace {

// Runs one request and checks its result and that it gave back every host
// block it took, and misused none.
void expectRequestReleases(const std::string& what, int32_t expected, const std::function<int32_t()>& request) {
  const int64_t live = testHostLiveAllocations();
  const int64_t misuses = testHostMisuseCount();
  EXPECT_EQ(request(), expected) << what;
  EXPECT_EQ(testHostLiveAllocations(), live) << what << ": host blocks kept after the request";
  EXPECT_EQ(testHostMisuseCount(), misuses) << what;
}

// es-long-gop.m2v: 120 pictures in two groups; the open's first index slice
// stops after 3 I-pictures, long before the end.
const char kLongStream[] = "es-long-gop.m2v";
// es-ip-only.m2v: 25 pictures, coded order is display order.
const char kIpStream[] = "es-ip-only.m2v";

TEST(IncompleteIndex, RequestIsRefusedAndChangesNothing) {
  TestSession session(streamPath(kLongStream), /*indexToEnd=*/false);
  ASSERT_EQ(session.openResult(), -4);
  ASSERT_NE(session->frameIndex.findEntry(0), nullptr) << "frame 0 is indexed already";

  HostPicture output(*session, 0x33);
  const HostPicture untouched = output;
  const PlaneSet planes = output.planeSet();
  const StreamBuffer* scanUnit = session->buffer.get();
  const int64_t live = testHostLiveAllocations();
  const size_t indexed = session->frameIndex.entries().size();

  EXPECT_EQ(decodeFrame(*session, 0, nullptr, nullptr, &planes, 1, 1), -4);
  EXPECT_TRUE(output == untouched);
  EXPECT_EQ(session->buffer.get(), scanUnit) << "the index scan's unit was replaced";
  EXPECT_EQ(session->reducedResolution, 0);
  EXPECT_EQ(session->reductionMode, 0);
  EXPECT_EQ(session->frameIndex.entries().size(), indexed);
  EXPECT_EQ(testHostLiveAllocations(), live);

  // The scan goes on where it stopped and ends with the whole index.
  float progress = 0;
  int32_t result = kScanBudgetUsed;
  for (int guard = 0; result == kScanBudgetUsed && guard < 1000; ++guard)
    result = session->indexSlice(kIndexFileScanBudget, &progress);
  ASSERT_EQ(result, 0);
  EXPECT_EQ(session.frameNumbers(), TestSession(streamPath(kLongStream)).frameNumbers());
  EXPECT_EQ(decodeFrame(*session, 0, nullptr, nullptr, &planes, 0, 0), 0);
}

// ---- Frames whose picture changed in the file -------------------------------------------

// Alters the unit of frame 5 (a P-picture), which starts at `unit` (just
// after its picture start code) and holds `size` bytes, and with it the
// frames listed.
struct FileChange {
  const char* name;
  void (*apply)(std::vector<uint8_t>& bytes, size_t unit, size_t size);
  std::vector<int32_t> changed;
};

void PrintTo(const FileChange& change, std::ostream* out) { *out << change.name; }

// A place in the middle of the unit with no zero byte before it or at `gap`
// bytes after it, so that no start code prefix is made or broken.
size_t middleOf(const std::vector<uint8_t>& bytes, size_t unit, size_t size, size_t gap) {
  size_t at = unit + size / 2;
  while (bytes[at - 1] == 0 || bytes[at + gap] == 0) ++at;
  return at;
}

const FileChange kChanges[] = {
    {"InsertedBytes",  // the unit grows by 16 bytes
     [](std::vector<uint8_t>& b, size_t unit, size_t size) {
       b.insert(b.begin() + static_cast<std::ptrdiff_t>(middleOf(b, unit, size, 0)), 16, 0xFF);
     },
     {5}},
    {"DamagedTemporalReference",  // same length, another picture number
     [](std::vector<uint8_t>& b, size_t unit, size_t) { b[unit] ^= 0x80; },
     {5}},
    // The unit shrinks by 8 bytes; 8 stuffing zeros before the first slice
    // of frame 6 keep the later pictures where they were.
    {"RemovedBytes",
     [](std::vector<uint8_t>& b, size_t unit, size_t size) {
       size_t slice = unit + size;
       while (!(b[slice] == 0 && b[slice + 1] == 0 && b[slice + 2] == 1 && b[slice + 3] >= 0x01 && b[slice + 3] <= 0xAF))
         ++slice;
       b.insert(b.begin() + static_cast<std::ptrdiff_t>(slice), 8, 0);
       const auto at = b.begin() + static_cast<std::ptrdiff_t>(middleOf(b, unit, size, 8));
       b.erase(at, at + 8);
     },
     {5, 6}},
};

class ChangedFile : public testing::TestWithParam<FileChange> {};

// The file is changed after it was indexed. Neither the session that indexed
// it nor one opened with its seek data finds a changed frame any more (-5);
// every other frame decodes exactly as before.
TEST_P(ChangedFile, ChangedFrameIsNotFoundOthersStillDecode) {
  constexpr int32_t kChanged = 5;
  TestSession reference(streamPath(kIpStream));
  FrameStore expected(*reference, kFull);
  expected.decodeAll();
  const FrameIndexEntry* entry = reference->frameIndex.findEntry(kChanged);
  ASSERT_NE(entry, nullptr);
  std::vector<uint8_t> bytes = test::readFileBytes(streamPath(kIpStream));
  const auto unit = static_cast<size_t>(entry->streamPosition);
  ASSERT_EQ(std::vector<uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(unit) - 4,
                                 bytes.begin() + static_cast<std::ptrdiff_t>(unit)),
            (std::vector<uint8_t>{0, 0, 1, 0}))
      << "an elementary stream's position is just after its picture start code";

  const TempFile file(testing::TempDir(), bytes);
  const ExportedSession indexedBefore(file.path());
  const std::vector<uint8_t> seek = indexedBefore.seekData();
  ASSERT_FALSE(seek.empty());
  // A later modification time, as the file system may not have moved on.
  const auto written = std::filesystem::last_write_time(file.path());
  GetParam().apply(bytes, unit, entry->codedSize);
  test::writeFileBytes(file.path(), bytes);
  std::filesystem::last_write_time(file.path(), written + std::chrono::seconds(1));
  const ExportedSession reopened(file.path(), seek, /*indexToEnd=*/false);
  ASSERT_EQ(reopened.openResult(), 0) << "the index comes from the seek data";

  for (const ExportedSession* session : {&reopened, &indexedBefore}) {
    for (const auto& [frame, decoded] : expected.frames()) {
      int32_t forwardRef = -1, backwardRef = -1;
      reference->frameIndex.dependencies(frame, forwardRef, backwardRef);
      const HostPicture* forward = forwardRef >= 0 ? &expected.frame(forwardRef).picture : nullptr;
      HostPicture output(*reference, FrameStore::kFill);
      const std::string what = std::string(session == &reopened ? "reopened" : "indexed before") + ", frame " +
                               std::to_string(frame);
      const std::vector<int32_t>& changed = GetParam().changed;
      const bool found = std::find(changed.begin(), changed.end(), frame) == changed.end();
      expectRequestReleases(what, found ? 0 : -5,
                            [&] { return getFrame(*session, frame, forward, nullptr, output); });
      const HostPicture& want = found ? decoded.picture : HostPicture(*reference, FrameStore::kFill);
      EXPECT_TRUE(output == want) << what << ": " << firstDifference(want, output);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Changes, ChangedFile, testing::ValuesIn(kChanges),
                         [](const testing::TestParamInfo<FileChange>& info) { return std::string(info.param.name); });

// ---- The reference planes a request reads -----------------------------------------------
// (An I-picture reads none: every host-like decode here passes it none.)

// Fraction of the luma bytes of the picture area on which two pictures agree.
double lumaAgreement(const HostPicture& a, const HostPicture& b) {
  const std::vector<uint8_t> x = a.pictureArea(kFull), y = b.pictureArea(kFull);
  const size_t luma = static_cast<size_t>(16 * a.mbWidth) * 16 * a.mbHeight;
  size_t same = 0;
  for (size_t i = 0; i < luma; ++i) same += x[i] == y[i];
  return static_cast<double>(same) / static_cast<double>(luma);
}

TEST(ReferencePlanes, NullForwardAddressPredictsFromTheOutputPlanes) {
  for (const char* file : {kIpStream, "es-still-skipped-mb.m2v"}) {  // P-pictures with skipped macroblocks
    TestSession reference(streamPath(file));
    FrameStore expected(*reference, kFull);
    expected.decodeAll();
    ExportedSession session(streamPath(file));
    for (const auto& [frame, decoded] : expected.frames()) {
      if (decoded.pictureType != 2) continue;
      int32_t forwardRef = -1, backwardRef = -1;
      reference->frameIndex.dependencies(frame, forwardRef, backwardRef);
      ASSERT_GE(forwardRef, 0);
      // The output planes start as the forward reference: the prediction
      // finds (mostly) the right samples there.
      HostPicture inPlace = expected.frame(forwardRef).picture;
      HostPicture again = inPlace;
      HostPicture fromGrey(*reference, 128);
      // Only the Y address decides; the chroma addresses of the record are
      // null as well, so reading through them would fault.
      const PlaneSet nullForward{};
      auto request = [&](const HostPicture& output) {
        const PlaneSet out = output.planeSet();
        return Quarlin_GetFrame(session.handle(), frame, &nullForward, nullptr, &out, 0, 0);
      };
      const std::string what = std::string(file) + ", frame " + std::to_string(frame);
      ASSERT_EQ(request(inPlace), 0) << what;
      ASSERT_EQ(request(fromGrey), 0) << what;
      ASSERT_EQ(request(again), 0) << what;
      // Predicted in place, later macroblocks may read rows the picture has
      // already rewritten, so the match is close rather than exact; from
      // grey planes almost nothing matches. The same start gives the same
      // picture.
      EXPECT_GE(lumaAgreement(inPlace, decoded.picture), 0.5) << what;
      EXPECT_LE(lumaAgreement(fromGrey, decoded.picture), 0.1) << what;
      EXPECT_TRUE(again == inPlace) << what << ": " << firstDifference(inPlace, again);
    }
  }
}

// ---- Repeatability ---------------------------------------------------------------------

class RepeatedRequest : public testing::TestWithParam<CorpusStream> {};

// Every frame asked for again, in a shuffled order (so each request follows
// another frame than the first time) and into planes of other contents,
// gives the same picture: the request depends on nothing left from earlier
// requests, and writes every byte of the picture area (both fields of a
// field-coded frame).
TEST_P(RepeatedRequest, SameFrameTwiceGivesTheSameBytes) {
  TestSession session(GetParam().path());
  ASSERT_EQ(session.indexResult(), 0);
  for (const Scale& scale : kAllScales) {
    FrameStore store(*session, scale);
    store.decodeAll();
    std::vector<int32_t> order = session.frameNumbers();
    std::shuffle(order.begin(), order.end(), std::mt19937(12345));
    for (size_t i = 0; i < order.size(); ++i) {
      const DecodedFrame& first = store.frame(order[i]);
      if (first.result != 0) continue;
      const DecodedFrame second = store.decodeAgain(order[i], i % 2 ? 0x00 : 0xFF);
      const std::string what = std::string(scale.name) + ", frame " + std::to_string(order[i]);
      EXPECT_EQ(second.result, 0) << what;
      EXPECT_TRUE(second.picture.pictureArea(scale) == first.picture.pictureArea(scale)) << what;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Streams, RepeatedRequest,
                         testing::ValuesIn(test::corpusStreams(
                             {"es-open-gop.m2v", "es-interlaced-tff-720x576.m2v", "es-quant-matrix-extension.m2v",
                              "es-two-sequences.m2v", "es-field-pictures-tff.m2v", "es-field-pictures-bff.m2v",
                              "ps-dvd-ac3-mp2.vob", "ts-two-programs.ts"})),
                         test::CorpusTestName());

// ---- Host blocks are given back ------------------------------------------------------------

// Every kind of request gives back what it took; a request that fails
// writes nothing.
TEST(UnitBuffer, IsReleasedAfterEveryKindOfRequest) {
  TestSession reference(streamPath(kIpStream));
  FrameStore expected(*reference, kFull);
  expected.decodeAll();
  const HostPicture& frame0 = expected.frame(0).picture;
  HostPicture output(*reference, FrameStore::kFill);

  ExportedSession indexed(streamPath(kIpStream));
  ExportedSession incomplete(streamPath(kLongStream), {}, /*indexToEnd=*/false);
  ASSERT_EQ(incomplete.openResult(), -4);
  // A second sequence of another picture size (352 x 288 after 176 x 144):
  // its frames cannot be decoded into planes sized for the first.
  std::vector<uint8_t> twoSizes = test::readFileBytes(streamPath(kIpStream));
  const std::vector<uint8_t> larger = test::readFileBytes(streamPath("es-closed-gop.m2v"));
  twoSizes.insert(twoSizes.end(), larger.begin(), larger.end());
  const TempFile twoSizesFile(testing::TempDir(), twoSizes);
  ExportedSession resized(twoSizesFile.path());
  ASSERT_EQ(resized.indexResult(), 0);

  struct Request {
    std::string name;
    int32_t expected;
    std::function<int32_t()> run;
  };
  std::vector<Request> requests = {
      {"I-frame", 0, [&] { return getFrame(indexed, 0, nullptr, nullptr, output); }},
      {"P-frame", 0, [&] { return getFrame(indexed, 1, &frame0, nullptr, output); }},
      {"first sequence", 0, [&] { return getFrame(resized, 0, nullptr, nullptr, output); }},
      {"sequence of another size", -3, [&] { return getFrame(resized, 25, nullptr, nullptr, output); }},
      {"index incomplete", -4, [&] { return getFrame(incomplete, 0, nullptr, nullptr, output); }},
  };
  for (int32_t frame : {-1, -1000, 25, INT32_MAX, INT32_MIN})
    requests.push_back({"frame " + std::to_string(frame) + ", not in the index", -5,
                        [&, frame] { return getFrame(indexed, frame, nullptr, nullptr, output); }});
  // Twice over, so that a block the reader keeps between requests is
  // already counted in the level the second round starts from.
  for (int round = 0; round < 2; ++round)
    for (const Request& request : requests) {
      const HostPicture before = output;
      expectRequestReleases(request.name, request.expected, request.run);
      if (request.expected != 0) {
        EXPECT_TRUE(output == before) << request.name << ": a refused request wrote to the planes";
      }
    }
}

// The host's allocate or lock fails at each call a request makes in turn:
// the request fails, gives back every block it took, and the session goes on
// decoding as before.
TEST(UnitBuffer, IsReleasedWhenHostMemoryFails) {
  TestSession reference(streamPath(kIpStream));
  FrameStore expected(*reference, kFull);
  expected.decodeAll();
  ExportedSession session(streamPath(kIpStream));
  // P-frames far apart, so the reader has to fetch new blocks.
  const int32_t frames[] = {24, 1, 12};
  for (void (*fail)(int32_t, int32_t) : {&testHostFailAllocate, &testHostFailLock}) {
    int32_t failures = 0;
    for (int32_t after = 0; after < 6; ++after) {
      for (int32_t frame : frames) {
        HostPicture output(*reference, FrameStore::kFill);
        const HostPicture* forward = &expected.frame(frame - 1).picture;
        const int64_t live = testHostLiveAllocations();
        fail(1, after);
        const int32_t result = getFrame(session, frame, forward, nullptr, output);
        testHostClearFailures();
        EXPECT_EQ(testHostLiveAllocations(), live) << "after " << after << ", frame " << frame;
        failures += result != 0;
        EXPECT_TRUE(result == 0 || result == -1 || result == -3) << result;
        HostPicture again(*reference, FrameStore::kFill);
        ASSERT_EQ(getFrame(session, frame, forward, nullptr, again), 0) << "after " << after << ", frame " << frame;
        EXPECT_TRUE(again == expected.frame(frame).picture) << "after " << after << ", frame " << frame;
      }
    }
    EXPECT_GT(failures, 0) << "no request met the failure";
  }
  EXPECT_EQ(testHostMisuseCount(), 0);
}

}  // namespace
}  // namespace quarlin::dispatchtest
