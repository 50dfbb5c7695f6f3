#include "slice/slice_header.h"

namespace quarlin {

int32_t readSliceHeader(BitReader& reader, const SequenceInfo& sequence, SliceState& state,
                        const uint32_t* end) {
  if (sequence.height > 2800) {
    const int32_t extension = static_cast<int32_t>(readBits(reader, 3));
    state.sliceRow = (extension << 7) + state.sliceRow;
  }
  state.quantiserScaleCode = static_cast<int32_t>(readBits(reader, 5));
  if (state.quantiserScaleCode == 0) return kSliceBadSyntax;
  uint32_t extraBit = readBits(reader, 1);
  if (extraBit) {
    skipBits(reader, 1 + 7);  // intra_slice, reserved_bits
    extraBit = readBits(reader, 1);
  }
  while (extraBit) {  // extra_information_slice bytes
    if (end && reader.wordPtr >= end) return kSliceBadSyntax;
    skipBits(reader, 8);
    extraBit = readBits(reader, 1);
  }
  return 0;
}

void startSlice(SliceContext& ctx) {
  SliceState& s = ctx.slice;
  const int16_t reset = static_cast<int16_t>(ctx.dcPredictorReset);
  s.dcPredictor[0] = s.dcPredictor[1] = s.dcPredictor[2] = reset;
  s.lastIntraAddress = -2;
  s.previousAddress = (s.sliceRow - 1) * ctx.sequence->mbWidth - 1;
  s.firstInSlice = 1;
  s.currentAddress = s.previousAddress;
  s.previousForward = s.previousBackward = 0;
  for (auto& r : ctx.pmv)
    for (auto& dir : r)
      for (int16_t& component : dir) component = 0;
}

}  // namespace quarlin
