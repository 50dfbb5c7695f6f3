// Damaged input through the exports. Bytes flipped at random places inside
// the slices of a corpus stream's first group: every frame decodes with 0 or
// -3, and every frame that depends on no picture before the second
// I-picture comes out exactly as from the undamaged file. (Damage anywhere
// in a file, at every scale, is the robustness suite's.)
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "decoded_stream.h"
#include "reference_decoders.h"
#include "tests/support/corpus.h"

namespace quarlin::decodetest {
namespace {

using test::CorpusStream;

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

int32_t videoPid(const CorpusStream& s) { return s.pid(); }

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
  test::writeFileBytes(path, bytes);
  return path;
}

class DamagedStream : public ::testing::TestWithParam<CorpusStream> {};

TEST_P(DamagedStream, FirstGroupDamageSparesLaterGroups) {
  const CorpusStream& s = GetParam();
  std::vector<uint8_t> bytes = test::readFileBytes(s.path());
  std::vector<Slice> slices;
  size_t secondGroup = 0;
  scanStream(bytes, videoPid(s), slices, secondGroup);
  if (secondGroup == bytes.size()) GTEST_SKIP() << "a single group";
  DecodedStream clean(s.path());
  const bool tolerate = s.lastFrameMayFail();
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
  for (int32_t n = firstIntact; n < clean.frameCount(); ++n) {
    if (clean.decoder().failed(n)) continue;  // the picture a cut file ends in
    const std::vector<int32_t> closure = clean.dependencyClosure(n);
    if (!closure.empty() && closure.front() < firstIntact) continue;  // predicted from the damaged group
    EXPECT_TRUE(got[static_cast<size_t>(n)] == expected[static_cast<size_t>(n)]) << "frame " << n;
  }
}

// The byte surgery above reads 188-byte transport packets.
std::vector<CorpusStream> streamsOf188BytePackets() {
  std::vector<CorpusStream> out;
  for (const CorpusStream& s : test::decodableStreams())
    if (s.file != "ts-m2ts-192.m2ts" && s.file != "ts-dvb-204.ts") out.push_back(s);
  return out;
}

INSTANTIATE_TEST_SUITE_P(Corpus, DamagedStream, ::testing::ValuesIn(streamsOf188BytePackets()),
                         test::CorpusTestName());

}  // namespace
}  // namespace quarlin::decodetest
