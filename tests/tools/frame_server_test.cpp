// The frame server against a scripted decoder: which frames it decodes, in
// which order, with which reference planes, and what its cache keeps.
#include "tools/host/frame_server.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <utility>
#include <vector>

namespace quarlin::tool {
namespace {

constexpr FrameGeometry kGeometry{32, 32, 128, 32 * (32 + 128), 32 * (32 + 128) / 4};

// Every decoded picture carries its frame number in its first two luma
// bytes, so a decode call can tell which pictures it was given as references.
struct DecodeCall {
  int32_t frame;
  int forwardMark;   // frame number found in the forward planes; -1 for a null address
  int backwardMark;  // frame number found in the backward planes
  bool backwardIsOutput;
  uint8_t outputLumaBeforeDecode;
};

class ScriptedDecoder : public FrameDecoder {
 public:
  // frame -> {forward, backward}; frames not listed are not in the index.
  std::map<int32_t, std::pair<int32_t, int32_t>> references;
  std::map<int32_t, int32_t> failures;  // frame -> result of decode
  std::vector<DecodeCall> calls;
  DecodeScale lastScale = DecodeScale::Full;

  int32_t dependencies(int32_t frame, int32_t& forward, int32_t& backward) override {
    forward = backward = -1;
    const auto it = references.find(frame);
    if (it == references.end()) return -5;
    forward = it->second.first;
    backward = it->second.second;
    return 0;
  }

  int32_t decode(int32_t frame, const PlaneSet& forward, const PlaneSet& backward, const PlaneSet& output,
                 DecodeScale scale) override {
    lastScale = scale;
    calls.push_back(DecodeCall{frame, forward.y.address ? mark(forward) : -1, mark(backward),
                               backward.y.address == output.y.address, output.y.address[100]});
    output.y.address[0] = static_cast<uint8_t>(frame & 0xFF);
    output.y.address[1] = static_cast<uint8_t>(frame >> 8);
    const auto failure = failures.find(frame);
    return failure == failures.end() ? 0 : failure->second;
  }

  std::vector<int32_t> decodedFrames() const {
    std::vector<int32_t> frames;
    for (const DecodeCall& call : calls) frames.push_back(call.frame);
    return frames;
  }
  const DecodeCall& callFor(int32_t frame) const {
    for (const DecodeCall& call : calls) {
      if (call.frame == frame) return call;
    }
    throw std::runtime_error("frame never decoded");
  }

