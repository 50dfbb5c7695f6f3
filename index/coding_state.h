// What the sequence header in force and the quantiser matrix extensions
// since it leave for a picture: its progressive_sequence and the four
// weighting matrices. The index records one per picture, so that any frame
// decodes with the matrices it had in the stream, whatever was decoded
// before it (ISO/IEC 13818-2 6.3.11: matrices loaded by a quant matrix
// extension stay until the next sequence header or extension).
#pragma once
#include <cstdint>

#include "parse/headers.h"

namespace quarlin {

struct CodingState {
  static constexpr uint8_t kProgressive = 0x01;
  // After a sequence header of another size or chroma format than the
  // first: the host's planes cannot hold its pictures.
  static constexpr uint8_t kUndecodable = 0x02;
  uint8_t flags = 0;
  // Raster order: intra luma, intra chroma, non-intra luma, non-intra chroma.
  uint8_t matrices[4][64] = {};

  bool operator==(const CodingState&) const = default;
};

CodingState codingStateOf(const SequenceInfo& sequence, bool decodable);
// Makes `sequence` decode with `state`'s progressive_sequence and matrices.
void applyCodingState(const CodingState& state, SequenceInfo& sequence);

}  // namespace quarlin
