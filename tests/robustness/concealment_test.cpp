// Damaged pictures come out the same whatever the host's output planes held
// before: corpus streams with bits flipped inside slices and a slice dropped
// decode, at every scale, to identical pictures whether the planes start
// zeroed, filled with 0xFF or holding another frame, and whether the frames
// are asked for in order (references cached) or each on its own in reverse
// order. Every plane is a guarded plane of exactly the reported size.
#include <gtest/gtest.h>

#include <random>

#include "tests/support/corpus.h"
#include "tests/support/exported_session.h"
#include "tests/support/frame_host.h"
#include "tests/support/guarded_plane.h"
#include "tests/support/temp_file.h"

namespace quarlin::test {
namespace {

using Frames = std::vector<std::shared_ptr<const tool::Picture>>;

// Bits flipped a few bytes after slice start codes, then one slice dropped
// (never making a start code: flipped bytes stay away from the codes).
std::vector<uint8_t> damaged(std::vector<uint8_t> b, uint32_t seed) {
  std::vector<size_t> slices;
  for (size_t i = 0; i + 4 < b.size(); ++i)
    if (b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1 && b[i + 3] >= 1 && b[i + 3] <= 0xAF) slices.push_back(i);
  std::mt19937 random(seed);
  for (int k = 0; k < 20 && !slices.empty(); ++k) {
    const size_t at = slices[random() % slices.size()] + 4 + 3 + random() % 30;
    if (at < b.size() && b[at] != 0) b[at] ^= static_cast<uint8_t>(1u << (random() % 8));
  }
  if (slices.size() > 10) {
    const size_t k = random() % (slices.size() - 1);
    b.erase(b.begin() + static_cast<std::ptrdiff_t>(slices[k]), b.begin() + static_cast<std::ptrdiff_t>(slices[k + 1]));
  }
  return b;
}

// Planes that start as `start` says: a fill byte, or (fill < 0) the bytes of
// `other`'s planes.
tool::PlaneAllocator startingWith(int fill, const tool::Picture* other) {
  return [fill, other](std::size_t bytes) {
    auto plane = std::make_shared<GuardedPlane>(bytes, static_cast<uint8_t>(fill < 0 ? 0 : fill));
    if (fill < 0)
      for (int p = 0; p < 3; ++p)
        if (other->planeBytes(p) == bytes) std::copy_n(other->plane(p), bytes, plane->data());
    return std::shared_ptr<uint8_t>(plane, plane->data());
  };
}

Frames decodeInOrder(HostDecoder& decoder, DecodeScale scale, const tool::PlaneAllocator& planes) {
  tool::FrameServer server(decoder, decoder.geometry(), scale);
  server.setPlaneAllocator(planes);
  server.setTolerateFailures(true);
  Frames frames;
  for (int32_t n = 0; n < static_cast<int32_t>(decoder.fileInfo().frameCount); ++n) frames.push_back(server.frame(n));
  return frames;
}

// Each frame through a server of its own, last frame first.
Frames decodeEachAlone(HostDecoder& decoder, DecodeScale scale, const tool::PlaneAllocator& planes) {
  Frames frames(decoder.fileInfo().frameCount);
  for (int32_t n = static_cast<int32_t>(frames.size()) - 1; n >= 0; --n) {
    tool::FrameServer server(decoder, decoder.geometry(), scale);
    server.setPlaneAllocator(planes);
    server.setTolerateFailures(true);
    frames[static_cast<size_t>(n)] = server.frame(n);
  }
  return frames;
}

struct Damage {
  const char* file;
  uint32_t seed;
};

// Frame pictures, field pairs, mixed and I/P field frames, tiny pictures,
// and each container.
const Damage kDamaged[] = {{"es-closed-gop.m2v", 1},          {"es-intra-only.m2v", 1},
                           {"es-field-pictures-tff.m2v", 2},  {"es-mixed-frame-field.m2v", 2},
                           {"es-field-ip-backref.m2v", 1},    {"es-tiny-12x12-interlaced.m2v", 3},
                           {"es-odd-size-178x146.m2v", 1},    {"ps-vob-mp2.vob", 1},
                           {"ts-mp2-audio.ts", 1}};

void PrintTo(const Damage& d, std::ostream* out) { *out << d.file << " seed " << d.seed; }

class DamagedStream : public testing::TestWithParam<Damage> {};

TEST_P(DamagedStream, DecodesTheSameWhateverThePlanesHeld) {
  const TempFile file(testing::TempDir(), damaged(readFileBytes(streamPath(GetParam().file)), GetParam().seed));
  const ExportedSession session(file.path());
  ASSERT_EQ(session.indexResult(), 0);
  HostDecoder decoder(session);
  for (const DecodeScale scale : kAllScales) {
    SCOPED_TRACE(tool::scaleName(scale));
    const Frames zeroed = decodeInOrder(decoder, scale, startingWith(0x00, nullptr));
    ASSERT_FALSE(zeroed.empty());
    int32_t failed = 0;
    for (int32_t n = 0; n < static_cast<int32_t>(zeroed.size()); ++n) failed += decoder.failed(n);
    EXPECT_GT(failed, 0) << "the damage hit no picture";
    const struct {
      const char* name;
      Frames frames;
    } others[] = {
        {"0xFF", decodeInOrder(decoder, scale, startingWith(0xFF, nullptr))},
        {"another frame", decodeInOrder(decoder, scale, startingWith(-1, zeroed.back().get()))},
        {"each alone", decodeEachAlone(decoder, scale, startingWith(0xFF, nullptr))},
    };
    for (const auto& other : others)
      for (size_t n = 0; n < zeroed.size(); ++n)
        EXPECT_EQ(firstDifference(*zeroed[n], *other.frames[n]), "") << other.name << ", frame " << n;
  }
}

INSTANTIATE_TEST_SUITE_P(Corpus, DamagedStream, testing::ValuesIn(kDamaged),
                         [](const testing::TestParamInfo<Damage>& info) { return testNameOf(info.param.file); });

}  // namespace
}  // namespace quarlin::test
