#include "slice_harness.h"

#include <algorithm>

#include "primitives/mpeg2_tables.h"
#include "primitives/vlc_table_set.h"
#include "slice/slice_decoder.h"

namespace quarlin::test {

namespace {
size_t planeBytes(int width, int height, bool chroma) {
  const size_t lumaStride = (width + 127) & ~127, rows = (height + 15) / 16;
  const size_t reported = static_cast<size_t>(width) * (height + 128) / (chroma ? 4 : 1);
  return std::max(reported, chroma ? 8 * rows * (((lumaStride >> 1) + 127) & ~127) : 16 * rows * lumaStride);
}
}  // namespace

GuardedFrame::GuardedFrame(int width, int height, uint8_t fill)
    : planes{{planeBytes(width, height, false), fill},
             {planeBytes(width, height, true), fill},
             {planeBytes(width, height, true), fill}} {
  frame.width = width;
  frame.height = height;
  frame.lumaStride = (width + 127) & ~127;
  frame.yPlane = plane(0);
  frame.cbPlane = plane(1);
  frame.crPlane = plane(2);
}

SliceHarness::SliceHarness(int width, int height, int pictureType)
    : forward(width, height, 0x40), backward(width, height, 0xC0), output(width, height, 0x11) {
  sequence.width = width;
  sequence.height = height;
  sequence.stride = (width + 127) & ~127;
  sequence.mbWidth = (width + 15) / 16;
  sequence.mbHeight = (height + 15) / 16;
  sequence.progressiveSequence = 1;
  sequence.chromaFactor = 2;
  sequence.blocksPerMacroblock = 6;
  sequence.intraMatrixLuma = sequence.intraMatrixChroma = kDefaultIntraMatrix;
  picture.pictureCodingType = pictureType;
  picture.pictureStructure = 3;
  for (int32_t& f : picture.fCode) f = 1;
  picture.framePredFrameDct = 1;
  picture.topFieldFirst = 1;
}

int32_t SliceHarness::decode(const BitWriter& writer, int verticalPosition) {
  // Zero bits to a word boundary, a zero word, 00 00 01 B7, the unit's slack.
  BitWriter w = writer;
  w.put(0, static_cast<int>((32 - w.bitCount() % 32) % 32)).put(0, 32);
  const auto startWord = static_cast<int>(w.bitCount() / 32);
  words_ = w.put(0x1B7, 32).words(1024);
  auto* unit = new StreamBuffer;
  unit->wordPtr = words_.data();
  unit->bitOffset = 31;
  unit->data = reinterpret_cast<uint8_t*>(words_.data());
  unit->filled = unit->capacity = 4 * (startWord + 1);
  unit->isView = true;
  const PictureDecodeValues values;  // intra_dc_precision 0
  PictureContext context;
  context.sequence = &sequence, context.picture = &picture, context.values = &values;
  context.vlcTables = VlcTableSetReference(acquireVlcTableSet());
  SliceContext ctx;
  prepareSliceContext(ctx, context, SharedBuffer(unit));
  ctx.slice.sliceRow = verticalPosition;
  ctx.sliceEnd = words_.data() + (sliceEndWords >= 0 ? sliceEndWords : startWord + 1);
  return decodeSlice(ctx, forward.frame, backward.frame, output.frame);
}

}  // namespace quarlin::test
