// The function types of the dispatched primitives and one list of all of
// them, from which the entry points, the dispatch tables and each tier's
// declarations are generated. Declarations, compile-time helpers and
// functions of internal linkage only: a vector tier's source file may include
// this header and primitives.h and nothing else of the generic code, so no
// inline function a linker could merge is ever compiled with vector flags.
#pragma once
#include <cstddef>
#include <utility>

#include "primitives/primitives.h"

namespace quarlin {

using HuffmanInitAllocFn = IppStatus(const Ipp32s* pInputTable, IppVCHuffmanSpec_32s** ppVLCSpec);
using HuffmanDecodeOneFn = IppStatus(Ipp32u** ppBitStream, int* pOffset, Ipp32s* pDst,
                                     const IppVCHuffmanSpec_32s* pDecodeTable);
using HuffmanFreeFn = IppStatus(IppVCHuffmanSpec_32s** ppVLCSpec);
using ReconstructInterFn = IppStatus(Ipp32u** ppBitStream, int* pOffset,
                                     const IppVCHuffmanSpec_32s* pFirstTable,
                                     const IppVCHuffmanSpec_32s* pTable, const Ipp32s* scanMatrix,
                                     Ipp32s QP, const Ipp16s* pQPMatrix, Ipp16s* pDstBlock,
                                     Ipp32s* pDstSize);
using ReconstructIntraFn = IppStatus(Ipp32u** ppBitStream, int* pOffset,
                                     const IppVCHuffmanSpec_32s* pDCSizeTable,
                                     const IppVCHuffmanSpec_32s* pACTable, const Ipp32s* scanMatrix,
                                     Ipp32s QP, const Ipp16s* pQPMatrix, Ipp16s* pDCPred,
                                     Ipp32s shiftDCVal, Ipp16s* pDstBlock, Ipp32s* pDstSize);
using IdctToShortFn = IppStatus(const Ipp16s* pSrc, Ipp16s* pDst, int dstStep);
using IdctToByteFn = IppStatus(const Ipp16s* pSrc, Ipp8u* pDst, int dstStep, int addVal,
                               int clipDown, int clipUp);
using McOneFn = IppStatus(const Ipp8u* pSrcRef, Ipp32s srcStep, const Ipp16s* pSrcYData,
                          Ipp32s srcYDataStep, Ipp8u* pDst, Ipp32s dstStep, Ipp32s mcType,
                          Ipp32s roundControl);
using McTwoFn = IppStatus(const Ipp8u* pSrcRefF, Ipp32s srcStepF, Ipp32s mcTypeF,
                          const Ipp8u* pSrcRefB, Ipp32s srcStepB, Ipp32s mcTypeB,
                          const Ipp16s* pSrcYData, Ipp32s srcYDataStep, Ipp8u* pDst, Ipp32s dstStep,
                          Ipp32s roundControl);
using Copy2dFn = IppStatus(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep,
                           IppiSize roiSize);
using Copy1dFn = IppStatus(const Ipp8u* pSrc, Ipp8u* pDst, int len);

// X(member, function type, entry point name) for each of the 26 primitives.
#define QUARLIN_PRIMITIVE_LIST(X)                                                 \
  X(huffmanInitAlloc, HuffmanInitAllocFn, ippiVCHuffmanInitAlloc_32s)             \
  X(huffmanInitAllocRL, HuffmanInitAllocFn, ippiVCHuffmanInitAllocRL_32s)         \
  X(huffmanDecodeOne, HuffmanDecodeOneFn, ippiVCHuffmanDecodeOne_1u32s)           \
  X(huffmanFree, HuffmanFreeFn, ippiVCHuffmanFree_32s)                            \
  X(reconstructInter, ReconstructInterFn, ippiReconstructDCTBlock_MPEG2_32s)      \
  X(reconstructIntra, ReconstructIntraFn, ippiReconstructDCTBlockIntra_MPEG2_32s) \
  X(idctToShort, IdctToShortFn, ippiDCT8x8Inv_16s_C1R)                            \
  X(idctToByte, IdctToByteFn, ippiDCT8x8InvLSClip_16s8u_C1R)                      \
  X(mc16x16, McOneFn, ippiMC16x16_8u_C1)                                          \
  X(mc16x8, McOneFn, ippiMC16x8_8u_C1)                                            \
  X(mc8x16, McOneFn, ippiMC8x16_8u_C1)                                            \
  X(mc8x8, McOneFn, ippiMC8x8_8u_C1)                                              \
  X(mc8x4, McOneFn, ippiMC8x4_8u_C1)                                              \
  X(mc4x8, McOneFn, ippiMC4x8_8u_C1)                                              \
  X(mc4x4, McOneFn, ippiMC4x4_8u_C1)                                              \
  X(mc4x2, McOneFn, ippiMC4x2_8u_C1)                                              \
  X(mc16x16B, McTwoFn, ippiMC16x16B_8u_C1)                                        \
  X(mc16x8B, McTwoFn, ippiMC16x8B_8u_C1)                                          \
  X(mc8x16B, McTwoFn, ippiMC8x16B_8u_C1)                                          \
  X(mc8x8B, McTwoFn, ippiMC8x8B_8u_C1)                                            \
  X(mc8x4B, McTwoFn, ippiMC8x4B_8u_C1)                                            \
  X(mc4x8B, McTwoFn, ippiMC4x8B_8u_C1)                                            \
  X(mc4x4B, McTwoFn, ippiMC4x4B_8u_C1)                                            \
  X(mc4x2B, McTwoFn, ippiMC4x2B_8u_C1)                                            \
  X(copy2d, Copy2dFn, ippiCopy_8u_C1R)                                            \
  X(copy1d, Copy1dFn, ippsCopy_8u)

// The one-direction motion-compensation kernels of one block size, by
// rounding control (0 rounds half-sample averages up, 1 down) and half-sample
// kind (mcHalfSampleKind): what an mc entry point runs once it has checked
// its arguments and decoded the mc-type. The macroblock layer, whose
// arguments are valid by construction, calls them directly. Steps in bytes.
using McKernelFn = void(const Ipp8u* ref, ptrdiff_t refStep, const Ipp16s* residual,
                        ptrdiff_t residualStep, Ipp8u* dst, ptrdiff_t dstStep);
struct McKernels {
  McKernelFn* byKind[2][4];
};

// The kernels of one block size from `pick`, a lambda whose call operator
// <kKind, kRc> gives the kernel of that kind and rounding.
template <typename Pick>
consteval McKernels mcKernelsOf(Pick pick) {
  McKernels kernels{};
  [&]<int... I>(std::integer_sequence<int, I...>) {
    ((kernels.byKind[I / 4][I % 4] = pick.template operator()<I % 4, I / 4>()), ...);
  }(std::make_integer_sequence<int, 8>{});
  return kernels;
}

// An mc-type's half-sample kind: bit 0 horizontal (mc-type bit 3), bit 1
// vertical (mc-type bit 2). Static: each tier's file compiles its own copy
// with its own flags, and no linker picks one copy for all.
static constexpr int mcHalfSampleKind(Ipp32s mcType) { return ((mcType >> 3) & 1) | ((mcType >> 1) & 2); }

// A one-direction mc entry point of any tier: its pointer checks, then the
// kernel of the mc-type's kind and the rounding control (0 rounds
// half-sample averages up, any other value down).
static inline IppStatus mcOneDirection(const McKernels& kernels, const Ipp8u* ref, Ipp32s step,
                                       const Ipp16s* residual, Ipp32s residualStep, Ipp8u* dst,
                                       Ipp32s dstStep, Ipp32s mcType, Ipp32s roundControl) {
  if (ref == nullptr || residual == nullptr || dst == nullptr) return ippStsNullPtrErr;
  kernels.byKind[roundControl != 0][mcHalfSampleKind(mcType)](ref, step, residual, residualStep, dst, dstStep);
  return ippStsNoErr;
}

// X(W, H) for each block size of the mc entry points, in the order of McBlockSize.
#define QUARLIN_MC_BLOCK_SIZES(X) X(16, 16) X(16, 8) X(8, 16) X(8, 8) X(8, 4) X(4, 8) X(4, 4) X(4, 2)
#define QUARLIN_MC_SIZE_ENUMERATOR(W, H) kMc##W##x##H,
enum McBlockSize : int { QUARLIN_MC_BLOCK_SIZES(QUARLIN_MC_SIZE_ENUMERATOR) kMcBlockSizeCount };
#undef QUARLIN_MC_SIZE_ENUMERATOR

// Declares, in the enclosing namespace (one per tier: quarlin::generic,
// quarlin::sse2, ...), one function per primitive named after its member and
// the kernels of each mc block size (mc16x16Kernels, ...). A tier defines
// only the primitives it accelerates, with their kernels.
#define QUARLIN_DECLARE_PRIMITIVE(member, Type, entry) Type member;
#define QUARLIN_DECLARE_MC_KERNELS(W, H) extern const McKernels mc##W##x##H##Kernels;
#define QUARLIN_DECLARE_PRIMITIVE_TIER()            \
  QUARLIN_PRIMITIVE_LIST(QUARLIN_DECLARE_PRIMITIVE) \
  QUARLIN_MC_BLOCK_SIZES(QUARLIN_DECLARE_MC_KERNELS)

}  // namespace quarlin
