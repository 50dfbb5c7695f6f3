// The index scan on elementary streams built here: display numbers in the
// order a decoder puts frames out (ISO/IEC 13818-2 6.1.1.11), references and
// key entries where the corpus has no stream of the kind (the corpus streams'
// order and references are checked by decoding them against FFmpeg in
// tests/decode); then the open sequence through the exports of libquarlin.so.
#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

#include "quarlin/quarlin.h"
#include "tests/support/corpus.h"
#include "tests/support/frame_host.h"
#include "tests/support/stream_writer.h"
#include "tests/support/test_host.h"

namespace quarlin::test {
namespace {

const std::string kDirectory = "/tmp/quarlin-index-tests";
const Group kClosed = {{0, 'I'}, {3, 'P'}, {1, 'B'}, {2, 'B'}};
const Group kOpen = {{2, 'I'}, {0, 'B'}, {1, 'B'}, {5, 'P'}, {3, 'B'}, {4, 'B'}};

// A file of `bytes` opened and indexed to the end (in slices of 25 pictures).
struct Indexed {
  explicit Indexed(const Bytes& bytes) : file(kDirectory, bytes), session(file.path()) {}
  // Display order, one word per frame: the type, the forward and (after a
  // comma) the backward reference where there are any, "/1" for a single
  // field; "!" marks a key flag on other than an I-frame or its lack on one.
  std::string rows() const {
    std::ostringstream out;
    for (const auto& [number, e] : session->frameIndex.entries()) {
      out << (number ? " " : "") << "?IPB"[e.pictureType()] << (e.isKey() != (e.pictureType() == kEntryTypeI) ? "!" : "");
      if (e.forwardRef >= 0 || e.backwardRef >= 0) e.forwardRef >= 0 ? out << e.forwardRef : out << '-';
      if (e.backwardRef >= 0) out << ',' << e.backwardRef;
      if (e.entryFlags & kSingleField) out << "/1";
    }
    return out.str();
  }
  TempFile file;
  InternalSession session;
};

TEST(IndexScanTest, DisplayOrderReferencesAndKeys) {
  Bytes damaged = elementaryStream({kClosed, kClosed});
  append(damaged, gopHeader(true));
  append(damaged, startCode(0xB7));
  PictureParams forbidden = paramsFor({0, 'I'});
  forbidden.type = 0;
  append(damaged, pictureHeader(forbidden));
  append(damaged, elementaryStream({kClosed}));
  const struct {
    const char* name;
    Bytes bytes;
    std::string rows;
  } cases[] = {
      {"open group first", elementaryStream({kOpen}), "B-,2 B-,2 I B2,5 B2,5 P2"},
      // A field whose other field is lost makes a frame of its own.
      {"field of the same parity", elementaryStream({{{0, 'I', 1}, {0, 'P', 1}, {1, 'P', 2}, {1, 'P', 1}}}),
       "I/1 P0/1 P1"},
      {"damaged group and picture headers passed over", damaged, "I B0,3 B0,3 P0 I B4,7 B4,7 P4 I B8,11 B8,11 P8"},
  };
  for (const auto& c : cases) {
    Indexed s(c.bytes);
    ASSERT_EQ(s.session.indexResult(), 0) << c.name;
    EXPECT_EQ(s.rows(), c.rows) << c.name;
    const auto& entries = s.session->frameIndex.entries();
    EXPECT_EQ(entries.empty() ? 0 : entries.rbegin()->first + 1, static_cast<int32_t>(entries.size())) << c.name;
  }
}

// The first private packet (PID 0x1FFE, or 0x1FFD with a tag) gives the
// start offset and, unless all ones, the frame limit.
TEST(IndexScanTest, TransportPrivatePacketSetsStartOffsetAndFrameLimit) {
  const Bytes es = elementaryStream(std::vector<Group>(5, kClosed));
  const struct {
    int pid;
    Bytes body;
    int32_t offset;
    uint32_t count;
  } cases[] = {
      {0x1FFE, {0, 3, 0, 0, 0, 7}, 3, 7},
      {0x1FFE, {0, 3, 0xFF, 0xFF, 0xFF, 0xFF}, 3, 17},
      {0x1FFD, {0, 0, 0, 1, 0, 2, 0, 0, 0, 9}, 2, 9},
      {0x1FFD, {0, 0, 0, 2, 9, 9, 0, 4, 0, 0, 0, 5}, 4, 5},
  };
  for (const auto& c : cases) {
    Bytes ts = inTransportStream(es), priv = tsPacket(c.pid, false, 1, c.body);
    append(priv, tsPacket(0x1FFE, false, 1, {0, 9, 0, 0, 0, 9}));  // only the first counts
    ts.insert(ts.begin() + 188, priv.begin(), priv.end());
    Indexed s(ts);
    ASSERT_EQ(s.session.indexResult(), 0);
    int32_t first = 0, second = 0;
    s.session->frameIndex.getStartFrameOffset(first, second);
    EXPECT_EQ(first, c.offset);
    EXPECT_EQ(s.session->frameIndex.entries().size(), 20u);
    EXPECT_EQ(s.session->frameIndex.frameCount(), c.count);
  }
}

// --- The open sequence through the exports -----------------------------------

DecoderSession* const kUntouched = reinterpret_cast<DecoderSession*>(0x5A5A);

int32_t openFile(const TempFile& file, DecoderSession** session) {
  *session = kUntouched;
  return Quarlin_OpenFile(reinterpret_cast<const uint16_t*>(file.u16path()), &testHostServices(), nullptr, 0, session);
}

// Three I-pictures at open, then 25 per slice, with progress growing to
// 1.0; a call after the end finds nothing to do. (The fuzz targets check
// what waits for a complete index, on every input they replay.) The corpus has
// 4:2:2; 4:4:4 is refused alike.
TEST(OpenSequenceTest, IndexingInSlicesAndChroma444Refused) {
  TempFile file(kDirectory, elementaryStream(std::vector<Group>(60, kClosed)));
  DecoderSession* session = nullptr;
  ASSERT_EQ(openFile(file, &session), -4);
  std::vector<int32_t> results;
  float progress[4] = {-1, -1, -1, -1};
  for (float& p : progress) results.push_back(Quarlin_IndexFile(session, &p));
  EXPECT_EQ(results, (std::vector<int32_t>{-4, -4, 0, 0}));
  EXPECT_TRUE(0 < progress[0] && progress[0] < progress[1] && progress[1] < 1 && progress[2] == 1 && progress[3] == 1)
      << testing::PrintToString(progress);
  EXPECT_EQ(Quarlin_CloseFile(session), 0);

  SequenceParams o;
  o.chromaFormat = 3;
  TempFile other(kDirectory, elementaryStream({kClosed}, o));
  EXPECT_EQ(openFile(other, &session), -2);
  EXPECT_EQ(session, kUntouched);
}

// The file's progressive flag and aspect are its first sequence header's,
// whether a second header follows it at once or frames after a later one
// were decoded.
TEST(OpenSequenceTest, FileInfoComesFromTheFirstSequenceHeader) {
  SequenceParams later;
  later.aspect = 3, later.progressive = 1;
  Bytes bytes = sequenceHeader(SequenceParams{});
  append(bytes, elementaryStream({kClosed, kClosed}, later));
  append(bytes, elementaryStream({kClosed}, later));
  TempFile file(kDirectory, bytes);
  const ExportedSession session(file.path());
  const auto planes = guardedPicture(HostDecoder(session));
  const PlaneSet set = planes->planeSet();
  // Each request reaches its picture (and the later coding state), whose
  // filler slices then fail.
  for (int32_t frame = 0; frame < 12; ++frame)
    EXPECT_EQ(Quarlin_GetFrame(session.handle(), frame, &set, &set, &set, 0, 0), -3) << "frame " << frame;
  FileInfo info{};
  EXPECT_EQ(Quarlin_GetFileInfo(session.handle(), &info), 0);
  EXPECT_EQ(std::tuple(info.frameCount, info.progressive, info.pixelAspect), std::tuple(12u, uint8_t{0}, 576.0 * 4 / 3 / 720));
}

}  // namespace
}  // namespace quarlin::test
