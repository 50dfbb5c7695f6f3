// The rules of a frame request as the host sees them through
// Quarlin_GetFrame: refusals while indexing, frames that cannot be found,
// the reference planes a request reads, repeatability, and the unit buffer
// that every request gives back.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <random>

#include "decode/frame_request.h"
#include "tests/decode_dispatch/dispatch_harness.h"
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

// Fraction of the luma bytes of the picture area on which two pictures agree.
double lumaAgreement(const HostPicture& a, const HostPicture& b) {
  const std::vector<uint8_t> x = a.pictureArea(kFull), y = b.pictureArea(kFull);
  const size_t luma = static_cast<size_t>(16 * a.mbWidth) * 16 * a.mbHeight;
  size_t same = 0;
  for (size_t i = 0; i < luma; ++i) same += x[i] == y[i];
  return static_cast<double>(same) / static_cast<double>(luma);
}

// ---- While the index is incomplete --------------------------------------------------

// es-long-gop.m2v: 120 pictures in two groups; the open's first index slice
// stops after 3 I-pictures, long before the end.
const char kLongStream[] = "es-long-gop.m2v";

TEST(IncompleteIndex, RequestIsRefusedAndChangesNothing) {
  TestSession session(streamPath(kLongStream), /*indexToEnd=*/false);
  ASSERT_EQ(session.openResult(), -4);
  ASSERT_TRUE(session->indexIncomplete);
  ASSERT_NE(session->frameIndex.findEntry(0), nullptr) << "frame 0 is indexed already";

  HostPicture output(session->firstSequence, 0x33);
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
  EXPECT_EQ(session->frameIndex.frameCount(), 120u);
  TestSession uninterrupted(streamPath(kLongStream));
  ASSERT_EQ(uninterrupted.indexResult(), 0);
  EXPECT_EQ(session.frameNumbers(), uninterrupted.frameNumbers());
  EXPECT_EQ(decodeFrame(*session, 0, nullptr, nullptr, &planes, 0, 0), 0);
}

TEST(IncompleteIndex, GetFrameReturnsMinus4UntilIndexingEnds) {
  ExportedSession session(streamPath(kLongStream), {}, /*indexToEnd=*/false);
  ASSERT_EQ(session.openResult(), -4);
  TestSession reference(streamPath(kLongStream));
  HostPicture output(reference->firstSequence, 0x33);
  const HostPicture untouched = output;
  for (int32_t frame : {0, 1, 60, 119, 500})
    expectRequestReleases("frame " + std::to_string(frame), -4,
                          [&] { return session.getFrame(frame, nullptr, nullptr, output); });
  EXPECT_TRUE(output == untouched);
  ASSERT_EQ(session.indexToEnd(), 0);
  EXPECT_EQ(session.getFrame(0, nullptr, nullptr, output), 0);
}

// ---- Frames that cannot be found ------------------------------------------------------

TEST(FrameNotFound, FrameOutsideTheIndexGivesMinus5) {
  ExportedSession session(streamPath("es-ip-only.m2v"));
  ASSERT_EQ(session.indexResult(), 0);
  FileInfo info{};
  ASSERT_EQ(Quarlin_GetFileInfo(session.handle(), &info), 0);
  const int32_t count = static_cast<int32_t>(info.frameCount);
  ASSERT_EQ(count, 25);
  TestSession reference(streamPath("es-ip-only.m2v"));
  HostPicture output(reference->firstSequence, 0x33);
  const HostPicture untouched = output;
  for (int32_t frame : {-1, -1000, count, count + 1, INT32_MAX, INT32_MIN})
    expectRequestReleases("frame " + std::to_string(frame), -5,
                          [&] { return session.getFrame(frame, nullptr, nullptr, output); });
  EXPECT_TRUE(output == untouched);
}

// A changed file: the bytes of one picture's unit are altered after the
// index was taken. Its frame can no longer be matched (-5); every other
// frame still decodes exactly as before.
struct FileChange {
  const char* name;
  // Alters the unit that starts at `unit` (just after its picture start
  // code) and holds `size` bytes.
  void (*apply)(std::vector<uint8_t>& bytes, size_t unit, size_t size);
};

// 16 bytes 0xFF inside the slice data: the unit grows by 16 bytes.
void insertBytes(std::vector<uint8_t>& bytes, size_t unit, size_t size) {
  size_t at = unit + size / 2;
  while (bytes[at - 1] == 0 || bytes[at] == 0) ++at;  // not inside a start code prefix
  bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), 16, 0xFF);
}

// temporal_reference's top bit flipped: same length, another picture number.
void damageTemporalReference(std::vector<uint8_t>& bytes, size_t unit, size_t) { bytes[unit] ^= 0x80; }

void PrintTo(const FileChange& change, std::ostream* out) { *out << change.name; }

class ChangedFile : public testing::TestWithParam<FileChange> {};

