// The rules of a frame request: frames not found (outside the index, or
// changed since indexed), refusal while indexing, prediction from the output
// planes, and the host blocks every request, failed or not, gives back.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "tests/support/corpus.h"
#include "tests/support/frame_host.h"
#include "tests/support/test_host.h"

namespace quarlin::test {
namespace {

// 120 pictures: the open's first index slice stops long before the end.
const char kLongStream[] = "es-long-gop.m2v";
// 25 pictures, coded order is display order.
const char kIpStream[] = "es-ip-only.m2v";

std::vector<uint8_t> planeBytes(const tool::Picture& p) {
  std::vector<uint8_t> all;
  for (int i = 0; i < 3; ++i) all.insert(all.end(), p.plane(i), p.plane(i) + p.planeBytes(i));
  return all;
}

// Frame `frame` at full scale into `out`, predicting from `forward` (none:
// null addresses); every host block it took must be given back, none misused.
int32_t getFrame(const ExportedSession& s, int32_t frame, const tool::Picture* forward, const tool::Picture& out) {
  const int64_t live = testHostLiveAllocations(), misuses = testHostMisuseCount();
  const int32_t result =
      HostDecoder(s).decode(frame, forward ? forward->planeSet() : PlaneSet{}, {}, out.planeSet(), DecodeScale::Full);
  EXPECT_EQ(testHostLiveAllocations(), live) << "frame " << frame << ": host blocks kept after the request";
  EXPECT_EQ(testHostMisuseCount(), misuses) << "frame " << frame;
  return result;
}

// The unit of frame 5 (a P-picture), just after its picture start code:
// bytes inserted where no zero byte is next to them (no start code prefix is
// made or broken), or its temporal_reference damaged.
enum class Change { InsertedBytes, DamagedTemporalReference };

class ChangedFile : public testing::TestWithParam<Change> {};

// Neither the session that indexed the file nor one opened with its seek
// data finds a changed frame any more (-5, planes untouched); every other
// frame decodes exactly as before.
TEST_P(ChangedFile, ChangedFrameIsNotFoundOthersStillDecode) {
  const InternalSession reference(streamPath(kIpStream));
  HostDecoder referenceDecoder(reference);
  const auto expected = decodeAll(referenceDecoder, DecodeScale::Full);
  const FrameIndexEntry* entry = reference->frameIndex.findEntry(5);
  ASSERT_NE(entry, nullptr);
  std::vector<uint8_t> bytes = readFileBytes(streamPath(kIpStream));
  const auto unit = static_cast<size_t>(entry->streamPosition);
  ASSERT_EQ(bytes[unit - 1], 0) << "an elementary stream's position is just after its picture start code";

  const TempFile file(testing::TempDir(), bytes);
  const ExportedSession indexedBefore(file.path());
  const std::vector<uint8_t> seek = indexedBefore.seekData();
  const auto written = std::filesystem::last_write_time(file.path());
  if (GetParam() == Change::InsertedBytes) {
    size_t at = unit + entry->codedSize / 2;
    while (bytes[at - 1] == 0 || bytes[at] == 0) ++at;
    bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), 16, 0xFF);
  } else {
    bytes[unit] ^= 0x80;
  }
  writeFileBytes(file.path(), bytes);
  // A later modification time, as the file system may not have moved on.
  std::filesystem::last_write_time(file.path(), written + std::chrono::seconds(1));
  const ExportedSession reopened(file.path(), seek, /*indexToEnd=*/false);
  ASSERT_EQ(reopened.openResult(), 0) << "the index comes from the seek data";

