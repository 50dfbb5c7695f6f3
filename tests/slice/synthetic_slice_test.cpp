// Synthetic slices for what encoders rarely write (increments that skip,
// escape or leave the row, extra_information_slice, the row extension, the
// reading bound, forbidden syntax) touch nothing outside their macroblocks.
#include <gtest/gtest.h>

#include <functional>

#include "parse/headers.h"
#include "primitives/mpeg2_tables.h"
#include "primitives/vlc_table_set.h"
#include "slice/frame_buffer.h"
#include "slice/macroblock_decoder.h"
#include "slice/slice_decoder.h"
#include "tests/support/guarded_plane.h"
#include "tests/support/stream_writer.h"

namespace quarlin::test {
namespace {

using namespace codes;

struct SliceCase {
  const char* name;
  int width, height, type, row;
  int sliceEndWords;  // -1: the word after the one holding the next start code
  std::function<void(BitWriter&)> write;
  int32_t result;
  // Luma macroblock (column, row) whose samples are all `value`; every other
  // luma sample keeps the fill (column -1: none written).
  int column, mbRow, value;
};

const SliceCase kCases[] = {
    {"TwoEscapesAndIncrementOneAdvanceBy67", 1104, 16, 1, 1, -1,  // 69 macroblocks per row
     [](BitWriter& w) { w.sliceHeader(4).macroblock(67, kIntraI).intraBlocks(100); }, 0, 66, 0, 100},
    {"ExtraInformationBytesAreSkipped", 64, 32, 1, 1, -1,
     [](BitWriter& w) {
       // quantiser_scale_code, extra_bit_slice, intra_slice, reserved bits,
       // extra_bit_slice, extra_information_slice, extra_bit_slice.
       w.put(4, 5).put(1, 1).put(1, 1).put(0, 7).put(1, 1).put(0xFF, 8).put(0, 1);
       w.macroblock(1, kIntraI).intraBlocks(120);
     },
     0, 0, 0, 120},
    // Above 2800 lines slice_vertical_position_extension (3 bits) comes
    // first: row (1 << 7) + 48 = 176, the last.
    {"TallPictureRowExtension", 16, 2816, 1, 48, -1,
     [](BitWriter& w) { w.put(1, 3).sliceHeader(4).macroblock(1, kIntraI).intraBlocks(140); }, 0, 0, 175, 140},
    // A macroblock may not begin past the bound: the first one ends past it.
    {"MacroblocksPastTheBound", 352, 32, 1, 1, 1,
     [](BitWriter& w) {
       w.sliceHeader(4);
       for (int c = 0; c < 22; ++c) w.macroblock(1, kIntraI).intraBlocks(168);
     },
     -1, 0, 0, 168},
    // A slice stays in its macroblock row (ISO/IEC 13818-2 6.3.16): an
    // increment that leaves it ends the slice before the skipped macroblocks
    // are predicted, so a damaged slice never touches rows another worker owns.
    {"PIncrementPastTheRow", 96, 48, 2, 1, -1,  // column 0, then what would be row 1's column 0
     [](BitWriter& w) {
       w.sliceHeader(8).macroblock(1, kForwardNotCodedP).vector(0, 0).macroblock(6, kForwardNotCodedP).vector(0, 0);
     },
     -2, 0, 0, 0x40},
    // Slices the syntax forbids decode nothing more: quantiser_scale_code 0,
    // a row beyond the picture, an address past the last macroblock (the
    // macroblocks before it stay).
    {"QuantiserScaleCodeZero", 64, 32, 1, 1, -1,
     [](BitWriter& w) { w.sliceHeader(0).macroblock(1, kIntraI).intraBlocks(128); }, -2, -1, 0, 0},
    {"RowPastThePicture", 64, 32, 1, 3, -1,
     [](BitWriter& w) { w.sliceHeader(4).macroblock(1, kIntraI).intraBlocks(128); }, -2, -1, 0, 0},
    {"AddressPastTheLastMacroblock", 64, 32, 1, 2, -1,  // address 13 of 8
     [](BitWriter& w) {
       w.sliceHeader(4).macroblock(1, kIntraI).intraBlocks(128).macroblock(5, kIntraI).intraBlocks(128);
     },
     -2, 0, 1, 128},
};

// Y, Cb and Cr planes of exactly the picture's macroblock rows at the
// frame's strides, each guarded (an inaccessible page right after it).
struct GuardedFrame {
  static size_t bytes(int width, int height, bool chroma) {
    const size_t lumaStride = (width + 127) & ~127, rows = (height + 15) / 16;
    return chroma ? 8 * rows * (((lumaStride >> 1) + 127) & ~127) : 16 * rows * lumaStride;
  }
  GuardedFrame(int width, int height, uint8_t fill)
      : planes{{bytes(width, height, false), fill}, {bytes(width, height, true), fill},
               {bytes(width, height, true), fill}} {
    frame.width = width, frame.height = height, frame.lumaStride = (width + 127) & ~127;
    frame.yPlane = planes[0].data(), frame.cbPlane = planes[1].data(), frame.crPlane = planes[2].data();
  }
  FrameBuffer frame;
  GuardedPlane planes[3];
};

class SyntheticSlice : public testing::TestWithParam<SliceCase> {};

// The slice (the bits after its start code) decoded alone at full scale in a
// progressive frame picture, followed by a start code and zero slack like a
// unit in memory; the forward frame holds 0x40, the backward 0xC0, the output 0x11.
TEST_P(SyntheticSlice, WritesOnlyItsMacroblocks) {
  const SliceCase& c = GetParam();
  SequenceInfo sequence;
  sequence.width = c.width, sequence.height = c.height, sequence.stride = (c.width + 127) & ~127;
  sequence.mbWidth = (c.width + 15) / 16, sequence.mbHeight = (c.height + 15) / 16;
  sequence.progressiveSequence = 1, sequence.chromaFactor = 2, sequence.blocksPerMacroblock = 6;
  sequence.intraMatrixLuma = sequence.intraMatrixChroma = kDefaultIntraMatrix;
  PictureInfo picture;
  picture.pictureCodingType = c.type, picture.pictureStructure = 3, picture.framePredFrameDct = 1;
  picture.topFieldFirst = 1;
  for (int32_t& f : picture.fCode) f = 1;
  const PictureDecodeValues values;  // intra_dc_precision 0
  GuardedFrame forward(c.width, c.height, 0x40), backward(c.width, c.height, 0xC0), output(c.width, c.height, 0x11);
  BitWriter w;
  c.write(w);
  w.put(0, static_cast<int>((32 - w.bitCount() % 32) % 32)).put(0, 32);  // to a word boundary, a zero word
  const auto startWord = static_cast<int>(w.bitCount() / 32);
  std::vector<uint32_t> words = w.put(0x1B7, 32).words(1024);
  auto* unit = new StreamBuffer;
  unit->wordPtr = words.data(), unit->bitOffset = 31, unit->data = reinterpret_cast<uint8_t*>(words.data());
  unit->filled = unit->capacity = 4 * (startWord + 1);
  unit->isView = true;
  PictureContext context;
  context.sequence = &sequence, context.picture = &picture, context.values = &values;
  context.vlcTables = VlcTableSetReference(acquireVlcTableSet());
  SliceContext ctx;
  prepareSliceContext(ctx, context, SharedBuffer(unit));
  ctx.slice.sliceRow = c.row;
  ctx.sliceEnd = words.data() + (c.sliceEndWords >= 0 ? c.sliceEndWords : startWord + 1);
  ASSERT_EQ(decodeSlice(ctx, forward.frame, backward.frame, output.frame), c.result);
  const size_t stride = static_cast<size_t>(output.frame.lumaStride);
  for (size_t o = 0; o < output.planes[0].size(); ++o) {
    const int x = static_cast<int>(o % stride), y = static_cast<int>(o / stride);
    const bool inside = c.column >= 0 && x / 16 == c.column && y / 16 == c.mbRow && x < c.width;
    ASSERT_EQ(output.planes[0].data()[o], inside ? c.value : 0x11) << x << "," << y;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, SyntheticSlice, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<SliceCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quarlin::test