TEST_P(ChangedFile, ChangedFrameIsNotFoundOthersStillDecode) {
  const FileChange& change = GetParam();
  const std::string original = streamPath("es-ip-only.m2v");  // coded order is display order
  constexpr int32_t kChanged = 5;                               // a P-picture

  TestSession reference(original);
  FrameStore expected(*reference, kFull);
  expected.decodeAll();
  const FrameIndexEntry* entry = reference->frameIndex.findEntry(kChanged);
  ASSERT_NE(entry, nullptr);
  std::vector<uint8_t> bytes = readFileBytes(original);
  const size_t unit = static_cast<size_t>(entry->streamPosition);
  ASSERT_GE(unit, 4u);
  ASSERT_EQ(std::vector<uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(unit) - 4,
                                 bytes.begin() + static_cast<std::ptrdiff_t>(unit)),
            (std::vector<uint8_t>{0, 0, 1, 0}))
      << "an elementary stream's position is just after its picture start code";

  TempFolder folder;
  const std::string path = folder.file("changed.m2v");
  writeFileBytes(path, bytes);
  // The host kept the index as seek data and opens the changed file with it.
  // (A file changed under an open session may still be read from the block
  // the reader holds, so the change is made between sessions.)
  const std::vector<uint8_t> seek = ExportedSession(path).seekData();
  ASSERT_FALSE(seek.empty());
  change.apply(bytes, unit, entry->codedSize);
  writeFileBytes(path, bytes);
  const ExportedSession session(path, seek, /*indexToEnd=*/false);
  ASSERT_EQ(session.openResult(), 0) << "the index comes from the seek data";

  for (const auto& [frame, decoded] : expected.frames()) {
    int32_t forwardRef = -1, backwardRef = -1;
    reference->frameIndex.dependencies(frame, forwardRef, backwardRef);
    const HostPicture* forward = forwardRef >= 0 ? &expected.frame(forwardRef).picture : nullptr;
    HostPicture output(reference->firstSequence, 0x5A);
    const std::string what = std::string(change.name) + ", frame " + std::to_string(frame);
    if (frame == kChanged) {
      expectRequestReleases(what, -5, [&] { return session.getFrame(frame, forward, nullptr, output); });
      EXPECT_TRUE(output == HostPicture(reference->firstSequence, 0x5A)) << what << ": nothing is decoded";
    } else {
      expectRequestReleases(what, 0, [&] { return session.getFrame(frame, forward, nullptr, output); });
      EXPECT_TRUE(output == decoded.picture) << what << ": " << firstDifference(decoded.picture, output);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Changes, ChangedFile,
                         testing::Values(FileChange{"InsertedBytes", insertBytes},
                                         FileChange{"DamagedTemporalReference", damageTemporalReference}),
                         [](const testing::TestParamInfo<FileChange>& info) { return std::string(info.param.name); });

// ---- The reference planes a request reads -----------------------------------------------

TEST(ReferencePlanes, NullForwardAddressPredictsFromTheOutputPlanes) {
  for (const char* file : {"es-ip-only.m2v", "es-closed-gop.m2v", "es-still-skipped-mb.m2v"}) {
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
      HostPicture fromGrey(reference->firstSequence, 128);
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
      // Predicted in place, later macroblocks may read rows the picture has
      // already rewritten, so the match is close rather than exact; from
      // grey planes almost nothing matches.
      EXPECT_GE(lumaAgreement(inPlace, decoded.picture), 0.5) << what;
      EXPECT_LE(lumaAgreement(fromGrey, decoded.picture), 0.1) << what;
      // The same starting contents give the same picture.
      HostPicture again = expected.frame(forwardRef).picture;
      ASSERT_EQ(request(again), 0) << what;
      EXPECT_TRUE(again == inPlace) << what << ": " << firstDifference(inPlace, again);
    }
  }
}

TEST(ReferencePlanes, IntraFrameNeedsNoReferencePlanes) {
  for (const char* file : {"es-open-gop.m2v", "es-interlaced-tff-720x576.m2v", "ts-mp2-audio.ts"}) {
    for (const Scale& scale : kAllScales) {
      TestSession reference(streamPath(file));
      FrameStore expected(*reference, scale);
      expected.decodeAll();
      ExportedSession session(streamPath(file));
      const HostPicture junk(reference->firstSequence, 0xEE);
      int32_t intra = 0;
      for (const auto& [frame, decoded] : expected.frames()) {
        if (decoded.pictureType != 1) continue;
        ++intra;
        const std::string what = std::string(file) + " " + scale.name + ", frame " + std::to_string(frame);
        HostPicture withoutReferences(reference->firstSequence, 0x5A);
        HostPicture withJunkReferences(reference->firstSequence, 0x5A);
        expectRequestReleases(what, 0, [&] { return session.getFrame(frame, nullptr, nullptr, withoutReferences, scale); });
        EXPECT_EQ(session.getFrame(frame, &junk, &junk, withJunkReferences, scale), 0) << what;
        EXPECT_TRUE(withoutReferences == decoded.picture) << what;
        EXPECT_TRUE(withJunkReferences == decoded.picture) << what << ": an I-picture read reference planes";
      }
      EXPECT_GE(intra, 1) << file;
    }
  }
}

// ---- Repeatability ---------------------------------------------------------------------

class RepeatedRequest : public testing::TestWithParam<std::string> {};

