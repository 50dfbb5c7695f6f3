// Decoding of one variable-length code.
#include <cstdint>

#include "primitives/generic_primitives.h"
#include "primitives/vlc_lookup.h"

namespace quarlin::generic {
namespace {

// The table walk over a 64-bit window holding the bits from the position on:
// the rest of the current word and all of the next, 33..64 valid bits, which
// covers every table of the macroblock layer (codes of at most 17 bits). The
// leaf (or vlc::kMarker) and the bits consumed as lookupCode counts them;
// false when a level would read past the window's valid bits, or (kLevels
// not 0) when the code lies deeper than kLevels levels. With kLevels 2 the
// walk unrolls into at most two dependent lookups, which finds every code of
// the macroblock-layer tables but the coefficient tables' longest.
template <int kLevels>
bool lookupInWindow(const int32_t* table, uint64_t window, int valid, int32_t& entry,
                    int& consumed) {
  int used = 0;
  int width = table[0];
  const int32_t* level = table;
  for (int depth = 1;; ++depth) {
    if (used + width > valid) return false;
    entry = level[1 + static_cast<size_t>((window << used) >> (64 - width))];
    if (!vlc::isLink(entry)) break;
    if (depth == kLevels) return false;
    used += width;
    level = table + vlc::linkOffset(entry);
    width = level[0];
  }
  consumed = used + (entry == vlc::kMarker ? width : vlc::leafCodeBits(entry));
  return true;
}

// Moves the position past `consumed` bits (0..64).
inline void advance(Ipp32u** ppBitStream, int* pOffset, int consumed) {
  const int bitIndex = 31 - *pOffset + consumed;  // from bit 31 of the current word
  *ppBitStream += bitIndex >> 5;
  *pOffset = 31 - (bitIndex & 31);
}

// Codes deeper than two levels: the general walk in the window, or through a
// cursor for a table with longer walks. Out of line, so that the common path
// saves no registers for it.
[[gnu::noinline]] int32_t lookupDeep(const int32_t* table, uint64_t window, int valid,
                                     Ipp32u** ppBitStream, int* pOffset) {
  int32_t entry;
  int consumed;
  if (lookupInWindow<0>(table, window, valid, entry, consumed)) {
    advance(ppBitStream, pOffset, consumed);
    return entry;
  }
  BitCursor bits{*ppBitStream, *pOffset};
  entry = lookupCode(table, bits);
  *ppBitStream = const_cast<Ipp32u*>(bits.word);
  *pOffset = bits.offset;
  return entry;
}

}  // namespace

IppStatus huffmanDecodeOne(Ipp32u** ppBitStream, int* pOffset, Ipp32s* pDst,
                           const IppVCHuffmanSpec_32s* pDecodeTable) {
  if (ppBitStream == nullptr || *ppBitStream == nullptr || pOffset == nullptr || pDst == nullptr ||
      pDecodeTable == nullptr) {
    return ippStsNullPtrErr;
  }
  if (!BitCursor::validOffset(*pOffset)) return ippStsVLCErr;
  const int32_t* table = tableElements(pDecodeTable);
  const Ipp32u* word = *ppBitStream;
  const int valid = *pOffset + 33;
  const uint64_t window = ((uint64_t{word[0]} << 32) | word[1]) << (31 - *pOffset);
  int32_t entry;
  int consumed;  // 0..64
  if (lookupInWindow<2>(table, window, valid, entry, consumed)) {
    advance(ppBitStream, pOffset, consumed);
  } else {
    entry = lookupDeep(table, window, valid, ppBitStream, pOffset);
  }
  if (entry == vlc::kMarker) {
    *pDst = vlc::kInvalidValue;
    return ippStsVLCErr;
  }
  *pDst = vlc::leafValue(entry);
  return ippStsNoErr;
}

}  // namespace quarlin::generic
