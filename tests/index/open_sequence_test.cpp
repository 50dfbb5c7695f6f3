// The open sequence and the index's life seen through the exports of
// libquarlin.so, on streams built here: refusals, a stream indexed within
// the first slice, and the -4 ... 0 progression of Quarlin_IndexFile with
// the calls that wait for a complete index.
#include <gtest/gtest.h>

#include <memory>

#include "quarlin/quarlin.h"
#include "tests/parse/container_builder.h"
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

TEST(OpenSequenceTest, RefusedFilesGiveNoHandle) {
  SequenceParams mpeg1;
  mpeg1.extension = false;
  Bytes mpeg1Stream = sequenceHeader(mpeg1);
  append(mpeg1Stream, gopHeader(true));
  append(mpeg1Stream, pictureHeader(PictureParams{.codingExtension = false}));
  append(mpeg1Stream, slice(0, 40));
  const struct {
    const char* name;
    Bytes bytes;
    int32_t result;
  } cases[] = {
      {"empty", {}, -3},
      {"mp4", {0, 0, 0, 0x20, 'm', 'o', 'o', 'v', 1, 2, 3, 4}, -3},
      {"no sequence header", counting(5000, 1), -3},
      {"MPEG-1 video", mpeg1Stream, -3},
      {"4:2:2", groups(1, 2), -2},
      {"4:4:4", groups(1, 3), -2},
  };
  for (const auto& c : cases) {
    TempFile file(kDirectory, c.bytes);
    DecoderSession* session = nullptr;
    EXPECT_EQ(openFile(file.u16path(), &session), c.result) << c.name;
    EXPECT_EQ(session, kUntouched) << c.name;
  }
  DecoderSession* session = nullptr;
  EXPECT_EQ(openFile(u"/tmp/quarlin-index-tests/missing.m2v", &session), -3);
  EXPECT_EQ(session, kUntouched);
}

TEST(OpenSequenceTest, AStreamIndexedWithinTheFirstSliceOpensComplete) {
  TempFile file(kDirectory, groups(2));
  DecoderSession* session = nullptr;
  ASSERT_EQ(openFile(file.u16path(), &session), 0);
  FileInfo info{};
  ASSERT_EQ(Quarlin_GetFileInfo(session, &info), 0);
  EXPECT_EQ(info.frameCount, 8u);
  EXPECT_EQ(info.width, 720u);
  EXPECT_EQ(info.stride, 768u);
  void* data = nullptr;
  int32_t size = 0;
  ASSERT_EQ(Quarlin_GetSeekData(session, &data, &size), 0);
  EXPECT_EQ(size, 24 + 16 + 32 * 8);
  Quarlin_FreeSeekData(data);
  float progress = 0.0f;
  EXPECT_EQ(Quarlin_IndexFile(session, &progress), 0);  // nothing left to do
  EXPECT_EQ(progress, 1.0f);
  int32_t forward = 0, backward = 0;
  EXPECT_EQ(Quarlin_GetFrameDependancies(session, 2, &forward, &backward), 0);
  EXPECT_EQ(forward, 0);
  EXPECT_EQ(backward, 3);
  EXPECT_EQ(Quarlin_GetFrameDependancies(session, 8, &forward, &backward), -5);
  EXPECT_EQ(forward, -1);
  EXPECT_EQ(backward, -1);
  EXPECT_EQ(Quarlin_CloseFile(session), 0);
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
  EXPECT_EQ(size, 24 + 16 + 32 * 240);
  Quarlin_FreeSeekData(data);
  EXPECT_EQ(Quarlin_CloseFile(session), 0);
}

}  // namespace
}  // namespace quarlin::test
