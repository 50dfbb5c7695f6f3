// The variant harness passes with only the generic implementations, checks a
// correct variant without complaint, and reports a deliberately wrong variant
// in slot 3 by name and slot.
#include "variant_harness.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "primitives/generic_primitives.h"

namespace quarlin::test {
namespace {

HarnessOptions quiet() {
  HarnessOptions options;
  options.seed = 4242;
  options.rounds = 120;
  return options;
}

IppStatus forwardingMc16x16(const Ipp8u* ref, Ipp32s refStep, const Ipp16s* res, Ipp32s resStep,
                            Ipp8u* dst, Ipp32s dstStep, Ipp32s type, Ipp32s rc) {
  return generic::mc16x16(ref, refStep, res, resStep, dst, dstStep, type, rc);
}

// Wrong only for type 12 with rounding control 1.
IppStatus brokenMc8x8(const Ipp8u* ref, Ipp32s refStep, const Ipp16s* res, Ipp32s resStep,
                      Ipp8u* dst, Ipp32s dstStep, Ipp32s type, Ipp32s rc) {
  const IppStatus status = generic::mc8x8(ref, refStep, res, resStep, dst, dstStep, type, rc);
  if ((type & 12) == 12 && rc == 1) dst[5] = Ipp8u(dst[5] + 1);
  return status;
}

IppStatus brokenIdct(const Ipp16s* src, Ipp16s* dst, int step) {
  const IppStatus status = generic::idctToShort(src, dst, step);
  if (src[9] != 0) dst[0] ^= 1;
  return status;
}

// Skips mismatch control whenever it made coefficient 63 odd.
IppStatus brokenNonIntra(Ipp32u** stream, int* offset, const IppVCHuffmanSpec_32s* first,
                         const IppVCHuffmanSpec_32s* table, const Ipp32s* scan, Ipp32s qp,
                         const Ipp16s* matrix, Ipp16s* block, Ipp32s* last) {
  const IppStatus status =
      generic::reconstructInter(stream, offset, first, table, scan, qp, matrix, block, last);
  if (status == ippStsNoErr && (block[63] & 1) != 0) block[63] ^= 1;
  return status;
}

// Gives back one bit too many when a code ends in the low bits of a word.
IppStatus brokenDecode(Ipp32u** stream, int* offset, Ipp32s* value,
                       const IppVCHuffmanSpec_32s* table) {
  const IppStatus status = generic::huffmanDecodeOne(stream, offset, value, table);
  if (status == ippStsNoErr && *offset < 4) *offset += 1;
  return status;
}

// Writes one byte past the end of the first row.
IppStatus brokenCopy(const Ipp8u* src, int srcStep, Ipp8u* dst, int dstStep, IppiSize size) {
  const IppStatus status = generic::copy2d(src, srcStep, dst, dstStep, size);
  if (status == ippStsNoErr && dstStep > size.width) dst[size.width] = 0;
  return status;
}

TEST(VariantHarness, PassesWithOnlyTheGenericImplementation) {
  const HarnessReport report = runVariantChecks(quiet());
  EXPECT_EQ(report.implementationsChecked, 0);
  EXPECT_TRUE(report.failures.empty());
}

TEST(VariantHarness, AcceptsAVariantThatMatches) {
  SlotOverride<McOneFn> sse2(gPrimitiveTables.mc16x16, kSlotSse2, &forwardingMc16x16);
  SlotOverride<McOneFn> sse3(gPrimitiveTables.mc16x16, kSlotSse3, &forwardingMc16x16);
  const HarnessReport report = runVariantChecks(quiet());
  EXPECT_EQ(report.implementationsChecked, 1);  // the same function in two slots counts once
  EXPECT_TRUE(report.failures.empty());
}

struct BrokenVariant {
  const char* entryPoint;
  std::function<HarnessReport()> run;
};

template <typename Fn>
std::function<HarnessReport()> withSlot3(Fn** slots, Fn* broken) {
  return [slots, broken] {
    SlotOverride<Fn> override(slots, kSlotSse2, broken);
    return runVariantChecks(quiet());
  };
}

class VariantHarnessWithBrokenSlot3 : public testing::TestWithParam<BrokenVariant> {};

TEST_P(VariantHarnessWithBrokenSlot3, ReportsTheMismatch) {
  const HarnessReport report = GetParam().run();
  EXPECT_EQ(report.implementationsChecked, 1);
  ASSERT_EQ(report.failures.size(), 1u);
  EXPECT_NE(report.failures[0].find(std::string(GetParam().entryPoint) + " slot 3"),
            std::string::npos)
      << report.failures[0];
}

INSTANTIATE_TEST_SUITE_P(
    Kernels, VariantHarnessWithBrokenSlot3,
    testing::Values(
        BrokenVariant{"ippiMC8x8_8u_C1", withSlot3(gPrimitiveTables.mc8x8, &brokenMc8x8)},
        BrokenVariant{"ippiDCT8x8Inv_16s_C1R",
                      withSlot3(gPrimitiveTables.idctToShort, &brokenIdct)},
        BrokenVariant{"ippiReconstructDCTBlock_MPEG2_32s",
                      withSlot3(gPrimitiveTables.reconstructInter, &brokenNonIntra)},
        BrokenVariant{"ippiVCHuffmanDecodeOne_1u32s",
                      withSlot3(gPrimitiveTables.huffmanDecodeOne, &brokenDecode)},
        BrokenVariant{"ippiCopy_8u_C1R", withSlot3(gPrimitiveTables.copy2d, &brokenCopy)}));

}  // namespace
}  // namespace quarlin::test
