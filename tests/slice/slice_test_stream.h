// Test-only tools for building synthetic slices: a bit writer that emits the
// byte-reversed word layout the decoder reads, code words for the macroblock
// layer found from the built decode tables, and a harness that owns the
// sequence and picture values, canary-guarded planes and a SliceContext.
#pragma once
#include <cstdint>
#include <random>
#include <vector>

#include "slice/frame_buffer.h"
#include "parse/headers.h"
#include "primitives/vlc_table_set.h"
#include "slice/slice_context.h"

namespace quarlin::test {

class BitWriter {
 public:
  void put(uint32_t value, int bits);
  // A code word given as a string of '0' and '1'.
  void putCode(const char* code);
  void putVlc(int slot, int32_t value);  // the shortest code of `value` in table `slot`
  void alignWithZeros();
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  int64_t bitCount() const { return static_cast<int64_t>(bytes_.size()) * 8 - free_; }

  // Slice syntax helpers.
  void sliceHeader(int quantiserScaleCode);
  void addressIncrement(int increment);  // with macroblock_escape codes
  void motionVector(int motionCode);      // f_code 1: motion_code only
  // A DC-only intra block of table B.14: dct_dc_size, the differential, end_of_block.
  void intraDcBlock(bool luma, int differential);
  // A non-intra block of one coefficient (escape coded) and end_of_block.
  void interBlock(int run, int level);

 private:
  std::vector<uint8_t> bytes_;
  int free_ = 0;  // unused low bits of the last byte
};

// A plane with canary bytes before and after it.
class GuardedPlane {
 public:
  GuardedPlane(int64_t bytes, uint8_t fill);
  uint8_t* data() { return storage_.data() + kGuard; }
  const uint8_t* data() const { return storage_.data() + kGuard; }
  int64_t size() const { return size_; }
  bool guardsIntact() const;
  uint8_t& at(int64_t offset) { return data()[offset]; }

 private:
  static constexpr int64_t kGuard = 4096;
  static constexpr uint8_t kCanary = 0xA5;
  std::vector<uint8_t> storage_;
  int64_t size_;
};

// Y, Cb and Cr planes as a host allocates them: the sizes the library
// reports (width x (height + 128), a quarter per chroma plane), enlarged
// where needed to hold the picture's macroblock rows at the plane strides.
struct GuardedFrame {
  GuardedFrame(int width, int height, uint8_t fill);
  FrameBuffer frame;
  GuardedPlane y, cb, cr;
  GuardedPlane& plane(int p) { return p == 0 ? y : (p == 1 ? cb : cr); }
  bool guardsIntact() const { return y.guardsIntact() && cb.guardsIntact() && cr.guardsIntact(); }
  // Sample (x, y) of plane p addressed with `stride`.
  uint8_t sample(int p, int stride, int x, int yy) { return plane(p).at(int64_t{yy} * stride + x); }
};

class SliceHarness {
 public:
  SliceHarness(int width, int height, int pictureType, int pictureStructure = 3);
  ~SliceHarness();

  SequenceInfo sequence;
  PictureInfo picture;
  GuardedFrame forward, backward, output;
  int32_t secondField = 0;
  int32_t reducedResolution = 0, reductionMode = 0;
  // When >= 0, the slice's reading bound in words from the slice's start
  // instead of the word after the one holding the following start code.
  int sliceEndWords = -1;

  // Decodes one slice whose bits (after the slice start code) are `writer`'s,
  // with slice_vertical_position `verticalPosition`. The stream is followed
  // by a start code and zero slack, like a unit in memory.
  int32_t decode(const BitWriter& writer, int verticalPosition);

  int lumaStride() const;
  int chromaStride() const;

 private:
  std::vector<uint32_t> words_;
};

// Double-precision 8x8 inverse DCT of raster coefficients, f[y][x].
void referenceIdct(const int16_t* coefficients, double out[8][8]);

}  // namespace quarlin::test
