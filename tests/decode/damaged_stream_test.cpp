// Damaged input through the exports. Bytes flipped at random places inside
// the slices of a corpus stream's first group: every frame decodes with 0 or
// -3, and every frame that depends on no picture before the second
// I-picture comes out exactly as from the undamaged file. Flips all over the
// file: still only 0 or -3. A file changed after indexing: -5 for the
// changed frame, the others unaffected.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "corpus_catalog.h"
#include "decoded_stream.h"
#include "stream_names.h"

namespace quarlin::decodetest {
namespace {

struct Slice {
  size_t start, end;  // start code position, position of the next start code
};

bool startCodeAt(const std::vector<uint8_t>& b, size_t p) {
  return p + 3 < b.size() && b[p] == 0 && b[p + 1] == 0 && b[p + 2] == 1;
}

// Slices found in the file's bytes (in program and transport streams the
// same bytes lie inside packets), and where the second group of pictures
// begins: the second group_of_pictures header, or in streams without them
// the second I-picture start code (the file's end when there is none). In a
// transport stream (videoPid >= 0) only the video packets count.
int32_t packetPid(const std::vector<uint8_t>& b, size_t p) {
  const size_t packet = p / 188 * 188;
  return ((b[packet + 1] & 0x1F) << 8) | b[packet + 2];
}

int32_t videoPid(const CorpusStream& s) { return s.container == "ts" ? transportVideoPid(s.path()) : -1; }

void scanStream(const std::vector<uint8_t>& b, int32_t videoPid, std::vector<Slice>& slices, size_t& secondGroup) {
  std::vector<size_t> codes;
  for (size_t p = 0; p + 3 < b.size(); ++p)
    if (startCodeAt(b, p) && (videoPid < 0 || packetPid(b, p) == videoPid)) codes.push_back(p);
  size_t secondIntra = b.size(), secondHeader = b.size();
  int intra = 0, headers = 0;
  for (size_t i = 0; i < codes.size(); ++i) {
    const size_t p = codes[i];
    const uint8_t code = b[p + 3];
    if (code >= 0x01 && code <= 0xAF && i + 1 < codes.size()) slices.push_back(Slice{p, codes[i + 1]});
    if (code == 0xB8 && ++headers == 2) secondHeader = p;
    if (code == 0x00 && p + 5 < b.size() && ((b[p + 5] >> 3) & 7) == 1 && ++intra == 2) secondIntra = p;
  }
  secondGroup = headers >= 2 ? secondHeader : secondIntra;
}

// Flips one random bit at `count` random places inside slice data (after
// each slice's header bytes) before `limit`, never making a start code; in
// a transport stream (videoPid >= 0) only inside a video packet that holds
// the slice's start code.
void flipInsideSlices(std::vector<uint8_t>& b, const std::vector<Slice>& slices, size_t limit, int32_t videoPid,
                      int count, std::mt19937& random) {
  const bool transport = videoPid >= 0;
  std::vector<Slice> usable;
  for (const Slice& s : slices)
    if (s.end <= limit && s.end > s.start + 8 && (!transport || packetPid(b, s.start) == videoPid))
      usable.push_back(s);
  ASSERT_FALSE(usable.empty());
  for (int done = 0, tries = 0; done < count && tries < 10000; ++tries) {
    const Slice& s = usable[random() % usable.size()];
    size_t end = s.end;
    if (transport) end = std::min(end, (s.start / 188 + 1) * 188);
    if (end <= s.start + 6) continue;
    const size_t p = s.start + 5 + random() % (end - s.start - 5);
    const uint8_t before = b[p];
    b[p] ^= static_cast<uint8_t>(1u << (random() % 8));
    bool madeCode = false;
    for (size_t q = p >= 2 ? p - 2 : 0; q <= p; ++q) madeCode = madeCode || startCodeAt(b, q);
    if (madeCode) {
      b[p] = before;
      continue;
    }
    ++done;
  }
}

std::string damagedCopy(const CorpusStream& s, const std::vector<uint8_t>& bytes) {
  const std::string path = ::testing::TempDir() + "damaged-" + s.file;
  writeFileBytes(path, bytes);
  return path;
}

class DamagedStream : public ::testing::TestWithParam<CorpusStream> {};

TEST_P(DamagedStream, FirstGroupDamageSparesLaterGroups) {
  const CorpusStream& s = GetParam();
  std::vector<uint8_t> bytes = readFileBytes(s.path());
  std::vector<Slice> slices;
  size_t secondGroup = 0;
  scanStream(bytes, videoPid(s), slices, secondGroup);
  if (secondGroup == bytes.size()) GTEST_SKIP() << "a single group";
  DecodedStream clean(s.path());
  const bool tolerate = lastFrameMayFail(s);
  const std::vector<YuvFrame> expected = clean.decodeAll(tool::DecodeScale::Full, tolerate);
  // The second I-frame in display order is the second in coded order.
  int32_t firstIntact = -1;
  for (int32_t n = 0, intra = 0; n < clean.frameCount() && firstIntact < 0; ++n)
    if (clean.isIntra(n) && ++intra == 2) firstIntact = n;
  if (firstIntact < 0) GTEST_SKIP() << "the second group is not in the index (cut off)";

  std::mt19937 random(7919u + static_cast<unsigned>(bytes.size()));
  flipInsideSlices(bytes, slices, secondGroup, videoPid(s), 12, random);
  DecodedStream damaged(damagedCopy(s, bytes));
  ASSERT_EQ(damaged.frameCount(), clean.frameCount());
  const std::vector<YuvFrame> got = damaged.decodeAll(tool::DecodeScale::Full, true);
  int failures = 0;
  for (const RecordingDecoder::Call& call : damaged.decoder().calls) {
    ASSERT_TRUE(call.result == 0 || call.result == -3) << "frame " << call.frame << " result " << call.result;
    failures += call.result != 0;
  }
  EXPECT_GT(failures, 0) << "twelve flipped bits went unnoticed";
  const int32_t frames = clean.frameCount() - (tolerate ? 1 : 0);
  for (int32_t n = firstIntact; n < frames; ++n) {
    const std::vector<int32_t> closure = clean.dependencyClosure(n);
    if (!closure.empty() && closure.front() < firstIntact) continue;  // predicted from the damaged group
    EXPECT_TRUE(got[static_cast<size_t>(n)] == expected[static_cast<size_t>(n)]) << "frame " << n;
  }
}

TEST_P(DamagedStream, DamageEverywhereGivesZeroOrMinus3) {
  const CorpusStream& s = GetParam();
  std::vector<uint8_t> bytes = readFileBytes(s.path());
  std::vector<Slice> slices;
  size_t secondGroup = 0;
  scanStream(bytes, videoPid(s), slices, secondGroup);
  std::mt19937 random(104729u + static_cast<unsigned>(bytes.size()));
  flipInsideSlices(bytes, slices, bytes.size(), videoPid(s), 40, random);
  DecodedStream damaged(damagedCopy(s, bytes));
  damaged.decodeAll(tool::DecodeScale::Full, true);
  damaged.decodeAll(tool::DecodeScale::Quarter, true);
  ASSERT_FALSE(damaged.decoder().calls.empty());
  for (const RecordingDecoder::Call& call : damaged.decoder().calls)
    ASSERT_TRUE(call.result == 0 || call.result == -3) << "frame " << call.frame << " result " << call.result;
}

INSTANTIATE_TEST_SUITE_P(Corpus, DamagedStream, ::testing::ValuesIn(decodableStreams()), streamTestName);

// es-ip-only.m2v has no B-pictures, so its n-th picture in the file is
// frame n. The file is indexed and its seek data kept; then eight stuffing
// zeros go in before the last slice of frame 5 and the last eight bytes of
// frame 10 go, so every later picture keeps its place, and the file is
// opened again with the seek data. Frames 5 and 10 no longer have their
// indexed coded sizes and give -5; the frames before 5 decode as before, and
// every other frame is still found, in the session that indexed the file too.
TEST(ChangedFile, FramesWhosePicturesChangedGiveMinus5) {
  CorpusStream s;
  s.file = "es-ip-only.m2v";
  std::vector<uint8_t> bytes = readFileBytes(s.path());
  const std::string path = ::testing::TempDir() + "changed-" + s.file;
  writeFileBytes(path, bytes);
  DecodedStream original(path);
  const std::vector<uint8_t> seekData = original.session().seekData();
  const std::vector<YuvFrame> before = original.decodeAll(tool::DecodeScale::Full);

  std::vector<size_t> pictures;
  for (size_t p = 0; p + 3 < bytes.size(); ++p)
    if (startCodeAt(bytes, p) && bytes[p + 3] == 0x00) pictures.push_back(p);
  ASSERT_GT(before.size(), 11u);
  size_t lastSlice = 0;
  for (size_t p = pictures[5]; p < pictures[6]; ++p)
    if (startCodeAt(bytes, p) && bytes[p + 3] >= 0x01 && bytes[p + 3] <= 0xAF) lastSlice = p;
  ASSERT_GT(lastSlice, pictures[5]);
  ASSERT_GT(pictures.size(), 11u);
  bytes.erase(bytes.begin() + static_cast<ptrdiff_t>(pictures[11] - 8), bytes.begin() + static_cast<ptrdiff_t>(pictures[11]));
  bytes.insert(bytes.begin() + static_cast<ptrdiff_t>(lastSlice), 8, uint8_t{0});
  writeFileBytes(path, bytes);

  // The session that indexed the file sees the change as well as one that
  // reopens it with the seek data.
  DecodedStream reopened(path, seekData);
  ASSERT_EQ(static_cast<size_t>(reopened.frameCount()), before.size());
  original.decoder().calls.clear();
  for (DecodedStream* stream : {&reopened, &original}) {
    const std::vector<YuvFrame> after = stream->decodeAll(tool::DecodeScale::Full, true);
    for (const RecordingDecoder::Call& call : stream->decoder().calls) {
      const bool changed = call.frame == 5 || call.frame == 10;
      EXPECT_EQ(call.result, changed ? -5 : 0) << "frame " << call.frame;
    }
    for (int32_t n = 0; n < 5; ++n) EXPECT_TRUE(after[static_cast<size_t>(n)] == before[static_cast<size_t>(n)]) << n;
  }
}

}  // namespace
}  // namespace quarlin::decodetest
