// The slice routine: reads one slice header and decodes the slice's
// macroblocks into the output frame. The routine for the picture's coding
// type, structure and decode scale is chosen once per slice; each is a
// MacroblockDecoder instantiated on those three parameters.
#pragma once
#include <cstdint>

#include "slice/frame_buffer.h"
#include "parse/picture_header.h"
#include "slice/slice_context.h"

namespace quarlin {

// What every slice of a picture shares: the headers in force, the unit (or
// a slice view of it), the decode tables and the decoding options.
struct PictureContext {
  const SequenceInfo* sequence = nullptr;
  const PictureInfo* picture = nullptr;
  const PictureDecodeValues* values = nullptr;
  VlcTableSetReference vlcTables;
  int32_t reducedResolution = 0;
  int32_t reductionMode = 0;
  // A P field picture that is the second field of its frame and has no
  // forward reference frame: predictions from the same-parity field read the
  // frame's first field instead.
  bool noPastField = false;
  uint8_t* decodedMacroblocks = nullptr;  // see SliceContext
};

// A context for one slice (or one field) of the picture over `unit`.
void prepareSliceContext(SliceContext& ctx, const PictureContext& picture, const SharedBuffer& unit);

// Positions the unit's reader just after the next slice start code from the
// cursor on (other start codes are passed over) and sets the slice's row and
// reading bound. False when no slice start code is left.
bool enterNextSlice(StreamBuffer& unit, SliceContext& ctx);

// With ctx.unit's reader just after the slice start code and ctx.slice.sliceRow
// set from it. I pictures use `output` only; P pictures `forward` too;
// B pictures both references. Field pictures decode at every scale too, into
// the lines of their parity, so that a stream mixing frame pictures and field
// pairs has one layout at each scale.
int32_t decodeSlice(SliceContext& ctx, const FrameBuffer& forward, const FrameBuffer& backward,
                    const FrameBuffer& output);

// True when the P field picture of `picture` (the second field of a frame
// whose first field is I) predicts any macroblock from the previous
// reference frame: a field select naming the same-parity field, dual prime,
// or a skipped or uncompensated macroblock (ISO/IEC 13818-2 7.6.3.5).
// Parses the field's macroblocks without reconstructing them.
bool secondFieldReachesPastFrame(const PictureContext& picture, const SharedBuffer& unit);

}  // namespace quarlin
