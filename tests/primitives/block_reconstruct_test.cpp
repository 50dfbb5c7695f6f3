// Block reconstruction against the reference decoder on random valid streams
// (every table, scan, quantiser code and matrix kind), on random bits, and on
// the boundary cases of the coefficient syntax.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "bit_writer.h"
#include "block_coding.h"
#include "built_table.h"
#include "primitives/mpeg2_tables.h"
#include "primitives/primitives.h"
#include "primitives/vlc_descriptions.h"

namespace quarlin::test {
namespace {

CodeList codesOf(VlcSlot slot) {
  return parseDescription(kVlcSlotDescriptions[slot].codes, kVlcSlotDescriptions[slot].runLevel);
}

// Built tables and code lists of every slot the block decoder uses.
class BlockReconstruction : public testing::Test {
 protected:
  BuiltTable dcLuma{kVlcDcSizeLuma}, dcChroma{kVlcDcSizeChroma};
  BuiltTable first{kVlcCoefficientFirst}, zero{kVlcCoefficientZero}, one{kVlcCoefficientOne};
  const CodeList dcLumaCodes = codesOf(kVlcDcSizeLuma);
  const CodeList dcChromaCodes = codesOf(kVlcDcSizeChroma);
  const CodeList firstCodes = codesOf(kVlcCoefficientFirst);
  const CodeList zeroCodes = codesOf(kVlcCoefficientZero);
  const CodeList oneCodes = codesOf(kVlcCoefficientOne);
  std::mt19937 random{20240611};