  const std::vector<uint8_t> fresh = planeBytes(*guardedPicture(referenceDecoder));
  for (const ExportedSession* session : {&reopened, &indexedBefore}) {
    for (int32_t frame = 0; frame < static_cast<int32_t>(expected.size()); ++frame) {
      SCOPED_TRACE(std::string(session == &reopened ? "reopened" : "indexed before") + ", frame " +
                   std::to_string(frame));
      const bool found = frame != 5;
      const auto output = guardedPicture(referenceDecoder);
      const tool::Picture* forward = frame > 0 ? expected[static_cast<size_t>(frame) - 1].get() : nullptr;
      EXPECT_EQ(getFrame(*session, frame, forward, *output), found ? 0 : -5);
      EXPECT_EQ(found ? firstDifference(*output, *expected[static_cast<size_t>(frame)]) : "", "");
      EXPECT_TRUE(found || planeBytes(*output) == fresh) << "a refused request wrote to the planes";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Changes, ChangedFile, testing::Values(Change::InsertedBytes, Change::DamagedTemporalReference),
                         [](const auto& info) { return info.index ? "DamagedTemporalReference" : "InsertedBytes"; });

// A null forward Y address predicts from the output planes: started as the
// forward reference they give (mostly) the right picture, started grey
// almost nothing of it; the same start gives the same picture. The chroma
// addresses are null as well, so reading through them would fault.
TEST(ReferencePlanes, NullForwardAddressPredictsFromTheOutputPlanes) {
  for (const char* file : {kIpStream, "es-still-skipped-mb.m2v"}) {  // P-pictures with skipped macroblocks
    const ExportedSession session(streamPath(file));
    HostDecoder decoder(session);
    const auto expected = decodeAll(decoder, DecodeScale::Full);
    const size_t luma = decoder.geometry().width * decoder.geometry().height;
    auto agreement = [&](const tool::Picture& a, const tool::Picture& b) {
      const std::vector<uint8_t> x = pictureArea(a), y = pictureArea(b);
      size_t same = 0;
      for (size_t i = 0; i < luma; ++i) same += x[i] == y[i];
      return static_cast<double>(same) / static_cast<double>(luma);
    };
    for (int32_t frame = 1; frame < static_cast<int32_t>(expected.size()); ++frame) {
      int32_t forwardRef = -1, backwardRef = -1;
      ASSERT_EQ(decoder.dependencies(frame, forwardRef, backwardRef), 0);
      if (forwardRef < 0 || backwardRef >= 0) continue;  // P-pictures only
      SCOPED_TRACE(std::string(file) + ", frame " + std::to_string(frame));
      std::unique_ptr<tool::Picture> start[3] = {guardedPicture(decoder), guardedPicture(decoder),
                                                 guardedPicture(decoder, 128)};
      for (int i = 0; i < 2; ++i)
        for (int p = 0; p < 3; ++p)
          std::copy_n(expected[static_cast<size_t>(forwardRef)]->plane(p), start[i]->planeBytes(p), start[i]->plane(p));
      for (const auto& output : start) ASSERT_EQ(getFrame(session, frame, nullptr, *output), 0);
      EXPECT_GE(agreement(*start[0], *expected[static_cast<size_t>(frame)]), 0.5);
      EXPECT_LE(agreement(*start[2], *expected[static_cast<size_t>(frame)]), 0.1);
      EXPECT_EQ(firstDifference(*start[0], *start[1]), "");
    }
  }
}

// Every kind of request gives back what it took; one refused before
// decoding (-4, -5) writes nothing. Twice over, so that a block the reader
// keeps between requests is counted in the level the second round starts
// from. A refused request leaves an unfinished index scan to go on.
// Then the host's allocate or lock fails at each call a request makes in
// turn: the request fails, gives back every block it took, and the session
// goes on decoding as before.
TEST(UnitBuffer, IsReleasedAfterEveryKindOfRequestAndHostMemoryFailure) {
  const ExportedSession indexed(streamPath(kIpStream));
  HostDecoder decoder(indexed);
  const auto expected = decodeAll(decoder, DecodeScale::Full);
  const auto output = guardedPicture(decoder);
  ExportedSession incomplete(streamPath(kLongStream), {}, /*indexToEnd=*/false);
  ASSERT_EQ(incomplete.openResult(), -4);
  // A second sequence of another picture size (352 x 288 after 176 x 144):
  // its frames cannot be decoded into planes sized for the first.
  std::vector<uint8_t> twoSizes = readFileBytes(streamPath(kIpStream));
  const std::vector<uint8_t> larger = readFileBytes(streamPath("es-closed-gop.m2v"));
  twoSizes.insert(twoSizes.end(), larger.begin(), larger.end());
  const TempFile twoSizesFile(testing::TempDir(), twoSizes);
  const ExportedSession resized(twoSizesFile.path());
  ASSERT_EQ(resized.indexResult(), 0);

  const struct {
    const ExportedSession& session;
    int32_t frame, result;
    const tool::Picture* forward;
  } requests[] = {{indexed, 0, 0, nullptr},  {indexed, 1, 0, expected[0].get()},   {resized, 0, 0, nullptr},
                  {resized, 25, -3, nullptr}, {incomplete, 0, -4, nullptr},         {indexed, -1, -5, nullptr},
                  {indexed, 25, -5, nullptr}, {indexed, INT32_MAX, -5, nullptr},    {indexed, INT32_MIN, -5, nullptr}};
  for (int round = 0; round < 2; ++round)
    for (const auto& r : requests) {
      const std::vector<uint8_t> before = planeBytes(*output);
      EXPECT_EQ(getFrame(r.session, r.frame, r.forward, *output), r.result) << "frame " << r.frame;
      EXPECT_TRUE(r.result > -4 || planeBytes(*output) == before) << "frame " << r.frame << ": a refusal wrote";
    }
  ASSERT_EQ(incomplete.indexToEnd(), 0);
  EXPECT_EQ(getFrame(incomplete, 0, nullptr, *output), 0);

  for (void (*fail)(int32_t, int32_t) : {&testHostFailAllocate, &testHostFailLock}) {
    int32_t failures = 0;
    for (int32_t after = 0; after < 6; ++after)
      for (const int32_t frame : {24, 1, 12}) {  // P-frames far apart: the reader fetches new blocks
        SCOPED_TRACE("after " + std::to_string(after) + ", frame " + std::to_string(frame));
        const tool::Picture* forward = expected[static_cast<size_t>(frame) - 1].get();
        const auto picture = guardedPicture(decoder);
        fail(1, after);
        const int32_t result = getFrame(indexed, frame, forward, *picture);
        testHostClearFailures();
        failures += result != 0;
        EXPECT_TRUE(result == 0 || result == -1 || result == -3) << result;
        ASSERT_EQ(getFrame(indexed, frame, forward, *picture), 0);
        EXPECT_EQ(firstDifference(*picture, *expected[static_cast<size_t>(frame)]), "");
      }
    EXPECT_GT(failures, 0) << "no request met the failure";
  }
}

}  // namespace
}  // namespace quarlin::test
