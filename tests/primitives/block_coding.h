// A model of the block layer of ISO/IEC 13818-2, independent of the library:
// the Annex B codes as the standard prints them, a decoder that matches them
// one bit at a time, an encoder of random blocks and a reference block
// decoder (7.2 to 7.4, inverse quantisation without saturation).
#pragma once
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "primitives/vlc_table_set.h"
#include "tests/support/stream_writer.h"

namespace quarlin::test {

struct Code {
  int length;     // bits, sign bit included
  uint32_t bits;  // the code as an integer of `length` bits
  int32_t value;  // plain tables
  int run;        // run/level tables (kRunEndOfBlock, kRunEscape for the special codes)
  int level;
};

struct CodeList {
  int maxLength = 0;
  std::vector<Code> codes;
  std::map<std::pair<int, uint32_t>, Code> byBits;
  const Code* find(int length, uint32_t bits) const;
  const Code* findRunLevel(int run, int level) const;
};

// The text typed in standard_tables.txt after "@ name" (B.1, 7-2, 6.3.11, ...).
const std::string& printed(const std::string& name);
// The codes of a table slot as Annex B prints them.
const CodeList& annexB(VlcSlot slot);

// Reads bits as the picture unit stores them: bit `offset` of `*word`, 31 first.
struct BitSource {
  const Ipp32u* word;
  int offset;
  uint32_t bits(int n);
};

// A random valid block (intra with dct_dc_size codes `dcSizes`): codes of
// `ac` where they exist and escapes, some for pairs a code could carry.
BitWriter randomBlockCoding(std::mt19937& random, const CodeList* dcSizes, const CodeList& ac);

struct ReferenceBlock {
  IppStatus status = ippStsNoErr;
  Ipp16s block[64] = {};
  int lastIndex = 0;  // non-intra: 1 for a block of coefficient 0 only
};

// One block, intra (a DC predictor given: `first` holds dct_dc_size codes) or
// not (`first` holds the first-coefficient codes); no weights: a flat 16.
ReferenceBlock referenceBlock(BitSource& bits, const CodeList& first, const CodeList& ac, const Ipp32s* scan, int qp,
                              const Ipp16s* weights, Ipp16s* dcPredictor, int dcShift);

}  // namespace quarlin::test