  std::vector<Ipp16s> randomMatrix() {
    std::vector<Ipp16s> m(64);
    for (Ipp16s& w : m) w = Ipp16s(1 + random() % 255);
    return m;
  }
};

struct Outcome {
  IppStatus status;
  Ipp16s block[64];
  Ipp32s lastIndex = -99;
};

void expectSameBlock(const Outcome& got, const ReferenceBlock& want) {
  ASSERT_EQ(got.status, want.status);
  if (want.status != ippStsNoErr) return;
  for (int i = 0; i < 64; ++i) ASSERT_EQ(got.block[i], want.block[i]) << "coefficient " << i;
  EXPECT_EQ(got.lastIndex, want.lastIndex);
}

// Several intra blocks in one stream, for every combination of AC table,
// scan, q_scale_type, quantiser code, matrix kind, DC table and DC precision:
// the coefficients, the predictor carried from block to block and the bit
// position after each block must match the reference.
TEST_F(BlockReconstruction, RandomIntraBlocksMatchTheReference) {
  for (const bool tableOne : {false, true}) {
    const CodeList& acCodes = tableOne ? oneCodes : zeroCodes;
    for (int scan = 0; scan < 2; ++scan) {
      for (int qType = 0; qType < 2; ++qType) {
        for (int code = 1; code < 32; ++code) {
          for (const bool loaded : {false, true}) {
            const std::vector<Ipp16s> matrix =
                loaded ? randomMatrix()
                       : std::vector<Ipp16s>(kDefaultIntraMatrix, kDefaultIntraMatrix + 64);
            const int qp = kQuantiserScale[qType][code];
            const bool chroma = code % 2 == 1;
            const int shift = code % 4;
            std::vector<BlockCodes> blocks;
            BitWriter w;
            for (int b = 0; b < 3; ++b) {
              blocks.push_back(randomIntraBlock(random, acCodes));
              encodeIntra(w, chroma ? dcChromaCodes : dcLumaCodes, acCodes, blocks.back());
            }
            const std::vector<Ipp32u> words = w.words();
            Ipp32u* word = const_cast<Ipp32u*>(words.data());
            int offset = 31;
            BitSource source(words.data(), 31);
            Ipp16s predictor = 128, referencePredictor = 128;
            for (size_t b = 0; b < blocks.size(); ++b) {
              Outcome got;
              got.status = ippiReconstructDCTBlockIntra_MPEG2_32s(
                  &word, &offset, chroma ? dcChroma.get() : dcLuma.get(),
                  tableOne ? one.get() : zero.get(), kScanTables[scan], qp, matrix.data(),
                  &predictor, shift, got.block, &got.lastIndex);
              const QuantiserSetup q{kScanTables[scan], qp, matrix.data()};
              const ReferenceBlock want =
                  referenceIntra(source, chroma ? dcChromaCodes : dcLumaCodes, acCodes, q,
                                 referencePredictor, shift);
              SCOPED_TRACE(testing::Message() << "table " << tableOne << " scan " << scan << " q "
                                              << qType << "/" << code << " block " << b);
              ASSERT_NO_FATAL_FAILURE(expectSameBlock(got, want));
              ASSERT_EQ(predictor, referencePredictor);
              ASSERT_EQ(word, source.word());
              ASSERT_EQ(offset, source.offset());
            }
          }
        }
      }
    }
  }
}

TEST_F(BlockReconstruction, RandomNonIntraBlocksMatchTheReference) {
  for (int scan = 0; scan < 2; ++scan) {
    for (int qType = 0; qType < 2; ++qType) {
      for (int code = 1; code < 32; ++code) {
        for (const bool loaded : {false, true}) {
          const std::vector<Ipp16s> matrix = randomMatrix();
          const Ipp16s* weights = loaded ? matrix.data() : nullptr;
          const int qp = kQuantiserScale[qType][code];
          std::vector<BlockCodes> blocks;
          BitWriter w;
          w.put(random(), int(random() % 32));  // start at any bit offset
          const size_t skip = w.bitCount();
          for (int b = 0; b < 3; ++b) {
            blocks.push_back(randomNonIntraBlock(random, zeroCodes));
            encodeNonIntra(w, zeroCodes, blocks.back());
          }
          const std::vector<Ipp32u> words = w.words();
          BitSource source(words.data(), 31);
          source.bits(int(skip));
          Ipp32u* word = const_cast<Ipp32u*>(source.word());
          int offset = source.offset();
          for (size_t b = 0; b < blocks.size(); ++b) {
            Outcome got;
            got.status = ippiReconstructDCTBlock_MPEG2_32s(&word, &offset, first.get(), zero.get(),
                                                           kScanTables[scan], qp, weights,
                                                           got.block, &got.lastIndex);
            const QuantiserSetup q{kScanTables[scan], qp, weights};
            const ReferenceBlock want = referenceNonIntra(source, firstCodes, zeroCodes, q);
            SCOPED_TRACE(testing::Message() << "scan " << scan << " q " << qType << "/" << code
                                            << " loaded " << loaded << " block " << b);
            ASSERT_NO_FATAL_FAILURE(expectSameBlock(got, want));
            ASSERT_EQ(word, source.word());
            ASSERT_EQ(offset, source.offset());
          }
        }
      }
    }
  }
}

// Random bits: mostly invalid codes, index overflows and long blocks. The
// status must match the reference, and so must the block when both succeed.
TEST_F(BlockReconstruction, RandomBitsGiveTheReferenceStatus) {
  int failures = 0;
  for (int trial = 0; trial < 20000; ++trial) {
    std::vector<Ipp32u> words(40);
    for (Ipp32u& v : words) v = random() & random();  // sparse ones: long codes, escapes
    const int offset0 = int(random() % 32);
    const bool intra = trial % 2 == 0;
    const std::vector<Ipp16s> matrix = randomMatrix();
    const QuantiserSetup q{kScanTables[trial % 3 == 0], 2 + trial % 50, matrix.data()};
    Ipp32u* word = words.data();
    int offset = offset0;
    BitSource source(words.data(), offset0);
    Outcome got;
    ReferenceBlock want;
    if (intra) {
      Ipp16s predictor = 0, referencePredictor = 0;
      got.status = ippiReconstructDCTBlockIntra_MPEG2_32s(&word, &offset, dcLuma.get(), one.get(),
                                                          q.scan, q.qp, q.weights, &predictor, 1,
                                                          got.block, &got.lastIndex);
      want = referenceIntra(source, dcLumaCodes, oneCodes, q, referencePredictor, 1);
    } else {
      got.status =
          ippiReconstructDCTBlock_MPEG2_32s(&word, &offset, first.get(), zero.get(), q.scan, q.qp,
                                            q.weights, got.block, &got.lastIndex);
      want = referenceNonIntra(source, firstCodes, zeroCodes, q);
    }
    ASSERT_NO_FATAL_FAILURE(expectSameBlock(got, want)) << "trial " << trial;
    failures += got.status != ippStsNoErr;
  }
  EXPECT_GT(failures, 1000);  // the bits did exercise the error paths
}

// A run/level table built from a coefficient description with other lookup
// widths: the decoders have one loop for the usual 9-bit first level and a
// general one for any other layout.
class RelaidTable {
 public:
  RelaidTable(const Ipp32s* description, const std::vector<Ipp32s>& widths) {
    std::vector<Ipp32s> d = {description[0], Ipp32s(widths.size())};
    d.insert(d.end(), widths.begin(), widths.end());
    const Ipp32s* p = description + 2 + description[1];
    for (; *p != -1; p += 1 + 3 * *p) d.insert(d.end(), p, p + 1 + 3 * *p);
    d.push_back(-1);
    status_ = ippiVCHuffmanInitAllocRL_32s(d.data(), &table_);
  }
  ~RelaidTable() { ippiVCHuffmanFree_32s(&table_); }
  RelaidTable(const RelaidTable&) = delete;
  RelaidTable& operator=(const RelaidTable&) = delete;
  IppStatus status() const { return status_; }
  const IppVCHuffmanSpec_32s* get() const { return table_; }