 private:
  static int mark(const PlaneSet& planes) { return planes.y.address[0] | planes.y.address[1] << 8; }
};

std::size_t pictureBytes() {
  const PlaneLayout layout = planeLayout(kGeometry, DecodeScale::Full);
  return layout.lumaBytes + 2 * layout.chromaBytes;
}

int frameMark(const Picture& picture) { return picture.plane(0)[0] | picture.plane(0)[1] << 8; }

// Display numbers of a stream opening with an open group, coded
// I2 B0 B1 P5 B3 B4: the leading B-pictures have only a backward reference.
void openGroup(ScriptedDecoder& decoder) {
  decoder.references = {{2, {-1, -1}}, {0, {-1, 2}}, {1, {-1, 2}}, {5, {2, -1}}, {3, {2, 5}}, {4, {2, 5}}};
}

TEST(FrameServer, RandomAccessDecodesReferencesFirstAndOnlyWhatIsNeeded) {
  ScriptedDecoder decoder;
  openGroup(decoder);
  FrameServer server(decoder, kGeometry, DecodeScale::Full);
  const auto picture = server.frame(4);
  EXPECT_EQ(frameMark(*picture), 4);
  EXPECT_EQ(decoder.decodedFrames(), (std::vector<int32_t>{2, 5, 4}));
  EXPECT_EQ(decoder.callFor(4).forwardMark, 2);
  EXPECT_EQ(decoder.callFor(4).backwardMark, 5);
  EXPECT_EQ(decoder.callFor(5).forwardMark, 2);
}

// Four open groups of 12 (I B B P B B ...): in display order a few pictures
// of cache are enough for every frame to be decoded only once.
TEST(FrameServer, SequentialOrderNeedsOnlyAFewPicturesOfCache) {
  ScriptedDecoder decoder;
  int32_t previousAnchor = -1;
  for (int32_t group = 0; group < 4; ++group) {
    const int32_t base = group * 12;
    decoder.references[base + 2] = {-1, -1};  // I
    decoder.references[base] = {previousAnchor, base + 2};
    decoder.references[base + 1] = {previousAnchor, base + 2};
    for (int32_t anchor = base + 5; anchor < base + 12; anchor += 3) {
      decoder.references[anchor] = {anchor - 3, -1};  // P
      decoder.references[anchor - 2] = {anchor - 3, anchor};
      decoder.references[anchor - 1] = {anchor - 3, anchor};
    }
    previousAnchor = base + 11;
  }
  FrameServer server(decoder, kGeometry, DecodeScale::Full, 4 * pictureBytes());
  for (int32_t frame = 0; frame < 48; ++frame) EXPECT_EQ(frameMark(*server.frame(frame)), frame);
  EXPECT_EQ(server.decodeCount(), 48u);
}

TEST(FrameServer, LeadingBPictureGetsItsBackwardReferenceAsForwardToo) {
  ScriptedDecoder decoder;
  openGroup(decoder);
  FrameServer server(decoder, kGeometry, DecodeScale::Full);
  server.frame(0);
  EXPECT_EQ(decoder.callFor(0).forwardMark, 2);
  EXPECT_EQ(decoder.callFor(0).backwardMark, 2);
}

TEST(FrameServer, IntraPictureGetsNullForwardAndStartsFromBlack) {
  ScriptedDecoder decoder;
  decoder.references = {{0, {-1, -1}}};
  FrameServer server(decoder, kGeometry, DecodeScale::Full);
  server.frame(0);
  EXPECT_EQ(decoder.callFor(0).forwardMark, -1);
  EXPECT_TRUE(decoder.callFor(0).backwardIsOutput);
  EXPECT_EQ(decoder.callFor(0).outputLumaBeforeDecode, 16);
}

TEST(FrameServer, ReferenceMissingFromTheIndexIsTreatedAsAbsent) {
  ScriptedDecoder decoder;
  decoder.references = {{3, {1, -1}}};  // frame 1 is not in the index
  FrameServer server(decoder, kGeometry, DecodeScale::Full);
  EXPECT_EQ(frameMark(*server.frame(3)), 3);
  EXPECT_EQ(decoder.decodedFrames(), (std::vector<int32_t>{3}));
  EXPECT_EQ(decoder.callFor(3).forwardMark, -1);
}

TEST(FrameServer, RequestedFrameMissingFromTheIndexThrows) {
  ScriptedDecoder decoder;
  FrameServer server(decoder, kGeometry, DecodeScale::Full);
  try {
    server.frame(7);
    FAIL() << "no error";
  } catch (const FrameError& error) {
    EXPECT_EQ(error.frame(), 7);
    EXPECT_EQ(error.result(), -5);
  }
}

TEST(FrameServer, CyclicReferencesTerminate) {
  ScriptedDecoder decoder;
  decoder.references = {{1, {2, -1}}, {2, {1, -1}}, {3, {3, -1}}};
  FrameServer server(decoder, kGeometry, DecodeScale::Full);
  EXPECT_EQ(frameMark(*server.frame(1)), 1);
  EXPECT_EQ(decoder.decodedFrames(), (std::vector<int32_t>{2, 1}));
  EXPECT_EQ(decoder.callFor(2).forwardMark, -1);  // its reference 1 was still waiting
  EXPECT_EQ(frameMark(*server.frame(3)), 3);      // a frame referring to itself
  EXPECT_EQ(decoder.callFor(3).forwardMark, -1);
}

TEST(FrameServer, EvictsLeastRecentlyUsedWhenOverBudget) {
  ScriptedDecoder decoder;
  decoder.references = {{0, {-1, -1}}, {1, {-1, -1}}, {2, {-1, -1}}, {3, {-1, -1}}};
  FrameServer server(decoder, kGeometry, DecodeScale::Full, 3 * pictureBytes());
  server.frame(0);
  server.frame(1);
  server.frame(2);
  server.frame(0);  // now 1 is the least recently used
  server.frame(3);
  EXPECT_TRUE(server.isCached(0));
  EXPECT_FALSE(server.isCached(1));
  EXPECT_TRUE(server.isCached(2));
  EXPECT_TRUE(server.isCached(3));
  EXPECT_EQ(server.cachedBytes(), 3 * pictureBytes());
  server.frame(1);
  EXPECT_EQ(server.decodeCount(), 5u);
}

TEST(FrameServer, ReferencesSurviveATinyBudgetWhileTheyAreNeeded) {
  ScriptedDecoder decoder;
  openGroup(decoder);
  FrameServer server(decoder, kGeometry, DecodeScale::Full, 1);
  const auto picture = server.frame(3);
  EXPECT_EQ(frameMark(*picture), 3);  // still valid although nothing stays cached
  EXPECT_EQ(decoder.callFor(3).forwardMark, 2);
  EXPECT_EQ(decoder.callFor(3).backwardMark, 5);
  EXPECT_EQ(server.cachedFrames(), 0u);
}

TEST(FrameServer, LongChainNeedsNoRecursion) {
  ScriptedDecoder decoder;
  constexpr int32_t kChain = 20000;
  decoder.references[0] = {-1, -1};
  for (int32_t frame = 1; frame < kChain; ++frame) decoder.references[frame] = {frame - 1, -1};
  FrameServer server(decoder, kGeometry, DecodeScale::Full, 4 * pictureBytes());
  const auto picture = server.frame(kChain - 1);
  EXPECT_EQ(frameMark(*picture), (kChain - 1) & 0xFFFF);
  EXPECT_EQ(server.decodeCount(), static_cast<uint64_t>(kChain));
  EXPECT_LE(server.cachedBytes(), 4 * pictureBytes());
}

TEST(FrameServer, FailureOfAReferenceNamesItAndReleasesItsPins) {
  ScriptedDecoder decoder;
  openGroup(decoder);
  decoder.failures[5] = -3;
  FrameServer server(decoder, kGeometry, DecodeScale::Full, 1);
  try {
    server.frame(4);
    FAIL() << "no error";
  } catch (const FrameError& error) {
    EXPECT_EQ(error.frame(), 5);
    EXPECT_EQ(error.result(), -3);
    EXPECT_NE(std::string(error.what()).find("reference of frame 4"), std::string::npos) << error.what();
  }
  // Frame 2 was pinned for the failed request; it must be evictable again.
  decoder.failures.clear();
  server.frame(0);
  EXPECT_EQ(server.cachedFrames(), 0u);
}

TEST(FrameServer, ToleratedFailureKeepsThePicture) {
  ScriptedDecoder decoder;
  openGroup(decoder);
  decoder.failures[2] = -3;
  FrameServer server(decoder, kGeometry, DecodeScale::Full);
  server.setTolerateFailures(true);
  EXPECT_EQ(frameMark(*server.frame(3)), 3);
  EXPECT_EQ(server.failureCount(), 1u);
}

TEST(FrameServer, EveryFrameOfTheChainIsDecodedAtTheServersScale) {
  ScriptedDecoder decoder;
  openGroup(decoder);
  FrameServer server(decoder, kGeometry, DecodeScale::Quarter);
  const auto picture = server.frame(3);
  EXPECT_EQ(decoder.lastScale, DecodeScale::Quarter);
  EXPECT_EQ(picture->layout().pictureWidth, 16u);
  EXPECT_EQ(picture->layout().lumaStride, 128u);
}

}  // namespace
}  // namespace quarlin::tool
