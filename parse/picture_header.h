// Completion of a picture header (ISO/IEC 13818-2 6.2.3) after its first 13
// bits (temporal_reference, picture_coding_type) have been read: vbv_delay,
// the f_codes, extra information, the picture coding extension and the
// extensions and user data that follow. Shared by the index scan, which
// stops there, and the picture decoder, which goes on to the slices.
#pragma once
#include <cstdint>

#include "parse/headers.h"
#include "parse/stream_buffer.h"

namespace quarlin {

// Per-picture decoding values kept in the session.
struct PictureDecodeValues {
  int32_t mbRow = 0;
  int32_t mbColumn = -1;
  int32_t intraDcShift = 3;        // 3 - intra_dc_precision
  int32_t dcPredictorReset = 128;  // 128 << intra_dc_precision
  int32_t secondField = 0;         // toggled per decoded field; cleared by a sequence header
};

// Reads the first 13 bits of a unit into the picture record.
void parsePictureHeader(StreamBuffer& unit, PictureInfo& picture);

// 0, or -2 for a rejected header. On success the reader stands, unconsumed,
// on the first start code after the picture's headers (normally its first
// slice).
int32_t completePictureHeader(StreamBuffer& unit, SequenceInfo& sequence, PictureInfo& picture,
                              PictureDecodeValues& values);

}  // namespace quarlin
