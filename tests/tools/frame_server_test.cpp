// The frame server against a scripted decoder: which frames it decodes, in
// which order, with which reference planes, and what its cache keeps.
#include "tools/host/frame_server.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace quarlin::tool {
namespace {

constexpr FrameGeometry kGeometry{32, 32, 128, 32 * (32 + 128), 32 * (32 + 128) / 4};

// Every decoded picture carries its frame number in its first luma bytes;
// calls are recorded as "frame:forward,backward" with the marks of the
// reference planes ("-" for a null forward address, "out=" before the
// output planes, "black" for planes filled black, Y 16).
int mark(const uint8_t* luma) { return luma[0] | luma[1] << 8; }

struct ScriptedDecoder : FrameDecoder {
  std::map<int32_t, std::pair<int32_t, int32_t>> references;  // frames not listed are not in the index
  std::map<int32_t, int32_t> failures;                        // frame -> result of decode
  std::vector<int32_t> intra;  // I-pictures: their output planes need not start black
  std::string calls;

  int32_t dependencies(int32_t frame, int32_t& forward, int32_t& backward) override {
    const bool indexed = references.count(frame);
    forward = indexed ? references[frame].first : -1;
    backward = indexed ? references[frame].second : -1;
    return indexed ? 0 : -5;
  }
  int32_t decode(int32_t frame, const PlaneSet& forward, const PlaneSet& backward, const PlaneSet& output,
                 DecodeScale) override {
    const auto name = [](int m) { return m == (16 | 16 << 8) ? std::string("black") : std::to_string(m); };
    calls += std::to_string(frame) + ":" + (forward.y.address ? name(mark(forward.y.address)) : "-") + "," +
             (backward.y.address == output.y.address ? "out=" : "") + name(mark(backward.y.address)) + " ";
    output.y.address[0] = uint8_t(frame), output.y.address[1] = uint8_t(frame >> 8);
    return failures.count(frame) ? failures[frame] : 0;
  }
  bool isIntra(int32_t frame) override { return std::count(intra.begin(), intra.end(), frame) != 0; }
};

const std::size_t kPictureBytes = kGeometry.lumaSize + 2 * kGeometry.chromaSize;

int frameMark(const std::shared_ptr<const Picture>& picture) { return mark(picture->plane(0)); }

// "frame result: message" of the error serving `frame` gives.
std::string errorOf(FrameServer& server, int32_t frame) {
  try {
    server.frame(frame);
  } catch (const FrameError& error) {
    return std::to_string(error.frame()) + " " + std::to_string(error.result()) + ": " + error.what();
  }
  return "none";
}

// Display numbers of a stream opening with an open group, coded
// I2 B0 B1 P5 B3 B4: the leading B-pictures have only a backward reference.
const std::map<int32_t, std::pair<int32_t, int32_t>> kOpenGroup = {
    {2, {-1, -1}}, {0, {-1, 2}}, {1, {-1, 2}}, {5, {2, -1}}, {3, {2, 5}}, {4, {2, 5}}};

// An I-picture predicts from its own planes, which start black; a P- and a
// leading B-picture get their one reference as the other too. References
// missing from the index, cyclic or to itself are left out. (That the
// scale reaches the decoder shows in the reduced pictures of the corpus.)
TEST(FrameServer, DecodesReferencesFirstOnceEach) {
  ScriptedDecoder decoder;
  decoder.references = kOpenGroup;
  decoder.references.insert({{11, {12, -1}}, {12, {11, -1}}, {13, {13, -1}}, {14, {99, -1}}});
  FrameServer server(decoder, kGeometry, DecodeScale::Quarter);
  for (int32_t frame : {4, 0, 4, 11, 13, 14}) EXPECT_EQ(frameMark(server.frame(frame)), frame);
  EXPECT_EQ(decoder.calls, "2:-,out=black 5:2,2 4:2,5 0:2,2 12:-,out=black 11:12,12 13:-,out=black 14:-,out=black ");
  EXPECT_EQ(errorOf(server, 7).substr(0, 6), "7 -5: ");
}

// Four open groups of 12 (I B B P B B ...) in display order: each frame decoded once into a few
// pictures reused, I-pictures not cleared; a long chain of P-pictures needs no recursion.
TEST(FrameServer, SequentialOrderAndLongChainsDecodeEachFrameOnce) {
  ScriptedDecoder groups, chain;
  for (int32_t base = 0; base < 48; base += 12) {
    groups.references[base + 2] = {-1, -1};
    groups.intra.push_back(base + 2);
    groups.references[base] = groups.references[base + 1] = {base - 1, base + 2};
    for (int32_t anchor = base + 5; anchor < base + 12; anchor += 3) {
      groups.references[anchor] = {anchor - 3, -1};
      groups.references[anchor - 2] = groups.references[anchor - 1] = {anchor - 3, anchor};
    }
  }
  FrameServer server(groups, kGeometry, DecodeScale::Full, 3 * kPictureBytes);  // the decode command's budget
  for (int32_t frame = 0; frame < 48; ++frame) EXPECT_EQ(frameMark(server.frame(frame)), frame);
  EXPECT_EQ(server.decodeCount(), 48u);
  EXPECT_EQ(groups.calls.find("black"), std::string::npos) << groups.calls;
  EXPECT_LE(server.picturesAllocated(), 5u) << "the budget's pictures and the two spare ones at most";
  for (int32_t frame = 0; frame < 20000; ++frame) chain.references[frame] = {frame - 1, -1};
  FrameServer chained(chain, kGeometry, DecodeScale::Full, 4 * kPictureBytes);
  EXPECT_EQ(frameMark(chained.frame(19999)), 19999);
  EXPECT_EQ(chained.decodeCount(), 20000u);
  EXPECT_LE(chained.cachedBytes(), 4 * kPictureBytes);
}

// The least recently used frame goes first, a released one at once; references stay while they are
// needed although nothing fits the budget; a failing one is named and its
// pins are released; failures tolerated keep the picture.
TEST(FrameServer, BudgetEvictionAndFailingReferences) {
  ScriptedDecoder decoder;
  decoder.references = kOpenGroup;
  FrameServer lru(decoder, kGeometry, DecodeScale::Full, 3 * kPictureBytes);
  for (int32_t frame : {2, 0, 1, 2, 5}) lru.frame(frame);  // 0 is the least recently used
  EXPECT_TRUE(!lru.isCached(0) && lru.isCached(1) && lru.isCached(2) && lru.isCached(5));
  // A B-frame released once shown gives its planes to the next frame, not while it is held.
  std::shared_ptr<const Picture> shown = lru.frame(3);
  const uint8_t* planes = shown->plane(0);
  lru.release(3);
  EXPECT_TRUE(lru.isCached(3));
  shown.reset();
  lru.release(3);
  EXPECT_TRUE(!lru.isCached(3) && lru.frame(4)->plane(0) == planes);
  decoder.calls.clear();
  FrameServer server(decoder, kGeometry, DecodeScale::Full, 1);
  EXPECT_EQ(frameMark(server.frame(3)), 3);
  EXPECT_EQ(decoder.calls, "2:-,out=black 5:2,2 3:2,5 ");
  decoder.failures[5] = -3;
  EXPECT_NE(errorOf(server, 4).find("5 -3: frame 5 (a reference of frame 4)"), std::string::npos);
  decoder.failures = {{0, -3}};
  EXPECT_EQ(errorOf(server, 0).substr(0, 6), "0 -3: ");
  EXPECT_EQ(server.cachedFrames(), 0u) << "the failed requests' pins were released";
  server.setTolerateFailures(true);
  EXPECT_EQ(frameMark(server.frame(0)), 0);
  EXPECT_EQ(server.failureCount(), 1u);
}

}  // namespace
}  // namespace quarlin::tool
