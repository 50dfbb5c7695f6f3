// The fill steps that append the next piece of video elementary data to a
// unit: one for elementary and program streams, one for transport streams.
// 0: bytes may have been appended; -4: end of data; -6/-7: read failures
// (-7 also when a transport-stream unit has no room for another packet).
#pragma once
#include <cstdint>

#include "io/async_file_reader.h"
#include "parse/demux_state.h"
#include "parse/stream_buffer.h"

namespace quarlin {

int32_t fillProgramOrElementary(AsyncFileReader& reader, DemuxState& state, StreamBuffer& unit);
int32_t fillTransport(AsyncFileReader& reader, DemuxState& state, StreamBuffer& unit);

// Appends up to `count` bytes from the reader, never past the unit's
// capacity; bytes that do not fit are skipped. A negative count appends
// nothing.
int32_t appendFromReader(AsyncFileReader& reader, StreamBuffer& unit, int32_t count);

}  // namespace quarlin
