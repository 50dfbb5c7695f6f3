// Decoding, inverse scan, inverse quantisation and mismatch control of one
// 8x8 block (ISO/IEC 13818-2 7.2 to 7.4), straight into the destination.
// Unlike 7.4.3 the dequantised coefficients are not saturated to
// [-2048, 2047]: each is stored in 16 bits as computed.
//
// The codes are read through a BitCache kept in locals (one shift and one
// lookup per common code); the position written back is exactly where a
// code-by-code reader would stand, also after an error.
#include <cstdint>
#include <cstring>

#include "primitives/bit_cache.h"
#include "primitives/block_decode.h"
#include "primitives/generic_primitives.h"
#include "primitives/vlc_cache_lookup.h"
#include "primitives/vlc_lookup.h"
#include "primitives/vlc_table_set.h"

namespace quarlin::generic {
namespace {

constexpr int kLastIndex = 63;
constexpr int kEscapeBits = 18;  // 6-bit run, 12-bit two's-complement level
constexpr int kMaxDcSize = 11;

struct FlatMatrix {
  Ipp16s weight[64];
  constexpr FlatMatrix() : weight() {
    for (Ipp16s& w : weight) w = 16;
  }
};
constexpr FlatMatrix kFlatMatrix;

// Zeroing the coefficients by copying a zero block: compilers emit a few
// vector stores for it, where a 128-byte memset may become a string
// instruction with a long start-up.
alignas(16) constexpr Ipp16s kZeroBlock[64] = {};

inline void clearBlock(Ipp16s* block) { std::memcpy(block, kZeroBlock, sizeof kZeroBlock); }

// Truncating division by 32 of a product; the caller keeps the low 16 bits.
// |numerator| stays below 2^60 for any level (|level| <= 2048), weight (16
// bits) and QP (32 bits).
inline int64_t divideBy32(int64_t numerator) { return (numerator + ((numerator >> 63) & 31)) >> 5; }

// Intra AC: (level * W * 2 * QP) / 32.
struct IntraQuantiser {
  int64_t twiceQp;
  int64_t operator()(int level, int weight) const { return divideBy32(int64_t{level} * weight * twiceQp); }
  int64_t nonZero(int level, int weight) const { return (*this)(level, weight); }
};

// Non-intra: ((2 * level + sign(level)) * W * QP) / 32, sign(0) = 0 as in 7.4.2.3.
// nonZero() serves the leaves without vlc::kZeroLevelFlag: 2 * level + sign(level)
// is then 2 * level + 1, less 2 when negative.
struct NonIntraQuantiser {
  int64_t qp;
  int64_t operator()(int level, int weight) const {
    return scaled(2 * level + (level > 0) - (level < 0), weight);
  }
  int64_t nonZero(int level, int weight) const { return scaled(2 * level + 1 + 2 * (level >> 31), weight); }
  int64_t scaled(int scaledLevel, int weight) const { return divideBy32(int64_t{scaledLevel} * weight * qp); }
};

// Coefficient placement state: the running scan index and the parity of the
// sum of all stored coefficients (for mismatch control; any value with the
// stored coefficient's low bit serves).
struct BlockState {
  Ipp16s* block;
  const Ipp32s* scan;
  const Ipp16s* weights;
  uint32_t index;  // unsigned: no sign extension on the scan's addressing
  uint32_t parity;
};

// Places `level` `run` positions after the previous coefficient; false when
// that passes position 63. The scan entry is masked so that no table can
// address outside the block. kNonZero: `level` is known not to be 0.
template <bool kNonZero = false, typename Quantiser>
inline bool place(BlockState& s, int run, int level, Quantiser quantise) {
  s.index += static_cast<uint32_t>(run) + 1;
  if (s.index > kLastIndex) return false;
  const int position = s.scan[s.index] & kLastIndex;
  const int weight = s.weights[position];
  const int64_t value = kNonZero ? quantise.nonZero(level, weight) : quantise(level, weight);
  s.block[position] = static_cast<Ipp16s>(value);
  s.parity ^= static_cast<uint32_t>(value);
  return true;
}

inline int escapeLevel(uint32_t bits) {
  return static_cast<int32_t>((bits & 0xFFF) << 20) >> 20;  // -2048..2047
}

// Reads the run and level of one looked-up code; false for an unmatched code
// or an end_of_block where none may stand.
inline bool runAndLevel(int32_t entry, BitCache& bits, int& run, int& level) {
  run = vlc::leafRun(entry);
  level = vlc::leafLevel(entry);
  if (run != kRunEscape) return run < kRunEndOfBlock && entry != vlc::kMarker;
  bits.fill();
  const uint32_t escape = bits.read(kEscapeBits);
  run = static_cast<int>(escape >> 12);
  level = escapeLevel(escape);
  return true;
}

// A leaf of an ordinary coefficient: low byte (code bits, 1..16) without
// the link or zero-level flags and a run below 128, so neither end_of_block
// (254), escape (255) nor the marker (run byte 0xF1), and a level not 0.
constexpr int32_t kSpecialEntryBits = 0x8000 | vlc::kLinkFlag | vlc::kZeroLevelFlag;

// Decodes codes with `table` until end_of_block. The common codes, leaves of
// ordinary coefficients in the first or second level, cost one lookup per
// level and one test (a link fails it too); escapes, end_of_block, unmatched
// codes and deeper levels take the general path. kFirstWidth is the table's
// first lookup width when known at compile time (0: read from the table).
template <int kFirstWidth, typename Quantiser>
inline IppStatus decodeCoefficients(const int32_t* table, BitCache& bits, BlockState& s,
                                    Quantiser quantise) {
  const int firstWidth = kFirstWidth != 0 ? kFirstWidth : table[0];
  const int32_t* first = table + 1;
  for (;;) {
    bits.fill();
    int32_t entry = first[bits.index(firstWidth)];
    if ((entry & kSpecialEntryBits) != 0) [[unlikely]] {
      int width = firstWidth;
      if (vlc::isLink(entry)) {
        // At least 32 - 16 bits stay valid for the second level's lookup.
        bits.skip(width);
        const int32_t* level = table + vlc::linkOffset(entry);
        width = level[0];
        entry = level[1 + bits.index(width)];
      }
      if ((entry & kSpecialEntryBits) != 0) {
        entry = finishLookup(table, width, entry, bits);
        if (vlc::leafRun(entry) == kRunEndOfBlock) return ippStsNoErr;
        int run, level;
        if (!runAndLevel(entry, bits, run, level)) return ippStsVLCErr;
        if (!place(s, run, level, quantise)) return ippStsVLCErr;
        continue;
      }
    }
    bits.skip(entry & vlc::kLowByteMask);  // no flag set: the low byte is the code's bits
    if (!place<true>(s, vlc::leafRun(entry), vlc::leafLevel(entry), quantise)) return ippStsVLCErr;
    // More common codes without a fill: a first-level leaf has at most
    // kFirstWidth bits, so a fill's 32 bits cover 32 / kFirstWidth lookups
    // (two at 11 bits, three at 9). The fill's test follows the code lengths
    // and is often mispredicted; here it runs once for all of them. Anything
    // else goes back to the top, which fills and looks the code up again.
    if constexpr (kFirstWidth != 0) {
      for (int i = 1; i < BitCache::kGuaranteed / kFirstWidth; ++i) {
        entry = first[bits.index(firstWidth)];
        if ((entry & kSpecialEntryBits) != 0) break;
        bits.skip(entry & vlc::kLowByteMask);
        if (!place<true>(s, vlc::leafRun(entry), vlc::leafLevel(entry), quantise)) return ippStsVLCErr;
      }
    }
  }
}

// The coefficient tables built from the ISO/IEC 13818-2 code tables look up
// 11 bits first; with that width as a constant the loop's shifts take
// immediate counts. Other tables take the general loop.
constexpr int kCoefficientFirstWidth = 11;

template <typename Quantiser>
inline IppStatus decodeAllCoefficients(const int32_t* table, BitCache& bits, BlockState& s,
                                       Quantiser quantise) {
  if (table[0] == kCoefficientFirstWidth) {
    return decodeCoefficients<kCoefficientFirstWidth>(table, bits, s, quantise);
  }
  return decodeCoefficients<0>(table, bits, s, quantise);
}

// Mismatch control (7.4.4): an even sum toggles the last bit of coefficient 63.
inline void controlMismatch(BlockState& s) {
  s.block[kLastIndex] ^= static_cast<Ipp16s>(~s.parity & 1);  // no branch: the sum's parity is data
}

// dct_dc_size and dc_dct_differential (7.2.1); false for an unmatched size code.
inline bool decodeDcDifferential(const int32_t* table, BitCache& bits, int& differential) {
  const int32_t entry = lookupCode(table, bits);
  const int size = vlc::leafValue(entry);
  if (entry == vlc::kMarker || size < 0 || size > kMaxDcSize) return false;
  // Without branches on the size or the sign, which follow the picture: a
  // value below half the range 2^size is negative (value + 1 - 2^size); size
  // 0 reads nothing and gives 0.
  bits.fill();
  const int value = static_cast<int>(bits.readUpTo(size));
  const int half = (1 << size) >> 1;
  differential = value - ((2 * half - 1) & -static_cast<int>(value < half));
  return true;
}

// The first coefficient of a non-intra block ("1s" is run 0, level +-1 in
// the first-coefficient table): an ordinary leaf of the first level costs one
// lookup, as in the loop; anything else takes the general walk.
inline bool decodeFirstCoefficient(const int32_t* firstTable, BitCache& bits, int& run,
                                   int& level) {
  bits.fill();
  const int width = firstTable[0];
  const int32_t entry = firstTable[1 + bits.index(width)];
  if ((entry & kSpecialEntryBits) == 0) {
    bits.skip(entry & vlc::kLowByteMask);
    run = vlc::leafRun(entry);
    level = vlc::leafLevel(entry);
    return true;
  }
  return runAndLevel(finishLookup(firstTable, width, entry, bits), bits, run, level);
}

// Inlined into the block decoders below, so that their copy of the cache
// stays in registers.
[[gnu::always_inline]] inline IppStatus intraBlock(BitCache& bits, const int32_t* dcTable,
                                                   const int32_t* acTable, Ipp16s* dcPredictor,
                                                   Ipp32s dcShift, BlockState& s, Ipp32s QP) {
  int differential = 0;
  if (!decodeDcDifferential(dcTable, bits, differential)) return ippStsVLCErr;
  *dcPredictor = static_cast<Ipp16s>(*dcPredictor + differential);
  const uint32_t dc = static_cast<uint32_t>(*dcPredictor) << (dcShift & 15);
  s.block[0] = static_cast<Ipp16s>(dc);
  s.parity = static_cast<uint32_t>(s.block[0]);
  const IppStatus status = decodeAllCoefficients(acTable, bits, s, IntraQuantiser{2 * int64_t{QP}});
  if (status == ippStsNoErr) controlMismatch(s);
  return status;
}

[[gnu::always_inline]] inline IppStatus nonIntraBlock(BitCache& bits, const int32_t* firstTable,
                                                      const int32_t* table, BlockState& s, Ipp32s QP) {
  const NonIntraQuantiser quantise{QP};
  int run = 0;
  int level = 0;
  if (!decodeFirstCoefficient(firstTable, bits, run, level)) return ippStsVLCErr;
  if (!place(s, run, level, quantise)) return ippStsVLCErr;
  const IppStatus status = decodeAllCoefficients(table, bits, s, quantise);
  if (status == ippStsNoErr) controlMismatch(s);
  return status;
}

}  // namespace

IppStatus decodeIntraBlock(BitCache& bits, const int32_t* dcTable, const int32_t* acTable,
                           const Ipp32s* scan, Ipp32s QP, const Ipp16s* matrix, Ipp16s* dcPredictor,
                           Ipp32s dcShift, Ipp16s* block, Ipp32s& last) {
  if (matrix == nullptr) return ippStsNullPtrErr;
  clearBlock(block);
  BlockState s{block, scan, matrix, 0, 0};
  BitCache local = bits;  // a copy the compiler keeps in registers
  const IppStatus status = intraBlock(local, dcTable, acTable, dcPredictor, dcShift, s, QP);
  bits = local;
  if (status == ippStsNoErr) last = static_cast<Ipp32s>(s.index);
  return status;
}

IppStatus decodeInterBlock(BitCache& bits, const int32_t* firstTable, const int32_t* table,
                           const Ipp32s* scan, Ipp32s QP, const Ipp16s* matrix, Ipp16s* block,
                           Ipp32s& last) {
  clearBlock(block);
  // The first coefficient stands at index `run`: the index starts one before 0.
  BlockState s{block, scan, matrix != nullptr ? matrix : kFlatMatrix.weight, ~0u, 0};
  BitCache local = bits;
  const IppStatus status = nonIntraBlock(local, firstTable, table, s, QP);
  bits = local;
  if (status == ippStsNoErr) last = s.index == 0 ? 1 : static_cast<Ipp32s>(s.index);
  return status;
}

// The primitives: argument checks, and the reader position through memory.
IppStatus reconstructIntra(Ipp32u** ppBitStream, int* pOffset,
                           const IppVCHuffmanSpec_32s* pDCSizeTable,
                           const IppVCHuffmanSpec_32s* pACTable, const Ipp32s* scanMatrix,
                           Ipp32s QP, const Ipp16s* pQPMatrix, Ipp16s* pDCPred, Ipp32s shiftDCVal,
                           Ipp16s* pDstBlock, Ipp32s* pDstSize) {
  if (ppBitStream == nullptr || *ppBitStream == nullptr || pOffset == nullptr ||
      pDCSizeTable == nullptr || pACTable == nullptr || scanMatrix == nullptr ||
      pQPMatrix == nullptr || pDCPred == nullptr || pDstBlock == nullptr || pDstSize == nullptr) {
    return ippStsNullPtrErr;
  }
  if (!BitCursor::validOffset(*pOffset)) return ippStsVLCErr;
  BitCache bits(*ppBitStream, *pOffset);
  const IppStatus status =
      decodeIntraBlock(bits, tableElements(pDCSizeTable), tableElements(pACTable), scanMatrix, QP,
                       pQPMatrix, pDCPred, shiftDCVal, pDstBlock, *pDstSize);
  *ppBitStream = const_cast<Ipp32u*>(bits.word());
  *pOffset = bits.offset();
  return status;
}

IppStatus reconstructInter(Ipp32u** ppBitStream, int* pOffset,
                           const IppVCHuffmanSpec_32s* pFirstTable,
                           const IppVCHuffmanSpec_32s* pTable, const Ipp32s* scanMatrix, Ipp32s QP,
                           const Ipp16s* pQPMatrix, Ipp16s* pDstBlock, Ipp32s* pDstSize) {
  if (ppBitStream == nullptr || *ppBitStream == nullptr || pOffset == nullptr ||
      pFirstTable == nullptr || pTable == nullptr || scanMatrix == nullptr ||
      pDstBlock == nullptr || pDstSize == nullptr) {
    return ippStsNullPtrErr;
  }
  if (!BitCursor::validOffset(*pOffset)) return ippStsVLCErr;
  BitCache bits(*ppBitStream, *pOffset);
  const IppStatus status = decodeInterBlock(bits, tableElements(pFirstTable), tableElements(pTable),
                                            scanMatrix, QP, pQPMatrix, pDstBlock, *pDstSize);
  *ppBitStream = const_cast<Ipp32u*>(bits.word());
  *pOffset = bits.offset();
  return status;
}

}  // namespace quarlin::generic
