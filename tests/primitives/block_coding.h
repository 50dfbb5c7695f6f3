// Test model of the block layer (ISO/IEC 13818-2 7.2 to 7.4): an encoder of
// coefficient blocks into run/level codes and a plain reference decoder that
// matches codes bit by bit from the description lists, places coefficients,
// inverse-quantises without saturation and applies mismatch control.
#pragma once
#include <cstdint>
#include <random>
#include <vector>

#include "bit_writer.h"
#include "primitives/primitives.h"
#include "reference_codes.h"

namespace quarlin::test {

struct RunLevel {
  int run;
  int level;
  bool escape;  // coded as escape + 6-bit run + 12-bit level
};

struct BlockCodes {
  int dcSize = 0;  // intra only
  int dcDifferential = 0;
  std::vector<RunLevel> coefficients;  // non-intra: the first one uses the first form
};

// Random valid blocks: runs and levels that stay within 64 positions, table
// codes where they exist and escapes (some for pairs a table code could carry).
BlockCodes randomIntraBlock(std::mt19937& random, const CodeList& ac);
BlockCodes randomNonIntraBlock(std::mt19937& random, const CodeList& ac);

void encodeIntra(BitWriter& w, const CodeList& dcSizes, const CodeList& ac, const BlockCodes& b);
void encodeNonIntra(BitWriter& w, const CodeList& ac, const BlockCodes& b);

struct ReferenceBlock {
  IppStatus status = ippStsNoErr;
  Ipp16s block[64] = {};
  int lastIndex = 0;
};

struct QuantiserSetup {
  const Ipp32s* scan;
  int qp;
  const Ipp16s* weights;  // non-intra: null means a flat 16
};

ReferenceBlock referenceIntra(BitSource& bits, const CodeList& dcSizes, const CodeList& ac,
                              const QuantiserSetup& q, Ipp16s& dcPredictor, int dcShift);
ReferenceBlock referenceNonIntra(BitSource& bits, const CodeList& first, const CodeList& ac,
                                 const QuantiserSetup& q);

}  // namespace quarlin::test
