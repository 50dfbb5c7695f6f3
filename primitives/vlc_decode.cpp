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
// false when a level would read past the window's valid bits.
bool lookupInWindow(const int32_t* table, const Ipp32u* word, int offset, int32_t& entry,
                    int& consumed) {
  const int valid = offset + 33;
  const uint64_t window = ((uint64_t{word[0]} << 32) | word[1]) << (31 - offset);
  int used = 0;
  int width = table[0];
  const int32_t* level = table;
  for (;;) {
    if (used + width > valid) return false;
    entry = level[1 + static_cast<size_t>((window << used) >> (64 - width))];
    if (!vlc::isLink(entry)) break;
    used += width;
    level = table + vlc::linkOffset(entry);
    width = level[0];
  }
  consumed = used + (entry == vlc::kMarker ? width : width - vlc::leafUnusedBits(entry));
  return true;
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
  int32_t entry;
  int consumed;  // 0..64
  if (lookupInWindow(table, *ppBitStream, *pOffset, entry, consumed)) {
    const int bitIndex = 31 - *pOffset + consumed;  // from bit 31 of the current word
    *ppBitStream += bitIndex >> 5;
    *pOffset = 31 - (bitIndex & 31);
  } else {
    BitCursor bits{*ppBitStream, *pOffset};
    entry = lookupCode(table, bits);  // a table with longer walks
    *ppBitStream = const_cast<Ipp32u*>(bits.word);
    *pOffset = bits.offset;
  }
  if (entry == vlc::kMarker) {
    *pDst = vlc::kInvalidValue;
    return ippStsVLCErr;
  }
  *pDst = vlc::leafValue(entry);
  return ippStsNoErr;
}

}  // namespace quarlin::generic
