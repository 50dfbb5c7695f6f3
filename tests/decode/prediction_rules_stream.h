// A small MPEG-2 video elementary stream, written bit by bit, in which the
// prediction rules of docs/prediction-rules.md decide the output: every
// reference field holds different samples, so a prediction from the wrong
// field, with the wrong vector or of the wrong kind shows at once.
//
// 64 x 64, progressive_sequence 0, one closed group, coded order:
//   A  I frame as two I field pictures (top, bottom)     display 0
//   B  P frame as two P field pictures (top, bottom)     display 3
//   C  B frame as two B field pictures (top, bottom)     display 1
//   D  B frame picture with field and frame prediction   display 2
// and a sequence_end_code. All blocks are DC-only, so every decoder
// reconstructs the same samples.
#pragma once
#include <cstdint>
#include <vector>

namespace quarlin::decodetest {

std::vector<uint8_t> predictionRulesStream();

}  // namespace quarlin::decodetest
