// Decoding of one variable-length code.
#include "primitives/generic_primitives.h"
#include "primitives/vlc_lookup.h"

namespace quarlin::generic {

IppStatus huffmanDecodeOne(Ipp32u** ppBitStream, int* pOffset, Ipp32s* pDst,
                           const IppVCHuffmanSpec_32s* pDecodeTable) {
  if (ppBitStream == nullptr || *ppBitStream == nullptr || pOffset == nullptr || pDst == nullptr ||
      pDecodeTable == nullptr) {
    return ippStsNullPtrErr;
  }
  if (!BitCursor::validOffset(*pOffset)) return ippStsVLCErr;
  BitCursor bits{*ppBitStream, *pOffset};
  const int32_t entry = lookupCode(tableElements(pDecodeTable), bits);
  *ppBitStream = const_cast<Ipp32u*>(bits.word);
  *pOffset = bits.offset;
  if (entry == vlc::kMarker) {
    *pDst = vlc::kInvalidValue;
    return ippStsVLCErr;
  }
  *pDst = vlc::leafValue(entry);
  return ippStsNoErr;
}

}  // namespace quarlin::generic
