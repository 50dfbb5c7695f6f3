// Parsers of the sequence header and its extensions, and of the picture
// coding extension and the picture's quantiser matrix extension. Each reads
// the unit through its start-code table and bit reader. Result 0 accepted,
// -2 the header breaks a rule of ISO/IEC 13818-2 that the decoder relies on.
#pragma once
#include <cstdint>

#include "parse/headers.h"
#include "parse/stream_buffer.h"

namespace quarlin {

constexpr int32_t kHeaderOk = 0;
constexpr int32_t kHeaderInvalid = -2;

// With the reader just after a sequence header start code (0x1B3) found by
// nextStartCode. On return the next nextStartCode gives the first start code
// the parse did not consume.
int32_t parseSequenceHeader(StreamBuffer& unit, SequenceInfo& sequence);

// True when pictures decode the same under both headers: the same coded
// size, chroma format and weighting matrices.
bool sameCodingParameters(const SequenceInfo& a, const SequenceInfo& b);

// Sets the per-picture defaults (frame structure, frame_pred_frame_dct 1,
// intra table B.14) that hold until the coding extension says otherwise.
void setPictureDefaults(PictureInfo& picture);

// With the reader standing on the extension start code (0x1B5) that follows
// the picture header.
int32_t parsePictureCodingExtension(StreamBuffer& unit, const SequenceInfo& sequence,
                                    PictureInfo& picture);

// With the reader just after a quant_matrix_extension identifier.
void parseQuantMatrixExtension(StreamBuffer& unit, SequenceInfo& sequence);

}  // namespace quarlin
