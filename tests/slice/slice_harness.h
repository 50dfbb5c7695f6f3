// One synthetic slice of a frame picture decoded alone at full scale: the
// sequence and picture values, a SliceContext over the slice's bits, and
// forward (0x40), backward (0xC0) and output (0x11) frames whose planes are
// guarded (an inaccessible page right after each).
#pragma once
#include <cstdint>
#include <vector>

#include "parse/headers.h"
#include "slice/frame_buffer.h"
#include "tests/support/guarded_plane.h"
#include "tests/support/stream_writer.h"

namespace quarlin::test {

// Y, Cb and Cr planes of the sizes the library reports (width x (height +
// 128), a quarter per chroma plane), enlarged where needed to hold the
// picture's macroblock rows.
struct GuardedFrame {
  GuardedFrame(int width, int height, uint8_t fill);
  FrameBuffer frame;
  GuardedPlane planes[3];
  uint8_t* plane(int p) const { return planes[p].data(); }
  size_t planeSize(int p) const { return planes[p].size(); }
  int stride(int p) const { return p ? frame.chromaStride() : frame.lumaStride; }
};

class SliceHarness {
 public:
  SliceHarness(int width, int height, int pictureType);

  SequenceInfo sequence;
  PictureInfo picture;
  GuardedFrame forward, backward, output;
  // When >= 0, the slice's reading bound in words from the slice's start
  // instead of the word after the one holding the following start code.
  int sliceEndWords = -1;

  // Decodes one slice (the bits after its start code) at
  // slice_vertical_position `verticalPosition`, followed by a start code and
  // zero slack like a unit in memory.
  int32_t decode(const BitWriter& writer, int verticalPosition);

 private:
  std::vector<uint32_t> words_;
};

}  // namespace quarlin::test
