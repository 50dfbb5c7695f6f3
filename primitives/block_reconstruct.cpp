// The IPP-named block reconstruction entry points: argument checks, then the
// inline block decoders of block_decode.h over a BitCache of the caller's
// position, which is written back (also after an error).
#include "primitives/bit_cursor.h"
#include "primitives/block_decode.h"
#include "primitives/generic_primitives.h"

namespace quarlin::generic {

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
  const IppStatus status = decodeIntraBlock(bits, tableElements(pDCSizeTable), tableElements(pACTable),
                                            scanMatrix, QP, pQPMatrix, pDCPred, shiftDCVal, pDstBlock, pDstSize);
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
  const IppStatus status = decodeInterBlock(bits, tableElements(pFirstTable), tableElements(pTable), scanMatrix,
                                            QP, pQPMatrix, pDstBlock, pDstSize);
  *ppBitStream = const_cast<Ipp32u*>(bits.word());
  *pOffset = bits.offset();
  return status;
}

}  // namespace quarlin::generic
