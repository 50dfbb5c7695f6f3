// The primitives against the standard's tables, the model of block_coding
// and other references.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <tuple>

#include "block_coding.h"
#include "primitives/generic_primitives.h"
#include "primitives/mpeg2_tables.h"
#include "primitives/vlc_descriptions.h"
#include "variant_harness.h"

namespace quarlin::test {
namespace {

// The scan position of each coefficient row by row (Figures 7-2 and 7-3),
// the non-linear quantiser_scale (Table 7-6), the default intra matrix.
TEST(ConstantTables, FollowTheStandardsFiguresAndTables) {
  std::istringstream zigzag(printed("7-2")), alternate(printed("7-3")), matrix(printed("6.3.11"));
  std::istringstream nonLinear(printed("7-6"));
  int i = 0;
  for (int z, a, m; i < 64 && zigzag >> z && alternate >> a && matrix >> m; ++i) {
    EXPECT_EQ(kScanTables[0][z], i) << "zigzag, raster " << i;
    EXPECT_EQ(kScanTables[1][a], i) << "alternate, raster " << i;
    EXPECT_EQ(kDefaultIntraMatrix[i], m) << "raster " << i;
  }
  for (int code = 0, scale; code < 32 && nonLinear >> scale; ++code, ++i) {
    EXPECT_EQ(kQuantiserScale[0][code], 2 * code);
    EXPECT_EQ(kQuantiserScale[1][code], scale);
  }
  EXPECT_EQ(i, 64 + 32);  // every number read
}

// Status, value and bits consumed decoding from bit `offset` of words[0].
std::tuple<IppStatus, Ipp32s, long> decode(const std::vector<Ipp32u>& words, int offset,
                                           const IppVCHuffmanSpec_32s* table) {
  Ipp32u* word = const_cast<Ipp32u*>(words.data());
  int position = offset;
  Ipp32s value = 0;
  const IppStatus status = ippiVCHuffmanDecodeOne_1u32s(&word, &position, &value, table);
  return {status, value, (word - words.data()) * 32 + offset - position};
}

// Every pattern of the longest code's length from every bit offset decodes
// to the code it starts with or is refused with the value 0xF0F1. Only the
// dct_dc_size codes leave no pattern unused.
class EveryTable : public testing::TestWithParam<int> {};

TEST_P(EveryTable, EveryPatternDecodesToItsPrefixCodeOrIsRefused) {
  const VlcSlotDescription& d = kVlcSlotDescriptions[GetParam()];
  const CodeList& printed = annexB(VlcSlot(GetParam()));
  const IppVCHuffmanSpec_32s* table = acquireVlcTableSet()->table[GetParam()];
  const int width = printed.maxLength;
  int refused = 0;
  for (uint32_t pattern = 0; pattern < (1u << width); ++pattern) {
    const Code* code = nullptr;
    for (int length = 1; length <= width && !code; ++length) code = printed.find(length, pattern >> (width - length));
    refused += code == nullptr;
    const auto want =
        code ? std::tuple(ippStsNoErr, d.runLevel ? code->level * 256 + code->run : code->value, long{code->length})
             : std::tuple(ippStsVLCErr, 0xF0F1, -1L);
    for (int offset = 0; offset < 32; ++offset) {
      const uint64_t bits = ~0ull << (offset + 32) << 1 | uint64_t{pattern} << (64 - width) >> (31 - offset);
      auto got = decode({Ipp32u(bits >> 32), Ipp32u(bits), 0}, offset, table);
      if (!code) std::get<2>(got) = -1;
      ASSERT_EQ(got, want) << "pattern " << pattern << " at offset " << offset;
    }
  }
  EXPECT_EQ(refused == 0, GetParam() == kVlcDcSizeLuma || GetParam() == kVlcDcSizeChroma);
  releaseVlcTableSet();
}

INSTANTIATE_TEST_SUITE_P(Slots, EveryTable, testing::Range(0, int(kVlcSlotCount)));

// Five levels of 7 bits for codes of up to 30 bits ("1" -> 7, 29 zeros and
// a 1 -> 9, 30 zeros -> 11): from some offsets the walk reads more than the
// current and the next word hold. Then descriptions the builder refuses,
// null arguments and bit offsets outside 0..31.
TEST(TableBuilder, BuildsLongWalksAndRefusesBadArguments) {
  std::vector<Ipp32s> longWalk = {30, 5, 7, 7, 7, 7, 7, 1, 1, 7};
  longWalk.insert(longWalk.end(), 28, 0);
  longWalk.insert(longWalk.end(), {2, 1, 9, 0, 11, -1});
  IppVCHuffmanSpec_32s* table = nullptr;
  ASSERT_EQ(ippiVCHuffmanInitAlloc_32s(longWalk.data(), &table), ippStsNoErr);
  const struct {
    uint32_t bits;
    int length;
    std::tuple<IppStatus, Ipp32s, long> want;
  } walks[] = {{1, 30, {ippStsNoErr, 9, 30}},
               {0, 30, {ippStsNoErr, 11, 30}},
               {1, 1, {ippStsNoErr, 7, 1}},
               {3, 30, {ippStsVLCErr, 0xF0F1, 35}},   // 28 zeros, 1: no code at the fifth level
               {1, 15, {ippStsVLCErr, 0xF0F1, 21}}};  // 14 zeros, 1: none at the third
  for (const auto& c : walks) {
    for (int offset = 0; offset < 32; ++offset)  // a 1 after the pattern ends any zeros
      EXPECT_EQ(decode(BitWriter().put(0, 31 - offset).put(c.bits, c.length).put(~0u, 32).words(), offset, table),
                c.want)
          << c.bits << "/" << c.length << " at " << offset;
  }
  const struct {
    std::vector<Ipp32s> description;
    bool runLevel;
    IppStatus want;
  } descriptions[] = {
      {{2, 1, 2, 1, 1, 5, 1, 2, 6, -1}, false, ippStsVLCErr},   // "1" is a prefix of "10"
      {{2, 1, 2, 0, 2, 1, 5, 1, 6, -1}, false, ippStsVLCErr},   // the same code twice
      {{2, 1, 2, 1, 2, 5, -1}, false, ippStsVLCErr},            // a code wider than its length
      {{3, 1, 2, 0, 0, 1, 1, 5, -1}, false, ippStsSizeErr},     // levels shorter than maxLength
      {{1, 1, 2, 1, 1, 5, 1, 1, 6, -1}, false, ippStsSizeErr},  // a code longer than maxLength
      {{16, 1, 16, 1, 1, 5, -1}, false, ippStsSizeErr},         // first level too wide for plain
      {{16, 1, 16, 1, 1, 5, 0, -1}, true, ippStsNoErr},         // but fits run/level storage
      {{1, 1, 1, 1, 1, 1 << 24, -1}, false, ippStsSizeErr},     // a value beyond 24 bits
      {{0, 1, 1, -1}, false, ippStsSizeErr},                    // maxLength 0
      {{1, 0, -1}, false, ippStsSizeErr},                       // no level
      {{1, 9, -1}, false, ippStsSizeErr},                       // nine levels
      {{1, 1, 0, -1}, false, ippStsSizeErr},                    // a level of width 0
  };
  for (const auto& c : descriptions) {
    IppVCHuffmanSpec_32s* built = nullptr;
    const auto build = c.runLevel ? ippiVCHuffmanInitAllocRL_32s : ippiVCHuffmanInitAlloc_32s;
    EXPECT_EQ(build(c.description.data(), &built), c.want) << testing::PrintToString(c.description);
    EXPECT_EQ(built != nullptr, c.want == ippStsNoErr);
    ippiVCHuffmanFree_32s(&built);
  }
  Ipp32u words[2] = {}, *word = words, *none = nullptr;
  int offset = 31, bad[] = {32, -1};
  Ipp32s value = 0;
  EXPECT_EQ(ippiVCHuffmanDecodeOne_1u32s(&none, &offset, &value, table), ippStsNullPtrErr);
  EXPECT_EQ(ippiVCHuffmanDecodeOne_1u32s(&word, &offset, &value, nullptr), ippStsNullPtrErr);
  EXPECT_EQ(ippiVCHuffmanDecodeOne_1u32s(&word, &bad[0], &value, table), ippStsVLCErr);
  EXPECT_EQ(ippiVCHuffmanDecodeOne_1u32s(&word, &bad[1], &value, table), ippStsVLCErr);
  EXPECT_EQ(word, words);
  EXPECT_EQ(ippiVCHuffmanFree_32s(nullptr), ippStsNullPtrErr);
  EXPECT_EQ(ippiVCHuffmanFree_32s(&table), ippStsNoErr);
  EXPECT_EQ(ippiVCHuffmanInitAlloc_32s(nullptr, &table), ippStsNullPtrErr);
  EXPECT_EQ(ippiVCHuffmanInitAllocRL_32s(kCoefficientZeroCodes, nullptr), ippStsNullPtrErr);
  EXPECT_EQ(ippiVCHuffmanFree_32s(&table), ippStsNoErr);  // nothing to free
}

// The reference decoder as a primitive. After an error the outputs are the
// library's (undefined but for the position, checked below).
IppStatus referenceIntra(Ipp32u** word, int* offset, const IppVCHuffmanSpec_32s* first,
                         const IppVCHuffmanSpec_32s* table, const Ipp32s* scan, Ipp32s qp, const Ipp16s* matrix,
                         Ipp16s* predictor, Ipp32s shift, Ipp16s* block, Ipp32s* last) {
  BitSource bits{*word, *offset};
  const Ipp16s before = predictor ? *predictor : 0;
  const ReferenceBlock r =
      referenceBlock(bits, annexB(slotOf(first)), annexB(slotOf(table)), scan, qp, matrix, predictor, shift);
  if (r.status != ippStsNoErr && predictor) *predictor = before;
  if (r.status != ippStsNoErr)
    return predictor
               ? generic::reconstructIntra(word, offset, first, table, scan, qp, matrix, predictor, shift, block, last)
               : generic::reconstructInter(word, offset, first, table, scan, qp, matrix, block, last);
  std::copy_n(r.block, 64, block);
  *last = r.lastIndex;
  *word = const_cast<Ipp32u*>(bits.word);
  *offset = bits.offset;
  return ippStsNoErr;
}

IppStatus referenceInter(Ipp32u** word, int* offset, const IppVCHuffmanSpec_32s* first,
                         const IppVCHuffmanSpec_32s* table, const Ipp32s* scan, Ipp32s qp, const Ipp16s* matrix,
                         Ipp16s* block, Ipp32s* last) {
  return referenceIntra(word, offset, first, table, scan, qp, matrix, nullptr, 0, block, last);
}

TEST(BlockReconstruction, MatchesTheReference) {
  EXPECT_EQ(compareFunctions("", &referenceIntra, &ippiReconstructDCTBlockIntra_MPEG2_32s, 20000), "");
  EXPECT_EQ(compareFunctions("", &referenceInter, &ippiReconstructDCTBlock_MPEG2_32s, 20000), "");
}

// The bits read by a refused block (the offending code stays consumed): luma
// DC or table B.14 first. Then each pointer null in turn (0 the word pointer;
// 8, 9 intra only) or the offset 32 (10), refused before anything is read.
TEST(BlockReconstruction, ErrorPositionsAndBadArguments) {
  struct Case {
    const char* bits;
    VlcSlot first;  // kVlcDcSizeLuma for intra
    int bad;
    IppStatus status;
    int consumed;
  };
  std::vector<Case> cases = {
      {"0000 01 111111 0000 0000 0001 0110", kVlcCoefficientFirst, -1, ippStsVLCErr, 28},  // both past 63
      {"100 0000 01 111110 0000 0000 0001 0000 01 000000 0000 0000 0001 10", kVlcDcSizeLuma, -1, ippStsVLCErr, 51},
      {"0110", kVlcCoefficientOne, -1, ippStsVLCErr, 4},  // end_of_block as the first code
  };
  for (int bad = 0; bad <= 10; ++bad) {
    const IppStatus status = bad == 10 ? ippStsVLCErr : ippStsNullPtrErr;
    cases.push_back({"11 10", kVlcDcSizeLuma, bad, status, bad == 10 ? -1 : 0});
    if (bad < 8 || bad == 10) cases.push_back({"11 10", kVlcCoefficientFirst, bad, status, bad == 10 ? -1 : 0});
  }
  VlcTableSet* tables = acquireVlcTableSet();
  for (const Case& c : cases) {
    const std::vector<Ipp32u> words = BitWriter().putCode(c.bits).words();
    Ipp32u* word = c.bad == 0 ? nullptr : const_cast<Ipp32u*>(words.data());
    int offset = c.bad == 10 ? 32 : 31;
    Ipp16s predictor = 128, block[64];
    Ipp32s last;
    auto p = [&c](int i, auto* pointer) { return i == c.bad ? nullptr : pointer; };
    const IppVCHuffmanSpec_32s *first = tables->table[c.first],
                               *ac = tables->table[std::max(c.first, kVlcCoefficientZero)];
    const IppStatus status =
        c.first == kVlcDcSizeLuma
            ? ippiReconstructDCTBlockIntra_MPEG2_32s(p(1, &word), p(2, &offset), p(3, first), p(4, ac),
                                                     p(5, kScanTables[1]), 8, p(8, kDefaultIntraMatrix),
                                                     p(9, &predictor), 3, p(6, block), p(7, &last))
            : ippiReconstructDCTBlock_MPEG2_32s(p(1, &word), p(2, &offset), p(3, first), p(4, ac), p(5, kScanTables[1]),
                                                8, nullptr, p(6, block), p(7, &last));
    SCOPED_TRACE(testing::Message() << c.bits << ", bad argument " << c.bad);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(word ? (word - words.data()) * 32 + 31 - offset : 0, c.consumed);
  }
  releaseVlcTableSet();
}

// F(u, v) = 1/4 C(u) C(v) sum f(x, y) cos((2x + 1) u pi / 16) cos((2y + 1)
// v pi / 16), or its inverse, in raster order.
void referenceTransform(const double* in, double* out, bool inverse) {
  static double basis[8][8];  // [k][n]: C(k) cos((2n + 1) k pi / 16)
  for (int i = 0; i < 64; ++i)
    basis[i / 8][i % 8] = (i < 8 ? std::sqrt(0.5) : 1.0) * std::cos((2 * (i % 8) + 1) * (i / 8) * M_PI / 16);
  for (int a = 0; a < 64; ++a) {
    out[a] = 0;
    for (int b = 0; b < 64; ++b) {
      out[a] +=
          in[b] / 4 * (inverse ? basis[b / 8][a / 8] * basis[b % 8][a % 8] : basis[a / 8][b / 8] * basis[a % 8][b % 8]);
    }
  }
}

int roundClip(double v, int low, int high) { return int(std::clamp(std::floor(v + 0.5), double(low), double(high))); }

// IEEE 1180-1990: pixels in [-low, high] (times sign) from its generator, the
// forward transform rounded and clipped to 12 bits; the outputs clipped to
// [-256, 255] may differ from the exact inverse's by 1 at most, with the
// limits on mean square and mean error per position and overall.
TEST(InverseDct, MeetsTheAccuracyLimitsOfIeee1180) {
  constexpr int kBlocks = 10000;
  const std::tuple<int, int, int> kRanges[] = {{256, 255, 1},  {5, 5, 1},  {300, 300, 1},
                                               {256, 255, -1}, {5, 5, -1}, {300, 300, -1}};
  for (const auto& [low, high, sign] : kRanges) {
    SCOPED_TRACE(testing::Message() << "range " << low << ", " << high << ", sign " << sign);
    uint32_t state = 1;
    double squared[64] = {}, sum[64] = {}, totalSquared = 0, total = 0;
    for (int block = 0; block < kBlocks; ++block) {
      double pixels[64], coefficients[64], reconstructed[64];
      for (double& p : pixels) {
        state = state * 1103515245u + 12345u;
        p = sign * (int(double(state & 0x7ffffffeu) / 0x7fffffff * (low + high + 1)) - low);
      }
      referenceTransform(pixels, coefficients, false);
      Ipp16s input[64], out[64];
      for (int i = 0; i < 64; ++i) input[i] = Ipp16s(coefficients[i] = roundClip(coefficients[i], -2048, 2047));
      referenceTransform(coefficients, reconstructed, true);
      ASSERT_EQ(ippiDCT8x8Inv_16s_C1R(input, out, 16), ippStsNoErr);
      for (int i = 0; i < 64; ++i) {
        const int e = std::clamp<int>(out[i], -256, 255) - roundClip(reconstructed[i], -256, 255);
        ASSERT_LE(std::abs(e), 1) << "block " << block << " position " << i;
        squared[i] += e * e, sum[i] += e, totalSquared += e * e, total += e;
      }
    }
    for (int i = 0; i < 64; ++i) {
      EXPECT_LE(squared[i] / kBlocks, 0.06) << "position " << i;
      EXPECT_LE(std::abs(sum[i]) / kBlocks, 0.015) << "position " << i;
    }
    EXPECT_LE(totalSquared / (64.0 * kBlocks), 0.02);
    EXPECT_LE(std::abs(total) / (64.0 * kBlocks), 0.0015);
  }
}

// The statuses the kernels give before touching anything: null pointers,
// empty copies and steps below 1. (Their outputs are held to the generic
// ones by the variant harness, the generic ones to FFmpeg and libmpeg2 by
// the corpus decode and, for the byte copy, to the file reader's model.)
TEST(Kernels, RefuseNullPointersEmptyCopiesAndSteps) {
  Ipp8u bytes[64] = {};
  Ipp16s block[64] = {};
  EXPECT_EQ(ippiDCT8x8Inv_16s_C1R(block, nullptr, 16), ippStsNullPtrErr);
  EXPECT_EQ(ippiDCT8x8Inv_16s_C1R(block, block, 0), ippStsStepErr);
  EXPECT_EQ(ippiDCT8x8InvLSClip_16s8u_C1R(nullptr, bytes, 8, 0, 0, 255), ippStsNullPtrErr);
  for (McOneFn* one : {ippiMC16x16_8u_C1, ippiMC16x8_8u_C1, ippiMC8x16_8u_C1, ippiMC8x8_8u_C1, ippiMC8x4_8u_C1,
                       ippiMC4x8_8u_C1, ippiMC4x4_8u_C1, ippiMC4x2_8u_C1})
    EXPECT_EQ(one(bytes, 8, nullptr, 16, bytes, 8, 0, 0), ippStsNullPtrErr);
  for (McTwoFn* two : {ippiMC16x16B_8u_C1, ippiMC16x8B_8u_C1, ippiMC8x16B_8u_C1, ippiMC8x8B_8u_C1, ippiMC8x4B_8u_C1,
                       ippiMC4x8B_8u_C1, ippiMC4x4B_8u_C1, ippiMC4x2B_8u_C1})
    EXPECT_EQ(two(bytes, 8, 0, nullptr, 8, 0, block, 16, bytes, 8, 0), ippStsNullPtrErr);
  EXPECT_EQ(ippiCopy_8u_C1R(bytes, 1, nullptr, 1, {1, 1}), ippStsNullPtrErr);
  EXPECT_EQ(ippiCopy_8u_C1R(bytes, 1, bytes + 8, 1, {0, 1}), ippStsSizeErr);
  EXPECT_EQ(ippiCopy_8u_C1R(bytes, 0, bytes + 8, 1, {1, 1}), ippStsStepErr);
  EXPECT_EQ(ippsCopy_8u(nullptr, bytes, 1), ippStsNullPtrErr);
  EXPECT_EQ(ippsCopy_8u(bytes, bytes + 8, 0), ippStsSizeErr);
}

}  // namespace
}  // namespace quarlin::test