// Every frame asked for again, in a shuffled order (so each request follows
// another frame than the first time) and into planes of other contents,
// gives the same picture: the request depends on nothing left from earlier
// requests, and writes every byte of the picture area.
TEST_P(RepeatedRequest, SameFrameTwiceGivesTheSameBytes) {
  TestSession session(streamPath(GetParam()));
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
      // A field-coded frame comes out at full size whatever the options.
      const Scale& area = first.fieldCoded ? kFull : scale;
      EXPECT_TRUE(second.picture.pictureArea(area) == first.picture.pictureArea(area)) << what;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Streams, RepeatedRequest,
                         testing::Values("es-open-gop.m2v", "es-interlaced-tff-720x576.m2v",
                                         "es-quant-matrix-extension.m2v", "es-two-sequences.m2v",
                                         "es-field-pictures-tff.m2v", "ps-dvd-ac3-mp2.vob", "ts-two-programs.ts"),
                         [](const testing::TestParamInfo<std::string>& info) { return testNameOf(info.param); });

// ---- The unit buffer is given back -------------------------------------------------------

TEST(UnitBuffer, IsReleasedAfterEveryKindOfRequest) {
  TestSession reference(streamPath("es-ip-only.m2v"));
  FrameStore expected(*reference, kFull);
  expected.decodeAll();
  const HostPicture& frame0 = expected.frame(0).picture;
  HostPicture output(reference->firstSequence, 0x5A);

  ExportedSession indexed(streamPath("es-ip-only.m2v"));
  ExportedSession incomplete(streamPath(kLongStream), {}, /*indexToEnd=*/false);
  ASSERT_EQ(incomplete.openResult(), -4);
  // A second sequence of another picture size (352 x 288 after 176 x 144):
  // its frames cannot be decoded into planes sized for the first.
  TempFolder folder;
  std::vector<uint8_t> twoSizes = readFileBytes(streamPath("es-ip-only.m2v"));
  const std::vector<uint8_t> larger = readFileBytes(streamPath("es-closed-gop.m2v"));
  twoSizes.insert(twoSizes.end(), larger.begin(), larger.end());
  writeFileBytes(folder.file("two-sizes.m2v"), twoSizes);
  ExportedSession resized(folder.file("two-sizes.m2v"));
  ASSERT_EQ(resized.indexResult(), 0);

  struct Request {
    const char* name;
    int32_t expected;
    std::function<int32_t()> run;
  };
  const Request requests[] = {
      {"I-frame", 0, [&] { return indexed.getFrame(0, nullptr, nullptr, output); }},
      {"P-frame", 0, [&] { return indexed.getFrame(1, &frame0, nullptr, output); }},
      {"index incomplete", -4, [&] { return incomplete.getFrame(0, nullptr, nullptr, output); }},
      {"not in the index", -5, [&] { return indexed.getFrame(25, nullptr, nullptr, output); }},
      {"first sequence", 0, [&] { return resized.getFrame(0, nullptr, nullptr, output); }},
      {"sequence of another size", -3, [&] { return resized.getFrame(25, nullptr, nullptr, output); }},
  };
  // Twice over, so that a block the reader keeps between requests is
  // already counted in the level the second round starts from.
  for (int round = 0; round < 2; ++round)
    for (const Request& request : requests) expectRequestReleases(request.name, request.expected, request.run);
}

// The host's allocate or lock fails at each call a request makes in turn:
// the request fails, gives back every block it took, and the session goes on
// decoding as before.
TEST(UnitBuffer, IsReleasedWhenHostMemoryFails) {
  TestSession reference(streamPath("es-ip-only.m2v"));
  FrameStore expected(*reference, kFull);
  expected.decodeAll();
  ExportedSession session(streamPath("es-ip-only.m2v"));
  // P-frames far apart, so the reader has to fetch new blocks.
  const int32_t frames[] = {24, 1, 12};
  for (void (*fail)(int32_t, int32_t) : {&testHostFailAllocate, &testHostFailLock}) {
    int32_t failures = 0;
    for (int32_t after = 0; after < 6; ++after) {
      for (int32_t frame : frames) {
        HostPicture output(reference->firstSequence, 0x5A);
        const HostPicture* forward = &expected.frame(frame - 1).picture;
        const int64_t live = testHostLiveAllocations();
        fail(1, after);
        const int32_t result = session.getFrame(frame, forward, nullptr, output);
        testHostClearFailures();
        EXPECT_EQ(testHostLiveAllocations(), live) << "after " << after << ", frame " << frame;
        failures += result != 0;
        EXPECT_TRUE(result == 0 || result == -1 || result == -3) << result;
        HostPicture again(reference->firstSequence, 0x5A);
        ASSERT_EQ(session.getFrame(frame, forward, nullptr, again), 0) << "after " << after << ", frame " << frame;
        EXPECT_TRUE(again == expected.frame(frame).picture) << "after " << after << ", frame " << frame;
      }
    }
    EXPECT_GT(failures, 0) << "no request met the failure";
  }
  EXPECT_EQ(testHostMisuseCount(), 0);
}

}  // namespace
}  // namespace quarlin::dispatchtest
