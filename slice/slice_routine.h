// The slice routine of one decoder variant: slice header, slice start, then
// macroblocks until the next start code (23 zero bits) or the slice's bound.
#pragma once
#include <cstdint>

#include "slice/frame_buffer.h"
#include "slice/macroblock_blocks.h"
#include "slice/macroblock_decoder.h"
#include "slice/macroblock_prediction.h"
#include "slice/macroblock_syntax.h"
#include "slice/slice_context.h"
#include "slice/slice_header.h"

namespace quarlin {

// Whether the next 23 bits are zero (a start code follows), without the
// branch of a read that may cross a word: whether it does follows the
// macroblocks' lengths. It reads the word after the position's, which the
// picture unit's slack holds.
inline bool startCodeNext(const BitReader& r) {
  const uint64_t ahead = ((uint64_t{r.wordPtr[0]} << 32) | r.wordPtr[1]) << (31 - r.bitOffset);
  return (ahead >> (64 - 23)) == 0;
}

template <int Type, bool FieldPicture, DecodeScale Scale>
int32_t decodeSliceAs(SliceContext& ctx, const FrameBuffer& forward, const FrameBuffer& backward,
                      const FrameBuffer& output) {
  StreamBuffer* unit = ctx.unit.get();
  if (!unit || !ctx.sequence || !ctx.picture) return kSliceBadCode;
  BitReader reader = unit->reader();
  if (int32_t result = readSliceHeader(reader, *ctx.sequence, ctx.slice, ctx.sliceEnd)) {
    unit->setReader(reader);
    return result;
  }
  startSlice(ctx);
  if (ctx.sequence->chromaFactor != 2) {  // only 4:2:0 is decoded
    unit->setReader(reader);
    return 0;
  }
  MacroblockDecoder<Type, FieldPicture, Scale> decoder(ctx, forward, backward, output, reader);
  int32_t result = decoder.validate();
  int32_t recorded = -1;  // the last address marked decoded
  while (result == 0) {
    // A macroblock may not begin at or past sliceEnd (the word after the one
    // holding the next start code); the unit's slack makes reading one macroblock past it safe.
    if (ctx.sliceEnd && decoder.reader().wordPtr >= ctx.sliceEnd) {
      result = -1;
      break;
    }
    result = decoder.decodeMacroblock();
    if (result == 0 && ctx.decodedMacroblocks) {
      // The macroblock and those its address increment skipped (filled
      // before it, never before a slice's first macroblock).
      const int32_t address = ctx.slice.currentAddress;
      for (int32_t a = recorded < 0 ? address : recorded + 1; a <= address; ++a) ctx.decodedMacroblocks[a] = 1;
      recorded = address;
    }
    if (startCodeNext(decoder.reader())) break;
  }
  unit->setReader(decoder.reader());
  return result;
}

using SliceRoutine = int32_t (*)(SliceContext&, const FrameBuffer&, const FrameBuffer&,
                                 const FrameBuffer&);

// The six variants of one picture type: frame and field pictures at Full,
// HalfWidth and Quarter.
struct SliceRoutines {
  SliceRoutine frame[3];  // indexed by DecodeScale
  SliceRoutine field[3];
};

const SliceRoutines& sliceRoutinesI();
const SliceRoutines& sliceRoutinesP();
const SliceRoutines& sliceRoutinesB();

#define QUARLIN_SLICE_ROUTINES(type)                                                                        \
  SliceRoutines {                                                                                           \
    {&decodeSliceAs<type, false, DecodeScale::Full>, &decodeSliceAs<type, false, DecodeScale::HalfWidth>,   \
     &decodeSliceAs<type, false, DecodeScale::Quarter>},                                                    \
    {                                                                                                       \
      &decodeSliceAs<type, true, DecodeScale::Full>, &decodeSliceAs<type, true, DecodeScale::HalfWidth>,    \
          &decodeSliceAs<type, true, DecodeScale::Quarter>                                                  \
    }                                                                                                       \
  }

}  // namespace quarlin
