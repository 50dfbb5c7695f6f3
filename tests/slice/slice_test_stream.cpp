#include "slice_test_stream.h"

#include <cmath>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>

#include "primitives/mpeg2_tables.h"
#include "slice/slice_decoder.h"

namespace quarlin::test {
namespace {

VlcTableSet* sharedTables() {
  static VlcTableSet* const tables = acquireVlcTableSet();  // held for the whole test run
  return tables;
}

// The shortest bit string that the built table `slot` decodes to `value`,
// consuming exactly its length.
const std::string& codeFor(int slot, int32_t value) {
  static std::map<std::pair<int, int32_t>, std::string> cache;
  auto key = std::make_pair(slot, value);
  auto found = cache.find(key);
  if (found != cache.end()) return found->second;
  const IppVCHuffmanSpec_32s* table = sharedTables()->table[slot];
  for (int length = 1; length <= 17; ++length) {
    for (uint32_t code = 0; code < (1u << length); ++code) {
      uint32_t words[2] = {code << (32 - length), 0};
      Ipp32u* ptr = words;
      int offset = 31;
      Ipp32s decoded = 0;
      if (ippiVCHuffmanDecodeOne_1u32s(&ptr, &offset, &decoded, table) != 0) continue;
      if (decoded != value || ptr != words || 31 - offset != length) continue;
      std::string bits;
      for (int i = length - 1; i >= 0; --i) bits += ((code >> i) & 1) ? '1' : '0';
      return cache[key] = bits;
    }
  }
  throw std::runtime_error("no code for value " + std::to_string(value) + " in slot " +
                           std::to_string(slot));
}

}  // namespace

void BitWriter::put(uint32_t value, int bits) {
  for (int i = bits - 1; i >= 0; --i) {
    if (free_ == 0) {
      bytes_.push_back(0);
      free_ = 8;
    }
    --free_;
    if ((value >> i) & 1) bytes_.back() |= static_cast<uint8_t>(1u << free_);
  }
}

void BitWriter::putCode(const char* code) {
  for (const char* c = code; *c; ++c)
    if (*c == '0' || *c == '1') put(*c == '1' ? 1 : 0, 1);
}

void BitWriter::putVlc(int slot, int32_t value) { putCode(codeFor(slot, value).c_str()); }

void BitWriter::alignWithZeros() { free_ = 0; }

void BitWriter::sliceHeader(int quantiserScaleCode) {
  put(static_cast<uint32_t>(quantiserScaleCode), 5);
  put(0, 1);  // extra_bit_slice
}

void BitWriter::addressIncrement(int increment) {
  while (increment > 33) {
    putCode("0000 0001 000");
    increment -= 33;
  }
  putVlc(kVlcAddressIncrement, increment);
}

void BitWriter::motionVector(int motionCode) { putVlc(kVlcMotionCode, motionCode); }

void BitWriter::intraDcBlock(bool luma, int differential) {
  int size = 0;
  for (int magnitude = differential < 0 ? -differential : differential; magnitude; magnitude >>= 1)
    ++size;
  putVlc(luma ? kVlcDcSizeLuma : kVlcDcSizeChroma, size);
  if (size) put(static_cast<uint32_t>(differential > 0 ? differential : differential + (1 << size) - 1), size);
  putCode("10");  // end_of_block, table B.14
}

void BitWriter::interBlock(int run, int level) {
  putCode("0000 01");  // escape
  put(static_cast<uint32_t>(run), 6);
  put(static_cast<uint32_t>(level) & 0xFFF, 12);
  putCode("10");
}

GuardedPlane::GuardedPlane(int64_t bytes, uint8_t fill)
    : storage_(static_cast<size_t>(bytes + 2 * kGuard), kCanary), size_(bytes) {
  for (int64_t i = 0; i < bytes; ++i) data()[i] = fill;
}

bool GuardedPlane::guardsIntact() const {
  for (int64_t i = 0; i < kGuard; ++i)
    if (storage_[static_cast<size_t>(i)] != kCanary ||
        storage_[static_cast<size_t>(kGuard + size_ + i)] != kCanary)
      return false;
  return true;
}

namespace {
int64_t planeBytes(int width, int height, bool chroma) {
  const int64_t lumaStride = (width + 127) & ~127;
  const int64_t rows = 2 * ((height + 31) / 32);  // macroblock rows, interlaced frames included
  const int64_t reported = int64_t{width} * (height + 128) / (chroma ? 4 : 1);
  const int64_t picture = chroma ? 8 * rows * (((lumaStride >> 1) + 127) & ~127) : 16 * rows * lumaStride;
  return reported > picture ? reported : picture;
}
}  // namespace

GuardedFrame::GuardedFrame(int width, int height, uint8_t fill)
    : y(planeBytes(width, height, false), fill),
      cb(planeBytes(width, height, true), fill),
      cr(planeBytes(width, height, true), fill) {
  frame.width = width;
  frame.height = height;
  frame.lumaStride = (width + 127) & ~127;
  frame.yPlane = y.data();
  frame.cbPlane = cb.data();
  frame.crPlane = cr.data();
}

SliceHarness::SliceHarness(int width, int height, int pictureType, int pictureStructure)
    : forward(width, height, 0x40), backward(width, height, 0xC0), output(width, height, 0x11) {
  sequence.width = width;
  sequence.height = height;
  sequence.stride = (width + 127) & ~127;
  sequence.mbWidth = (width + 15) / 16;
  sequence.mbHeight = (height + 15) / 16;
  sequence.progressiveSequence = pictureStructure == 3 ? 1 : 0;
  sequence.chromaFactor = 2;
  sequence.blocksPerMacroblock = 6;
  sequence.intraMatrixLuma = kDefaultIntraMatrix;
  sequence.intraMatrixChroma = kDefaultIntraMatrix;
  picture.pictureCodingType = pictureType;
  picture.pictureStructure = pictureStructure;
  picture.fCode[0] = picture.fCode[1] = picture.fCode[2] = picture.fCode[3] = 1;
  picture.framePredFrameDct = 1;
  picture.topFieldFirst = 1;
}

SliceHarness::~SliceHarness() = default;

int SliceHarness::lumaStride() const {
  const int frameStride = output.frame.lumaStride;
  return decodeScaleFromOptions(reducedResolution, reductionMode) == DecodeScale::Full
             ? frameStride
             : reducedLumaStride(frameStride);
}

int SliceHarness::chromaStride() const {
  const int frameStride = output.frame.lumaStride;
  return decodeScaleFromOptions(reducedResolution, reductionMode) == DecodeScale::Full
             ? output.frame.chromaStride()
             : reducedChromaStride(frameStride);
}

int32_t SliceHarness::decode(const BitWriter& writer, int verticalPosition) {
  std::vector<uint8_t> bytes = writer.bytes();
  while (bytes.size() % 4) bytes.push_back(0);
  const size_t startCode = bytes.size() + 4;  // four zero bytes, then 00 00 01 B7
  bytes.insert(bytes.end(), {0, 0, 0, 0, 0, 0, 1, 0xB7});
  bytes.resize(bytes.size() + 4096, 0);  // the unit's slack
  words_.assign(bytes.size() / 4, 0);
  for (size_t k = 0; k < words_.size(); ++k)
    words_[k] = uint32_t{bytes[4 * k]} << 24 | uint32_t{bytes[4 * k + 1]} << 16 |
                uint32_t{bytes[4 * k + 2]} << 8 | bytes[4 * k + 3];

  auto* unit = new StreamBuffer;
  unit->wordPtr = words_.data();
  unit->bitOffset = 31;
  unit->data = reinterpret_cast<uint8_t*>(words_.data());
  unit->filled = unit->capacity = static_cast<int32_t>(startCode + 4);
  unit->isView = true;
  SliceContext ctx;
  ctx.sequence = &sequence;
  ctx.picture = &picture;
  ctx.unit = SharedBuffer(unit);
  ctx.vlcTables = VlcTableSetReference(acquireVlcTableSet());
  ctx.intraDcShift = 3 - picture.intraDcPrecision;
  ctx.dcPredictorReset = 128 << picture.intraDcPrecision;
  ctx.secondField = secondField;
  ctx.intraAcTable = ctx.vlcTables->table[picture.intraVlcFormat ? kVlcCoefficientOne : kVlcCoefficientZero];
  ctx.intraMatrixLuma = sequence.intraMatrixLuma;
  ctx.intraMatrixChroma = sequence.intraMatrixChroma;
  ctx.nonIntraMatrixLuma = sequence.nonIntraMatrixLuma;
  ctx.nonIntraMatrixChroma = sequence.nonIntraMatrixChroma;
  ctx.reducedResolution = reducedResolution;
  ctx.reductionMode = reductionMode;
  ctx.slice.sliceRow = verticalPosition;
  ctx.sliceEnd = words_.data() + (sliceEndWords >= 0 ? sliceEndWords : static_cast<int>(startCode / 4 + 1));
  return decodeSlice(ctx, forward.frame, backward.frame, output.frame);
}

void referenceIdct(const int16_t* coefficients, double out[8][8]) {
  const double pi = std::acos(-1.0);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      double sum = 0;
      for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u) {
          const double cu = u == 0 ? std::sqrt(0.5) : 1.0, cv = v == 0 ? std::sqrt(0.5) : 1.0;
          sum += cu * cv * coefficients[8 * v + u] * std::cos((2 * x + 1) * u * pi / 16) *
                 std::cos((2 * y + 1) * v * pi / 16);
        }
      out[y][x] = sum / 4;
    }
}

}  // namespace quarlin::test