 private:
  IppVCHuffmanSpec_32s* table_ = nullptr;
  IppStatus status_ = ippStsNoErr;
};

TEST_F(BlockReconstruction, TablesWithOtherLookupWidthsDecodeLikeTheReference) {
  const std::vector<std::vector<Ipp32s>> layouts = {{10, 4, 3}, {6, 6, 5}, {4, 4, 4, 5}, {12, 5}};
  for (const std::vector<Ipp32s>& widths : layouts) {
    SCOPED_TRACE(testing::Message() << "first level " << widths[0] << " of " << widths.size());
    const RelaidTable firstTable(kCoefficientFirstCodes, widths);
    const RelaidTable zeroTable(kCoefficientZeroCodes, widths);
    const RelaidTable oneTable(kCoefficientOneCodes, widths);
    ASSERT_EQ(firstTable.status(), ippStsNoErr);
    ASSERT_EQ(zeroTable.status(), ippStsNoErr);
    ASSERT_EQ(oneTable.status(), ippStsNoErr);
    const std::vector<Ipp16s> matrix = randomMatrix();
    const QuantiserSetup q{kScanTables[0], 10, matrix.data()};
    for (int trial = 0; trial < 200; ++trial) {
      BitWriter w;
      const bool intra = trial % 2 == 0;
      const BlockCodes b =
          intra ? randomIntraBlock(random, oneCodes) : randomNonIntraBlock(random, zeroCodes);
      if (intra) {
        encodeIntra(w, dcLumaCodes, oneCodes, b);
      } else {
        encodeNonIntra(w, zeroCodes, b);
      }
      const std::vector<Ipp32u> words = w.words();
      Ipp32u* word = const_cast<Ipp32u*>(words.data());
      int offset = 31;
      BitSource source(words.data(), 31);
      Outcome got;
      ReferenceBlock want;
      if (intra) {
        Ipp16s predictor = 0, referencePredictor = 0;
        got.status = ippiReconstructDCTBlockIntra_MPEG2_32s(
            &word, &offset, dcLuma.get(), oneTable.get(), q.scan, q.qp, q.weights, &predictor, 1,
            got.block, &got.lastIndex);
        want = referenceIntra(source, dcLumaCodes, oneCodes, q, referencePredictor, 1);
      } else {
        got.status =
            ippiReconstructDCTBlock_MPEG2_32s(&word, &offset, firstTable.get(), zeroTable.get(),
                                              q.scan, q.qp, q.weights, got.block, &got.lastIndex);
        want = referenceNonIntra(source, firstCodes, zeroCodes, q);
      }
      ASSERT_NO_FATAL_FAILURE(expectSameBlock(got, want)) << "trial " << trial;
      ASSERT_EQ(word, source.word());
      ASSERT_EQ(offset, source.offset());
    }
    // Random bits: invalid codes and overflows through the general loop.
    for (int trial = 0; trial < 2000; ++trial) {
      std::vector<Ipp32u> words(40);
      for (Ipp32u& v : words) v = random() & random();
      Ipp32u* word = words.data();
      int offset = int(random() % 32);
      BitSource source(words.data(), offset);
      Outcome got;
      got.status =
          ippiReconstructDCTBlock_MPEG2_32s(&word, &offset, firstTable.get(), zeroTable.get(),
                                            q.scan, q.qp, q.weights, got.block, &got.lastIndex);
      const ReferenceBlock want = referenceNonIntra(source, firstCodes, zeroCodes, q);
      ASSERT_NO_FATAL_FAILURE(expectSameBlock(got, want)) << "random trial " << trial;
    }
  }
}

struct Stream {
  std::vector<Ipp32u> words;
  Ipp32u* word;
  int offset = 31;
  explicit Stream(const BitWriter& w) : words(w.words()), word(words.data()) {}
};

TEST_F(BlockReconstruction, DcOnlyIntraBlockGetsMismatchControl) {
  BitWriter w;
  w.putBits("100");   // dct_dc_size_luminance 0
  w.putBits("0110");  // end_of_block, table one
  Stream s(w);
  Ipp16s predictor = 128, block[64];
  Ipp32s last = -1;
  ASSERT_EQ(ippiReconstructDCTBlockIntra_MPEG2_32s(&s.word, &s.offset, dcLuma.get(), one.get(),
                                                   kScanTables[0], 2, kDefaultIntraMatrix,
                                                   &predictor, 3, block, &last),
            ippStsNoErr);
  EXPECT_EQ(block[0], 1024);
  EXPECT_EQ(block[63], 1);  // 1024 is even
  for (int i = 1; i < 63; ++i) EXPECT_EQ(block[i], 0);
  EXPECT_EQ(last, 0);
  EXPECT_EQ(s.offset, 31 - 7);
}

IppStatus nonIntra(Stream& s, const BuiltTable& first, const BuiltTable& table,
                   const Ipp16s* matrix, int qp, Ipp16s* block, Ipp32s* last) {
  return ippiReconstructDCTBlock_MPEG2_32s(&s.word, &s.offset, first.get(), table.get(),
                                           kScanTables[0], qp, matrix, block, last);
}

TEST_F(BlockReconstruction, FirstCoefficientOneSWithSignSetIsMinusOne) {
  BitWriter w;
  w.putBits("11 10");  // 1s with s = 1, end_of_block
  Stream s(w);
  Ipp16s block[64];
  Ipp32s last = -1;
  ASSERT_EQ(nonIntra(s, first, zero, nullptr, 2, block, &last), ippStsNoErr);
  EXPECT_EQ(block[0], -3);  // ((2 * -1 - 1) * 16 * 2) / 32, odd: no toggle
  EXPECT_EQ(block[63], 0);
  EXPECT_EQ(last, 1);  // index 0 is reported as 1
  EXPECT_EQ(s.offset, 31 - 4);
}

TEST_F(BlockReconstruction, NullMatrixIsFlatSixteen) {
  BitWriter w;
  w.putBits("10 10");  // 1s with s = 0, end_of_block
  Stream s(w);
  Ipp16s block[64];
  Ipp32s last = -1;
  ASSERT_EQ(nonIntra(s, first, zero, nullptr, 2, block, &last), ippStsNoErr);
  EXPECT_EQ(block[0], 3);  // (3 * 16 * 2) / 32
}

void putEscape(BitWriter& w, int run, int level) {
  w.putBits("0000 01");
  w.put(uint32_t(run), 6);
  w.put(uint32_t(level) & 0xFFF, 12);
}

TEST_F(BlockReconstruction, EscapeWithRunSixtyThreeFillsTheLastPosition) {
  BitWriter ok;
  putEscape(ok, 63, -5);
  ok.putBits("10");
  Stream s(ok);
  Ipp16s block[64];
  Ipp32s last = -1;
  ASSERT_EQ(nonIntra(s, first, zero, nullptr, 4, block, &last), ippStsNoErr);
  EXPECT_EQ(block[63], -22 + 1);  // (-11 * 16 * 4) / 32 = -22, even sum: toggled
  EXPECT_EQ(last, 63);

  BitWriter overflow;
  putEscape(overflow, 63, 1);
  overflow.putBits("011 0");  // run 1, level 1 after the last position
  Stream t(overflow);
  EXPECT_EQ(nonIntra(t, first, zero, nullptr, 4, block, &last), ippStsVLCErr);
  EXPECT_EQ(t.offset, 31 - 24 - 4);  // the offending code stays consumed
}

TEST_F(BlockReconstruction, IntraIndexOverflowIsRejected) {
  BitWriter w;
  w.putBits("100");  // DC size 0
  putEscape(w, 62, 1);
  putEscape(w, 0, 1);  // index 64
  w.putBits("10");
  Stream s(w);
  Ipp16s predictor = 0, block[64];
  Ipp32s last = -1;
  EXPECT_EQ(ippiReconstructDCTBlockIntra_MPEG2_32s(&s.word, &s.offset, dcLuma.get(), zero.get(),
                                                   kScanTables[1], 8, kDefaultIntraMatrix,
                                                   &predictor, 0, block, &last),
            ippStsVLCErr);
}

TEST_F(BlockReconstruction, UnmatchedCodesAreRejected) {
  Ipp16s block[64];
  Ipp32s last = -1;
  BitWriter firstCode;
  firstCode.putBits("0000 0000 0000 0000 0");  // no B.14 code starts with 12 zeros
  Stream s(firstCode);
  EXPECT_EQ(nonIntra(s, first, zero, nullptr, 4, block, &last), ippStsVLCErr);

  BitWriter laterCode;
  laterCode.putBits("10 0000 0000 0000 0000 0");
  Stream t(laterCode);
  EXPECT_EQ(nonIntra(t, first, zero, nullptr, 4, block, &last), ippStsVLCErr);

  BitWriter endOfBlockFirst;  // table one's end_of_block where a coefficient must stand
  endOfBlockFirst.putBits("0110");
  Stream u(endOfBlockFirst);
  EXPECT_EQ(nonIntra(u, one, one, nullptr, 4, block, &last), ippStsVLCErr);
}

// No saturation to [-2048, 2047]: the value is kept in 16 bits as computed.
TEST_F(BlockReconstruction, DequantisedValuesAreNotSaturated) {
  const std::vector<Ipp16s> heavy(64, 255);
  BitWriter w;
  putEscape(w, 0, 2047);
  w.putBits("10");
  Stream s(w);
  Ipp16s block[64];
  Ipp32s last = -1;
  ASSERT_EQ(nonIntra(s, first, zero, heavy.data(), 112, block, &last), ippStsNoErr);
  const int64_t computed = int64_t(2 * 2047 + 1) * 255 * 112 / 32;  // 3654787
  EXPECT_EQ(block[0], Ipp16s(computed));
}

TEST_F(BlockReconstruction, NullPointersAreRejected) {
  BitWriter w;
  w.putBits("10 10");
  Stream s(w);
  Ipp32u* nullWord = nullptr;
  Ipp16s predictor = 0, block[64];
  Ipp32s last = 0;
  const Ipp32s* scan = kScanTables[0];
  const Ipp16s* m = kDefaultIntraMatrix;
  EXPECT_EQ(ippiReconstructDCTBlock_MPEG2_32s(&nullWord, &s.offset, first.get(), zero.get(), scan,
                                              2, m, block, &last),
            ippStsNullPtrErr);
  EXPECT_EQ(ippiReconstructDCTBlock_MPEG2_32s(&s.word, &s.offset, nullptr, zero.get(), scan, 2, m,
                                              block, &last),
            ippStsNullPtrErr);
  EXPECT_EQ(ippiReconstructDCTBlock_MPEG2_32s(&s.word, &s.offset, first.get(), zero.get(), nullptr,
                                              2, m, block, &last),
            ippStsNullPtrErr);
  EXPECT_EQ(ippiReconstructDCTBlock_MPEG2_32s(&s.word, &s.offset, first.get(), zero.get(), scan, 2,
                                              m, nullptr, &last),
            ippStsNullPtrErr);
  EXPECT_EQ(ippiReconstructDCTBlockIntra_MPEG2_32s(&s.word, &s.offset, dcLuma.get(), zero.get(),
                                                   scan, 2, nullptr, &predictor, 0, block, &last),
            ippStsNullPtrErr);
  EXPECT_EQ(ippiReconstructDCTBlockIntra_MPEG2_32s(&s.word, &s.offset, dcLuma.get(), zero.get(),
                                                   scan, 2, m, nullptr, 0, block, &last),
            ippStsNullPtrErr);
  EXPECT_EQ(ippiReconstructDCTBlockIntra_MPEG2_32s(nullptr, &s.offset, dcLuma.get(), zero.get(),
                                                   scan, 2, m, &predictor, 0, block, &last),
            ippStsNullPtrErr);
  EXPECT_EQ(s.word, s.words.data());
  EXPECT_EQ(s.offset, 31);
}

}  // namespace
}  // namespace quarlin::test
