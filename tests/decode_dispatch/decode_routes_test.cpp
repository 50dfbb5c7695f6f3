// Every route a frame can take gives the same bytes, for every decodable
// corpus stream (and a damaged copy of some in each container) at every
// scale: on the calling thread (another thread holds the pool) at every
// processor tier this machine runs (generic, SSE2, AVX2), on more slice
// workers than there are processors or picture rows, in a shuffled order (150
// frames at most) through a server caching three pictures, and through a
// session opened with another's seek data (which reads the file only up to
// its first picture; a block cut short is not used, the file is indexed
// again to the same seek data). The routes' planes start as 0x5A,
// 0x00 or 0xFF, so nothing may depend on what they held, damaged pictures
// included. Planes are guarded, of exactly the reported size, and nothing
// outside the picture's whole macroblocks at its scale is written.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <numeric>
#include <random>
#include <set>

#include "primitives/cpu_dispatch.h"
#include "primitives/dispatch_tables.h"
#include "tests/support/corpus.h"
#include "tests/support/frame_host.h"
#include "tests/support/test_host.h"

namespace quarlin::test {
namespace {

using Frames = std::vector<std::shared_ptr<const tool::Picture>>;

// Where a byte outside the picture's whole macroblocks differs from the
// first byte outside them ("" when none does: nothing was written there).
std::string writtenOutside(const tool::Picture& picture, const FileInfo& info) {
  const uint32_t rows = info.progressive ? (info.height + 15) / 16 : 2 * ((info.height + 31) / 32);
  const bool reduced = picture.scale() != DecodeScale::Full, quarter = picture.scale() == DecodeScale::Quarter;
  for (int p = 0; p < 3; ++p) {
    const uint32_t width = ((info.width + 15) / 16 * (reduced ? 8 : 16)) >> (p > 0);
    const uint32_t height = (rows * (quarter ? 8 : 16)) >> (p > 0);
    const uint32_t stride = p ? picture.layout().chromaStride : picture.layout().lumaStride;
    int outside = -1;
    for (size_t o = 0; o < picture.planeBytes(p); ++o) {
      if (o % stride < width && o / stride < height) continue;
      if (outside < 0) outside = picture.plane(p)[o];
      if (picture.plane(p)[o] != outside)
        return "plane " + std::to_string(p) + " at " + std::to_string(o % stride) + "," + std::to_string(o / stride);
    }
  }
  return "";
}

// Every frame of `decoder` with the pool held: none reaches the workers.
Frames decodeOnThisThread(HostDecoder& decoder, DecodeScale scale, bool tolerate, uint8_t fill = 0x5A) {
  recreatePool(2);
  PoolHolder busy;
  EXPECT_TRUE(busy.holding());
  const int64_t before = picturesDispatched();
  Frames frames = decodeAll(decoder, scale, tolerate, fill);
  EXPECT_EQ(picturesDispatched(), before) << "a picture reached the workers of a busy pool";
  return frames;
}

void expectSameFrames(const Frames& expected, const HostDecoder& expectedDecoder, const Frames& actual,
                      const HostDecoder& decoder, const std::string& route) {
  ASSERT_EQ(actual.size(), expected.size()) << route;
  for (size_t n = 0; n < expected.size(); ++n) {
    const auto frame = static_cast<int32_t>(n);
    EXPECT_EQ(decoder.failed(frame), expectedDecoder.failed(frame)) << route << ", frame " << n;
    EXPECT_EQ(firstDifference(*expected[n], *actual[n]), "") << route << ", frame " << n;
  }
}

// Bits flipped inside the slices of the first group (never making or
// breaking a start code, never in a slice header), then in an elementary
// stream one of those slices dropped.
std::vector<uint8_t> damageFirstGroup(std::vector<uint8_t> b, std::mt19937& random, bool dropSlice) {
  std::vector<size_t> codes;
  for (size_t p = 0; p + 3 < b.size(); ++p)
    if (b[p] == 0 && b[p + 1] == 0 && b[p + 2] == 1) codes.push_back(p);
  std::vector<std::pair<size_t, size_t>> slices;
  for (size_t i = 0, groups = 0; i + 1 < codes.size() && groups < 2; ++i) {
    const uint8_t code = b[codes[i] + 3];
    groups += code == 0xB8;
    if (code >= 0x01 && code <= 0xAF && groups < 2 && codes[i + 1] > codes[i] + 12)
      slices.emplace_back(codes[i] + 6, codes[i + 1] - 3);
  }
  for (int flips = 0; flips < 12 && !slices.empty();) {
    const auto& [from, to] = slices[random() % slices.size()];
    const size_t at = from + random() % (to - from);
    const auto flipped = static_cast<uint8_t>(b[at] ^ (1u << (random() % 8)));
    if (b[at - 1] == 0 || b[at] == 0 || b[at + 1] == 0 || flipped == 0) continue;
    b[at] = flipped;
    ++flips;
  }
  if (dropSlice && slices.size() > 2) {
    const auto& [from, to] = slices[random() % slices.size()];
    b.erase(b.begin() + static_cast<std::ptrdiff_t>(from - 6), b.begin() + static_cast<std::ptrdiff_t>(to + 3));
  }
  return b;
}

class ThreadedDecode : public testing::TestWithParam<CorpusStream> {};

// Damage in the first group (before the second I-frame) spares the frames
// predicted, through their references' references, from none of its pictures.
void expectLaterGroupsIntact(HostDecoder& decoder, const Frames& damaged, const Frames& clean) {
  const auto references = [&](int32_t n) {
    std::array<int32_t, 2> r{-1, -1};
    decoder.dependencies(n, r[0], r[1]);
    for (int32_t& x : r) x = x == n ? -1 : x;  // the first field of the same frame
    return r;
  };
  int32_t secondIntra = -1, intact = 0;
  for (int32_t n = 0, intra = 0; n < static_cast<int32_t>(clean.size()) && secondIntra < 0; ++n)
    if (references(n) == std::array<int32_t, 2>{-1, -1} && ++intra == 2) secondIntra = n;
  const auto spared = [&](const auto& self, int32_t n) -> bool {
    for (const int32_t r : references(n))
      if (r >= 0 && (r < secondIntra || !self(self, r))) return false;
    return true;
  };
  for (int32_t n = std::max(secondIntra, 0); secondIntra >= 0 && n < static_cast<int32_t>(clean.size()); ++n) {
    if (!spared(spared, n)) continue;
    ++intact;
    EXPECT_EQ(firstDifference(*clean[static_cast<size_t>(n)], *damaged[static_cast<size_t>(n)]), "") << "frame " << n;
  }
  EXPECT_TRUE(secondIntra < 0 || intact > 0);  // (a stream of one group is damaged throughout)
}

TEST_P(ThreadedDecode, EveryRouteGivesTheSameBytes) {
  const CorpusStream& s = GetParam();
  // Frame pictures, field pairs, mixed and I/P field frames, odd and tiny sizes, each container.
  const bool damageToo = std::set<std::string>{"es-closed-gop.m2v", "es-open-gop.m2v", "es-intra-only.m2v",
                                               "es-field-pictures-tff.m2v", "es-multi-slice-rows.m2v",
                                               "es-mixed-frame-field.m2v", "es-field-ip-backref.m2v",
                                               "es-tiny-12x12-interlaced.m2v", "es-odd-size-178x146.m2v",
                                               "ps-vob-mp2.vob", "ts-mp2-audio.ts"}
                             .count(s.file) != 0;
  std::mt19937 random(20261206u);
  const TempFile damagedFile(testing::TempDir(),
                             damageFirstGroup(readFileBytes(s.path()), random, s.container == "es"));
  std::map<DecodeScale, Frames> clean;
  for (const bool damaged : {false, true}) {
    if (damaged && !damageToo) break;
    SCOPED_TRACE(damaged ? "damaged" : "intact");
    const std::string path = damaged ? damagedFile.path() : s.path();
    const bool tolerate = damaged || s.lastFrameMayFail();
    recreatePool(16);  // a session splits pictures into at most the workers there were when it opened
    const InternalSession session(path);
    ASSERT_EQ(session.indexResult(), 0);
    const std::vector<uint8_t> seek = ExportedSession(path).seekData();
    const int64_t allocations = testHostAllocateCount();
    const ExportedSession fromSeekData(path, seek, /*indexToEnd=*/false);
    ASSERT_EQ(fromSeekData.openResult(), 0);
    EXPECT_LE(testHostAllocateCount() - allocations, 3) << "read beyond the first picture: the unit and a block or two";
    EXPECT_EQ(fromSeekData.seekData(), seek) << "seek data differs from a fresh index";
    for (const size_t length : {seekdata::kStreamPart + seekdata::kHeader - 1, seek.size() - 1}) {  // cut: re-indexed
      const std::vector<uint8_t> cut(seek.begin(), seek.begin() + static_cast<std::ptrdiff_t>(length));
      EXPECT_EQ(ExportedSession(path, cut).seekData(), seek) << length;
    }
    for (const DecodeScale scale : kAllScales) {
      SCOPED_TRACE(tool::scaleName(scale));
      HostDecoder sequentialDecoder(session);
      const Frames sequential = decodeOnThisThread(sequentialDecoder, scale, tolerate);
      const FileInfo info = sequentialDecoder.fileInfo();
      ASSERT_FALSE(sequential.empty());
      for (size_t n = 0; n < sequential.size(); ++n)
        ASSERT_EQ(writtenOutside(*sequential[n], info), "") << "frame " << n;
      if (damaged) {
        const auto failures = std::count_if(sequentialDecoder.calls.begin(), sequentialDecoder.calls.end(),
                                            [](const HostDecoder::Call& c) { return c.result != 0; });
        EXPECT_GT(failures, 0) << "twelve flipped bits went unnoticed";
        expectLaterGroupsIntact(sequentialDecoder, sequential, clean[scale]);
      }
      clean[scale] = sequential;

      for (const int32_t slot : {kSlotGeneric, kSlotSse2, kSlotAvx2}) {
        if (slot == CpuDispatchIndex || !dispatchSlotRunsHere(slot)) continue;  // decoded above, or cannot run
        const int32_t selected = forceDispatchSlot(slot);
        HostDecoder tierDecoder(session);
        const Frames tier = decodeOnThisThread(tierDecoder, scale, tolerate, 0x00);
        forceDispatchSlot(selected);
        expectSameFrames(sequential, sequentialDecoder, tier, tierDecoder, "tier " + std::to_string(slot));
      }

      for (const int32_t workers : {3, 16}) {
        recreatePool(workers);
        HostDecoder decoder(session);
        const Frames threaded = decodeAll(decoder, scale, tolerate, 0xFF);
        // Every picture that decoded without error went to the workers (both
        // fields of a pair), whatever its slices' layout, unless it predicts
        // from its own output planes. (A failed one need not have.)
        for (const HostDecoder::Call& c : decoder.calls)
          EXPECT_TRUE(c.result != 0 || c.dispatched == c.dispatchable)
              << workers << " workers, frame " << c.frame << ": " << c.dispatched;
        expectSameFrames(sequential, sequentialDecoder, threaded, decoder, std::to_string(workers) + " workers");
      }

      HostDecoder randomDecoder(session);
      const auto server = guardedServer(randomDecoder, scale, tolerate, 3 * sequential[0]->totalBytes(), 0x00);
      std::vector<int32_t> order(sequential.size());
      std::iota(order.begin(), order.end(), 0);
      std::shuffle(order.begin(), order.end(), std::mt19937(20261205u));
      order.resize(std::min<size_t>(order.size(), 150));  // the chains of a long stream take long under sanitizers
      for (const int32_t n : order) {
        if (sequentialDecoder.failed(n)) continue;  // a failed picture (a cut file ends in one)
        ASSERT_EQ(firstDifference(*sequential[static_cast<size_t>(n)], *server->frame(n)), "")
            << "random access, frame " << n;
      }

      HostDecoder seekDecoder(fromSeekData);
      expectSameFrames(sequential, sequentialDecoder, decodeAll(seekDecoder, scale, tolerate, 0xFF), seekDecoder,
                       "from seek data");
    }
  }
  recreatePool(0);
}

INSTANTIATE_TEST_SUITE_P(Corpus, ThreadedDecode, testing::ValuesIn(decodableStreams()), CorpusTestName());

}  // namespace
}  // namespace quarlin::test
