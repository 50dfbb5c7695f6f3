// Assembly of picture units from the demultiplexed video bytes.
#pragma once
#include <cstdint>

#include "io/read_result.h"
#include "parse/stream_buffer.h"

namespace quarlin {

// The fill step: appends the next piece of video elementary data at
// unit.filled. 0 when bytes may have been appended; -4 at the end of the
// data; other negative codes for read failures.
class VideoByteSource {
 public:
  virtual int32_t fill(StreamBuffer& unit) = 0;

 protected:
  ~VideoByteSource() = default;
};

// Replaces the unit's contents by the next picture unit: the bytes after one
// picture start code up to and including the next, with every start code
// inside it recorded in the unit's table, then reordered into words for the
// bit reader. Returns 0, -4 at the end of the data (the unit then holds the
// trailing bytes, possibly none) or the fill step's error.
int32_t readNextPictureUnit(StreamBuffer& unit, VideoByteSource& source);

// Records every start code found from unit.scanPos and cuts the unit after
// the first picture start code. True when a picture start code was found.
bool scanForStartCodes(StreamBuffer& unit);

}  // namespace quarlin
