// Field-coded frames: one request decodes both field pictures of the frame
// (the first field, then the unit that follows it as the second), always at
// full size, whatever the decoding options ask for.
#include <gtest/gtest.h>

#include "tests/decode_dispatch/dispatch_harness.h"

namespace quarlin::dispatchtest {
namespace {

class FieldCodedFrames : public testing::TestWithParam<std::string> {};

TEST_P(FieldCodedFrames, EveryRequestDecodesBothFields) {
  TestSession session(streamPath(GetParam()));
  ASSERT_EQ(session.indexResult(), 0);
  // Two field pictures per frame: the index holds frames, not fields.
  EXPECT_EQ(session->frameIndex.frameCount(), 12u);
  FrameStore store(*session, kFull);
  store.decodeAll();
  for (const auto& [frame, decoded] : store.frames()) {
    ASSERT_EQ(decoded.result, 0) << "frame " << frame;
    EXPECT_TRUE(decoded.fieldCoded) << "frame " << frame;
    // Planes that start with other contents end the same over the whole
    // frame: both fields' lines were written, not only the first field's.
    const DecodedFrame again = store.decodeAgain(frame, 0x00);
    ASSERT_EQ(again.result, 0) << "frame " << frame;
    EXPECT_TRUE(again.picture.pictureArea(kFull) == decoded.picture.pictureArea(kFull)) << "frame " << frame;
  }
}

TEST_P(FieldCodedFrames, ReducedOptionsStillGiveTheFullSizeLayout) {
  TestSession full(streamPath(GetParam()));
  FrameStore fullStore(*full, kFull);
  fullStore.decodeAll();
  for (const Scale& scale : {kHalfWidth, kQuarter}) {
    TestSession reduced(streamPath(GetParam()));
    FrameStore reducedStore(*reduced, scale);
    reducedStore.decodeAll();
    ASSERT_EQ(reducedStore.frames().size(), fullStore.frames().size());
    for (const auto& [frame, decoded] : fullStore.frames()) {
      const DecodedFrame& other = reducedStore.frame(frame);
      EXPECT_EQ(other.result, 0) << scale.name << ", frame " << frame;
      // Whole planes, padding included: the same bytes at the same places.
      EXPECT_TRUE(other.picture == decoded.picture)
          << scale.name << ", frame " << frame << ": " << firstDifference(decoded.picture, other.picture);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Streams, FieldCodedFrames,
                         testing::Values("es-field-pictures-tff.m2v", "es-field-pictures-bff.m2v"),
                         [](const testing::TestParamInfo<std::string>& info) { return testNameOf(info.param); });

}  // namespace
}  // namespace quarlin::dispatchtest
