// The open sequence and the index's life seen through the exports of
// libquarlin.so, on streams built here: refused chroma formats, and the
// -4 ... 0 progression of Quarlin_IndexFile with the calls that wait for a
// complete index. (A stream indexed within the open's first slice is
// checked from the inside with the scan.)
#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "quarlin/quarlin.h"
#include "tests/support/container_builder.h"
#include "tests/support/temp_file.h"
#include "tests/support/test_host.h"

namespace quarlin::test {
namespace {

const std::string kDirectory = "/tmp/quarlin-index-tests";
const Group kGroup = {{0, 'I'}, {3, 'P'}, {1, 'B'}, {2, 'B'}};

DecoderSession* const kUntouched = reinterpret_cast<DecoderSession*>(0x5A5A);

int32_t openFile(const char16_t* path, DecoderSession** session, const void* seek = nullptr, int32_t size = 0) {
  *session = kUntouched;
  return Quarlin_OpenFile(reinterpret_cast<const uint16_t*>(path), &testHostServices(), seek, size, session);
}

Bytes groups(int count, int chromaFormat = 1) {
  StreamOptions o;
  o.sequence.chromaFormat = chromaFormat;
  return elementaryStream(std::vector<Group>(static_cast<size_t>(count), kGroup), o).bytes;
}

// Other refusals are those of the corpus files; no corpus file has 4:4:4.
TEST(OpenSequenceTest, ChromaFormatsOtherThan420AreRefusedWithoutHandle) {
  for (int chromaFormat : {2, 3}) {
    TempFile file(kDirectory, groups(1, chromaFormat));
    DecoderSession* session = nullptr;
    EXPECT_EQ(openFile(file.u16path(), &session), -2) << chromaFormat;
    EXPECT_EQ(session, kUntouched) << chromaFormat;
  }
}

TEST(OpenSequenceTest, IndexingInSlicesAndWhatWaitsForIt) {
  // 3 I-pictures at open, then 25 per slice: 60 groups take 3 slices more.
  TempFile file(kDirectory, groups(60));
  DecoderSession* session = nullptr;
  ASSERT_EQ(openFile(file.u16path(), &session), -4);
  ASSERT_NE(session, kUntouched);

  FileInfo info{};
  ASSERT_EQ(Quarlin_GetFileInfo(session, &info), 0);
  EXPECT_EQ(info.frameCount, 0u);
  EXPECT_EQ(info.height, 576u);
  void* data = kUntouched;
  int32_t size = -7;
  EXPECT_EQ(Quarlin_GetSeekData(session, &data, &size), -4);
  EXPECT_EQ(size, -7);
  int32_t forward = 9, backward = 9;
  EXPECT_EQ(Quarlin_GetFrameDependancies(session, 0, &forward, &backward), -4);
  PlaneSet planes{};
  EXPECT_EQ(Quarlin_GetFrame(session, 0, &planes, &planes, &planes, 0, 0), -4);

  std::vector<int32_t> results;
  std::vector<float> progress;
  for (int call = 0; call < 10; ++call) {
    float p = -1.0f;
    results.push_back(Quarlin_IndexFile(session, &p));
    progress.push_back(p);
    if (results.back() != -4) break;
  }
  EXPECT_EQ(results, (std::vector<int32_t>{-4, -4, 0}));
  ASSERT_EQ(progress.size(), 3u);
  EXPECT_GT(progress[0], 0.0f);
  EXPECT_LT(progress[0], progress[1]);
  EXPECT_LT(progress[1], 1.0f);
  EXPECT_EQ(progress[2], 1.0f);

  ASSERT_EQ(Quarlin_GetFileInfo(session, &info), 0);
  EXPECT_EQ(info.frameCount, 240u);
  EXPECT_EQ(Quarlin_GetFrameDependancies(session, 237, &forward, &backward), 0);
  EXPECT_EQ(forward, 236);
  EXPECT_EQ(backward, 239);
  ASSERT_EQ(Quarlin_GetSeekData(session, &data, &size), 0);
  EXPECT_EQ(size, 24 + 16 + 32 * 240 + 4 + 260);  // one coding state
  Quarlin_FreeSeekData(data);
  float p = -1.0f;
  EXPECT_EQ(Quarlin_IndexFile(session, &p), 0);  // nothing left to do
  EXPECT_EQ(p, 1.0f);
  EXPECT_EQ(Quarlin_GetFrameDependancies(session, 240, &forward, &backward), -5);
  EXPECT_EQ(forward, -1);
  EXPECT_EQ(backward, -1);
  EXPECT_EQ(Quarlin_CloseFile(session), 0);
}

// The file's geometry and aspect are its first sequence header's, whether a
// second header follows it at once, whether the index comes from seek data,
// and whatever frames were decoded since.
TEST(OpenSequenceTest, FileInfoComesFromTheFirstSequenceHeader) {
  SequenceParams later;
  later.aspect = 3, later.progressive = 1;
  StreamOptions second;
  second.sequence = later;
  Bytes bytes = sequenceHeader(SequenceParams{});
  append(bytes, elementaryStream({kGroup, kGroup}, second).bytes);
  append(bytes, elementaryStream({kGroup}, second).bytes);
  TempFile file(kDirectory, bytes);
  auto infoOf = [&](const void* seek, int32_t size, std::vector<uint8_t>* seekOut) {
    DecoderSession* session = nullptr;
    float progress = 0;
    for (int32_t r = openFile(file.u16path(), &session, seek, size); r == -4;) r = Quarlin_IndexFile(session, &progress);
    const int32_t lumaSize = 720 * 704, chromaSize = lumaSize / 4;
    std::vector<uint8_t> planes(static_cast<size_t>(lumaSize + 2 * chromaSize));
    PlaneSet set{};
    set.y.address = planes.data(), set.cb.address = set.y.address + lumaSize, set.cr.address = set.cb.address + chromaSize;
    for (int32_t frame = 0; frame < 12; ++frame) Quarlin_GetFrame(session, frame, &set, &set, &set, 0, 0);
    FileInfo info{};
    EXPECT_EQ(Quarlin_GetFileInfo(session, &info), 0);
    if (seekOut) {
      void* data = nullptr;
      int32_t length = 0;
      EXPECT_EQ(Quarlin_GetSeekData(session, &data, &length), 0);
      seekOut->assign(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + length);
      Quarlin_FreeSeekData(data);
    }
    Quarlin_CloseFile(session);
    return std::tuple(info.frameCount, info.progressive, info.pixelAspect);
  };
  std::vector<uint8_t> seek;
  const auto scanned = infoOf(nullptr, 0, &seek);
  EXPECT_EQ(scanned, std::tuple(12u, uint8_t{0}, 576.0 * 4 / 3 / 720));
  EXPECT_EQ(infoOf(seek.data(), static_cast<int32_t>(seek.size()), nullptr), scanned);
}

}  // namespace
}  // namespace quarlin::test
