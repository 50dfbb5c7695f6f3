// The C entry points of the primitives: each is one indexed call through its
// dispatch table, so the processor-specific choice costs one load and one
// indirect call.
#include "primitives/cpu_dispatch.h"
#include "primitives/dispatch_tables.h"
#include "primitives/primitives.h"

using quarlin::CpuDispatchIndex;
using quarlin::gPrimitiveTables;

extern "C" {

IppStatus ippiVCHuffmanInitAlloc_32s(const Ipp32s* pInputTable, IppVCHuffmanSpec_32s** ppVLCSpec) {
  return gPrimitiveTables.huffmanInitAlloc[CpuDispatchIndex](pInputTable, ppVLCSpec);
}

IppStatus ippiVCHuffmanInitAllocRL_32s(const Ipp32s* pInputTable,
                                       IppVCHuffmanSpec_32s** ppVLCSpec) {
  return gPrimitiveTables.huffmanInitAllocRL[CpuDispatchIndex](pInputTable, ppVLCSpec);
}

IppStatus ippiVCHuffmanDecodeOne_1u32s(Ipp32u** ppBitStream, int* pOffset, Ipp32s* pDst,
                                       const IppVCHuffmanSpec_32s* pDecodeTable) {
  return gPrimitiveTables.huffmanDecodeOne[CpuDispatchIndex](ppBitStream, pOffset, pDst,
                                                             pDecodeTable);
}

IppStatus ippiVCHuffmanFree_32s(IppVCHuffmanSpec_32s** ppVLCSpec) {
  return gPrimitiveTables.huffmanFree[CpuDispatchIndex](ppVLCSpec);
}

IppStatus ippiReconstructDCTBlock_MPEG2_32s(Ipp32u** ppBitStream, int* pOffset,
                                            const IppVCHuffmanSpec_32s* pFirstTable,
                                            const IppVCHuffmanSpec_32s* pTable,
                                            const Ipp32s* scanMatrix, Ipp32s QP,
                                            const Ipp16s* pQPMatrix, Ipp16s* pDstBlock,
                                            Ipp32s* pDstSize) {
  return gPrimitiveTables.reconstructInter[CpuDispatchIndex](
      ppBitStream, pOffset, pFirstTable, pTable, scanMatrix, QP, pQPMatrix, pDstBlock, pDstSize);
}

IppStatus ippiReconstructDCTBlockIntra_MPEG2_32s(Ipp32u** ppBitStream, int* pOffset,
                                                 const IppVCHuffmanSpec_32s* pDCSizeTable,
                                                 const IppVCHuffmanSpec_32s* pACTable,
                                                 const Ipp32s* scanMatrix, Ipp32s QP,
                                                 const Ipp16s* pQPMatrix, Ipp16s* pDCPred,
                                                 Ipp32s shiftDCVal, Ipp16s* pDstBlock,
                                                 Ipp32s* pDstSize) {
  return gPrimitiveTables.reconstructIntra[CpuDispatchIndex](
      ppBitStream, pOffset, pDCSizeTable, pACTable, scanMatrix, QP, pQPMatrix, pDCPred, shiftDCVal,
      pDstBlock, pDstSize);
}

IppStatus ippiDCT8x8Inv_16s_C1R(const Ipp16s* pSrc, Ipp16s* pDst, int dstStep) {
  return gPrimitiveTables.idctToShort[CpuDispatchIndex](pSrc, pDst, dstStep);
}

IppStatus ippiDCT8x8InvLSClip_16s8u_C1R(const Ipp16s* pSrc, Ipp8u* pDst, int dstStep, int addVal,
                                        int clipDown, int clipUp) {
  return gPrimitiveTables.idctToByte[CpuDispatchIndex](pSrc, pDst, dstStep, addVal, clipDown,
                                                       clipUp);
}

#define QUARLIN_MC_ONE_ENTRY(member, entry)                                                     \
  IppStatus entry(const Ipp8u* pSrcRef, Ipp32s srcStep, const Ipp16s* pSrcYData,                \
                  Ipp32s srcYDataStep, Ipp8u* pDst, Ipp32s dstStep, Ipp32s mcType,              \
                  Ipp32s roundControl) {                                                        \
    return gPrimitiveTables.member[CpuDispatchIndex](pSrcRef, srcStep, pSrcYData, srcYDataStep, \
                                                     pDst, dstStep, mcType, roundControl);      \
  }

#define QUARLIN_MC_TWO_ENTRY(member, entry)                                                      \
  IppStatus entry(const Ipp8u* pSrcRefF, Ipp32s srcStepF, Ipp32s mcTypeF, const Ipp8u* pSrcRefB, \
                  Ipp32s srcStepB, Ipp32s mcTypeB, const Ipp16s* pSrcYData, Ipp32s srcYDataStep, \
                  Ipp8u* pDst, Ipp32s dstStep, Ipp32s roundControl) {                            \
    return gPrimitiveTables.member[CpuDispatchIndex](pSrcRefF, srcStepF, mcTypeF, pSrcRefB,      \
                                                     srcStepB, mcTypeB, pSrcYData, srcYDataStep, \
                                                     pDst, dstStep, roundControl);               \
  }

QUARLIN_MC_ONE_ENTRY(mc16x16, ippiMC16x16_8u_C1)
QUARLIN_MC_ONE_ENTRY(mc16x8, ippiMC16x8_8u_C1)
QUARLIN_MC_ONE_ENTRY(mc8x16, ippiMC8x16_8u_C1)
QUARLIN_MC_ONE_ENTRY(mc8x8, ippiMC8x8_8u_C1)
QUARLIN_MC_ONE_ENTRY(mc8x4, ippiMC8x4_8u_C1)
QUARLIN_MC_ONE_ENTRY(mc4x8, ippiMC4x8_8u_C1)
QUARLIN_MC_ONE_ENTRY(mc4x4, ippiMC4x4_8u_C1)
QUARLIN_MC_ONE_ENTRY(mc4x2, ippiMC4x2_8u_C1)
QUARLIN_MC_TWO_ENTRY(mc16x16B, ippiMC16x16B_8u_C1)
QUARLIN_MC_TWO_ENTRY(mc16x8B, ippiMC16x8B_8u_C1)
QUARLIN_MC_TWO_ENTRY(mc8x16B, ippiMC8x16B_8u_C1)
QUARLIN_MC_TWO_ENTRY(mc8x8B, ippiMC8x8B_8u_C1)
QUARLIN_MC_TWO_ENTRY(mc8x4B, ippiMC8x4B_8u_C1)
QUARLIN_MC_TWO_ENTRY(mc4x8B, ippiMC4x8B_8u_C1)
QUARLIN_MC_TWO_ENTRY(mc4x4B, ippiMC4x4B_8u_C1)
QUARLIN_MC_TWO_ENTRY(mc4x2B, ippiMC4x2B_8u_C1)

#undef QUARLIN_MC_ONE_ENTRY
#undef QUARLIN_MC_TWO_ENTRY

IppStatus ippiCopy_8u_C1R(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep,
                          IppiSize roiSize) {
  return gPrimitiveTables.copy2d[CpuDispatchIndex](pSrc, srcStep, pDst, dstStep, roiSize);
}

IppStatus ippsCopy_8u(const Ipp8u* pSrc, Ipp8u* pDst, int len) {
  return gPrimitiveTables.copy1d[CpuDispatchIndex](pSrc, pDst, len);
}

}  // extern "C"
