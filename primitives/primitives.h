// The decoding primitives: variable-length decoding, inverse quantisation,
// 8x8 inverse DCT, motion compensation and copies. Each keeps the name and
// argument order of the Intel IPP function whose contract it follows, with C
// linkage, and runs the implementation that CpuDispatchIndex selects.
//
// Bit positions: a primitive reads the stream through a pointer to the word
// holding the next unread bit (words are stored byte-reversed, so a native
// 32-bit load gives four stream bytes most significant first) and the index
// of that bit in the word (31 = most significant). Both are updated in place.
// A bit offset outside 0..31 is refused as invalid data (-74) before anything
// is read.
//
// Block reconstruction: pDstSize is required (-8 when null); the non-intra
// weighting matrix may be null (a flat matrix of 16). An escape level of 0 is
// dequantised with sign(0) = 0 (ISO/IEC 13818-2 7.4.2.3), giving 0. The stream
// position is written back on failure too (the offending code stays consumed),
// the DC predictor is updated before the AC codes are read, and the block and
// last index are defined only on success.
//
// Motion compensation: any non-zero rounding control rounds down; steps are
// not checked. Residual rows are read with byte steps of any value.
#pragma once
#include <cstdint>

extern "C" {

typedef uint8_t Ipp8u;
typedef int16_t Ipp16s;
typedef uint32_t Ipp32u;
typedef int32_t Ipp32s;
typedef int IppStatus;

struct IppiSize {
  int width;
  int height;
};

// Opaque built decode table.
struct IppVCHuffmanSpec_32s;

enum : IppStatus {
  ippStsNoErr = 0,
  ippStsSizeErr = -6,        // a size below 1
  ippStsNullPtrErr = -8,     // a required pointer is null
  ippStsMemAllocErr = -9,    // storage could not be allocated
  ippStsStepErr = -14,       // a step below 1
  ippStsVLCErr = -74,        // invalid coded data
  ippStsWrongProcessor = 21  // the processor type is not one this build knows
};

// ---- Variable-length codes ------------------------------------------------
IppStatus ippiVCHuffmanInitAlloc_32s(const Ipp32s* pInputTable, IppVCHuffmanSpec_32s** ppVLCSpec);
IppStatus ippiVCHuffmanInitAllocRL_32s(const Ipp32s* pInputTable,
                                       IppVCHuffmanSpec_32s** ppVLCSpec);
IppStatus ippiVCHuffmanDecodeOne_1u32s(Ipp32u** ppBitStream, int* pOffset, Ipp32s* pDst,
                                       const IppVCHuffmanSpec_32s* pDecodeTable);
IppStatus ippiVCHuffmanFree_32s(IppVCHuffmanSpec_32s** ppVLCSpec);

// ---- Block reconstruction and inverse DCT ---------------------------------
IppStatus ippiReconstructDCTBlock_MPEG2_32s(Ipp32u** ppBitStream, int* pOffset,
                                            const IppVCHuffmanSpec_32s* pFirstTable,
                                            const IppVCHuffmanSpec_32s* pTable,
                                            const Ipp32s* scanMatrix, Ipp32s QP,
                                            const Ipp16s* pQPMatrix, Ipp16s* pDstBlock,
                                            Ipp32s* pDstSize);
IppStatus ippiReconstructDCTBlockIntra_MPEG2_32s(Ipp32u** ppBitStream, int* pOffset,
                                                 const IppVCHuffmanSpec_32s* pDCSizeTable,
                                                 const IppVCHuffmanSpec_32s* pACTable,
                                                 const Ipp32s* scanMatrix, Ipp32s QP,
                                                 const Ipp16s* pQPMatrix, Ipp16s* pDCPred,
                                                 Ipp32s shiftDCVal, Ipp16s* pDstBlock,
                                                 Ipp32s* pDstSize);
IppStatus ippiDCT8x8Inv_16s_C1R(const Ipp16s* pSrc, Ipp16s* pDst, int dstStep);
IppStatus ippiDCT8x8InvLSClip_16s8u_C1R(const Ipp16s* pSrc, Ipp8u* pDst, int dstStep,
                                        int addVal, int clipDown, int clipUp);

// ---- Motion compensation --------------------------------------------------
// One direction: reference, its step, residual (16-bit) and its step in
// bytes, destination and its step, mc-type (8 = horizontal half sample,
// 4 = vertical half sample), rounding control (0 rounds half-sample averages
// up, 1 down).
#define QUARLIN_MC_ONE(name)                                                              \
  IppStatus name(const Ipp8u* pSrcRef, Ipp32s srcStep, const Ipp16s* pSrcYData,          \
                 Ipp32s srcYDataStep, Ipp8u* pDst, Ipp32s dstStep, Ipp32s mcType,       \
                 Ipp32s roundControl);
// Two directions: forward and backward references with their own steps and
// mc-types; the two predictions are averaged (rounding up) before the
// residual is added.
#define QUARLIN_MC_TWO(name)                                                              \
  IppStatus name(const Ipp8u* pSrcRefF, Ipp32s srcStepF, Ipp32s mcTypeF,                \
                 const Ipp8u* pSrcRefB, Ipp32s srcStepB, Ipp32s mcTypeB,                \
                 const Ipp16s* pSrcYData, Ipp32s srcYDataStep, Ipp8u* pDst, Ipp32s dstStep, \
                 Ipp32s roundControl);

QUARLIN_MC_ONE(ippiMC16x16_8u_C1)
QUARLIN_MC_ONE(ippiMC16x8_8u_C1)
QUARLIN_MC_ONE(ippiMC8x16_8u_C1)
QUARLIN_MC_ONE(ippiMC8x8_8u_C1)
QUARLIN_MC_ONE(ippiMC8x4_8u_C1)
QUARLIN_MC_ONE(ippiMC4x8_8u_C1)
QUARLIN_MC_ONE(ippiMC4x4_8u_C1)
QUARLIN_MC_ONE(ippiMC4x2_8u_C1)
QUARLIN_MC_TWO(ippiMC16x16B_8u_C1)
QUARLIN_MC_TWO(ippiMC16x8B_8u_C1)
QUARLIN_MC_TWO(ippiMC8x16B_8u_C1)
QUARLIN_MC_TWO(ippiMC8x8B_8u_C1)
QUARLIN_MC_TWO(ippiMC8x4B_8u_C1)
QUARLIN_MC_TWO(ippiMC4x8B_8u_C1)
QUARLIN_MC_TWO(ippiMC4x4B_8u_C1)
QUARLIN_MC_TWO(ippiMC4x2B_8u_C1)

#undef QUARLIN_MC_ONE
#undef QUARLIN_MC_TWO

// ---- Copies ---------------------------------------------------------------
IppStatus ippiCopy_8u_C1R(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep,
                          IppiSize roiSize);
IppStatus ippsCopy_8u(const Ipp8u* pSrc, Ipp8u* pDst, int len);

}  // extern "C"
