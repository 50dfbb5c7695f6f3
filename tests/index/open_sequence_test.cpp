// The open sequence and the index's life seen through the exports of
// libquarlin.so, on streams built here: refused chroma formats, and the
// -4 ... 0 progression of Quarlin_IndexFile with the calls that wait for a
// complete index. (A stream indexed within the open's first slice is
// checked from the inside with the scan.)
#include <gtest/gtest.h>

#include <memory>

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

}  // namespace
}  // namespace quarlin::test
