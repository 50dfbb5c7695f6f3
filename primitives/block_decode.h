// The coefficient decoders of reconstructIntra and reconstructInter
// (ippiReconstructDCTBlockIntra_MPEG2_32s, ippiReconstructDCTBlock_MPEG2_32s)
// over a BitCache that the caller keeps: the macroblock layer reads a whole
// macroblock, its syntax and all its blocks, through one cache, without
// storing and reloading the position around every block. The bits consumed
// (also after an error), the block written, the DC predictor, `last` (the
// primitives' *pDstSize, written only without an error) and the status are
// those of the primitives, which call them. No pointer may be null except
// the matrices: a null non-intra matrix is the flat 16, a null intra matrix
// gives ippStsNullPtrErr.
#pragma once
#include <cstdint>

#include "primitives/bit_cache.h"
#include "primitives/primitives.h"

namespace quarlin::generic {

IppStatus decodeIntraBlock(BitCache& bits, const int32_t* dcTable, const int32_t* acTable,
                           const Ipp32s* scan, Ipp32s QP, const Ipp16s* matrix, Ipp16s* dcPredictor,
                           Ipp32s dcShift, Ipp16s* block, Ipp32s& last);

IppStatus decodeInterBlock(BitCache& bits, const int32_t* firstTable, const int32_t* table,
                           const Ipp32s* scan, Ipp32s QP, const Ipp16s* matrix, Ipp16s* block,
                           Ipp32s& last);

}  // namespace quarlin::generic
