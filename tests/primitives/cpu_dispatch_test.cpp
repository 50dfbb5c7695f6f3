// Selection of the implementation slot from the processor's features, and
// entry points that follow the selected slot.
#include "primitives/cpu_dispatch.h"

#include <gtest/gtest.h>

#include "platform/cpu.h"
#include "primitives/generic_primitives.h"
#include "variant_harness.h"

namespace quarlin::test {
namespace {

constexpr uint32_t kSse2Bit = 1u << 26;

// Restores the process-wide selection after a test changes it.
class CpuDispatch : public testing::Test {
 protected:
  void TearDown() override {
    CpuDispatchIndex = savedIndex_;
    CpuHasSse2 = savedSse2_;
  }

 private:
  int32_t savedIndex_ = CpuDispatchIndex;
  bool savedSse2_ = CpuHasSse2;
};

TEST_F(CpuDispatch, ProcessorTypesMapToTheirSlots) {
  const int32_t expected[10] = {1, 1, 1, 1, 1, 2, 3, 3, 4, 3};
  for (int32_t type = 0; type < 10; ++type) {
    EXPECT_EQ(selectProcessorType(type), ippStsNoErr);
    EXPECT_EQ(CpuDispatchIndex, expected[type]) << "type " << type;
  }
}

TEST_F(CpuDispatch, UnknownProcessorTypeLeavesTheIndex) {
  ASSERT_EQ(selectProcessorType(8), ippStsNoErr);
  for (int32_t type : {-1, 10, 11, 255}) {
    EXPECT_EQ(selectProcessorType(type), ippStsWrongProcessor);
    EXPECT_EQ(CpuDispatchIndex, 4);
  }
}

TEST_F(CpuDispatch, Sse2SelectsSlotThreeAndOtherwiseSlotTwo) {
  EXPECT_EQ(selectPrimitivesForFeatures(kSse2Bit | 0x1), ippStsNoErr);
  EXPECT_EQ(CpuDispatchIndex, 3);
  EXPECT_TRUE(CpuHasSse2);
  EXPECT_EQ(selectPrimitivesForFeatures(~kSse2Bit), ippStsNoErr);
  EXPECT_EQ(CpuDispatchIndex, 2);
  EXPECT_FALSE(CpuHasSse2);
}

// The first selection follows this processor's CPUID; a second call returns
// at once and leaves a changed index alone.
TEST_F(CpuDispatch, SelectionRunsOnce) {
  const bool sse2 = (platform::cpuid(1).edx & kSse2Bit) != 0;
  EXPECT_EQ(selectPrimitives(), ippStsNoErr);
  EXPECT_EQ(CpuHasSse2, sse2);
  EXPECT_EQ(CpuDispatchIndex, sse2 ? 3 : 2);
  CpuDispatchIndex = 1;
  EXPECT_EQ(selectPrimitives(), ippStsNoErr);
  EXPECT_EQ(CpuDispatchIndex, 1);
}

int gCopiesInSlotTwo = 0;
IppStatus countingCopy(const Ipp8u* src, Ipp8u* dst, int length) {
  ++gCopiesInSlotTwo;
  return generic::copy1d(src, dst, length);
}

TEST_F(CpuDispatch, EntryPointsRunTheSelectedSlot) {
  SlotOverride<Copy1dFn> slotTwo(gPrimitiveTables.copy1d, kSlotSse, &countingCopy);
  const Ipp8u src[4] = {1, 2, 3, 4};
  Ipp8u dst[4] = {};
  gCopiesInSlotTwo = 0;
  selectPrimitivesForFeatures(0);  // no SSE2: slot 2
  EXPECT_EQ(ippsCopy_8u(src, dst, 4), ippStsNoErr);
  EXPECT_EQ(gCopiesInSlotTwo, 1);
  EXPECT_EQ(dst[3], 4);
  selectPrimitivesForFeatures(kSse2Bit);  // slot 3
  EXPECT_EQ(ippsCopy_8u(src, dst, 4), ippStsNoErr);
  EXPECT_EQ(gCopiesInSlotTwo, 1);
}

}  // namespace
}  // namespace quarlin::test
