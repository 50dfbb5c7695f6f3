// The picture coding extension and the quant matrix extension
// (ISO/IEC 13818-2 6.2.3.1, 6.2.3.2).
#include "parse/header_parser.h"
#include "primitives/mpeg2_tables.h"

namespace quarlin {

void setPictureDefaults(PictureInfo& picture) {
  picture.pictureStructure = kFramePicture;
  picture.framePredFrameDct = 1;
  picture.intraVlcFormat = 0;
}

namespace {
bool validFCode(int32_t f) { return (f >= 1 && f <= 9) || f == 15; }
}  // namespace

int32_t parsePictureCodingExtension(StreamBuffer& unit, const SequenceInfo& sequence,
                                    PictureInfo& p) {
  unit.skipStartCode();
  BitReader r = unit.reader();
  const uint32_t w = readBits(r, 32);
  for (int i = 0; i < 4; ++i) p.fCode[i] = static_cast<int32_t>((w >> (24 - 4 * i)) & 0xF);
  p.intraDcPrecision = static_cast<int32_t>((w >> 10) & 3);
  p.pictureStructure = static_cast<int32_t>((w >> 8) & 3);
  p.topFieldFirst = static_cast<int32_t>((w >> 7) & 1);
  p.framePredFrameDct = static_cast<int32_t>((w >> 6) & 1);
  p.concealmentMotionVectors = static_cast<int32_t>((w >> 5) & 1);
  p.qScaleType = static_cast<int32_t>((w >> 4) & 1);
  const int32_t intraVlcFormat = static_cast<int32_t>((w >> 3) & 1);
  p.alternateScan = static_cast<int32_t>((w >> 2) & 1);
  p.repeatFirstField = static_cast<int32_t>((w >> 1) & 1);
  p.chroma420Type = static_cast<int32_t>(w & 1);
  unit.setReader(r);

  for (int i = 0; i < 4; ++i)
    if (!validFCode(p.fCode[i])) return kHeaderInvalid;
  if (p.pictureStructure == 0) return kHeaderInvalid;
  if (p.pictureStructure != kFramePicture && (p.framePredFrameDct != 0 || p.repeatFirstField != 0))
    return kHeaderInvalid;
  if (intraVlcFormat) p.intraVlcFormat = 1;

  p.progressiveFrame = static_cast<int32_t>(readBits(r, 1));
  const bool compositeDisplay = readBits(r, 1) != 0;
  if (sequence.chromaFactor == 2 && p.progressiveFrame != p.chroma420Type) return kHeaderInvalid;
  if (compositeDisplay)
    skipBits(r, 20);  // v_axis, field_sequence, sub_carrier, burst_amplitude, sub_carrier_phase
  unit.setReader(r);
  if (!compositeDisplay) unit.rewindToCurrent();
  return kHeaderOk;
}

// A luma matrix loaded here serves chroma too until a chroma matrix is loaded
// (4:2:0 streams never load chroma matrices: ISO/IEC 13818-2 6.3.11).
void parseQuantMatrixExtension(StreamBuffer& unit, SequenceInfo& s) {
  BitReader r = unit.reader();
  struct Load {
    int32_t* flag;
    int16_t* storage;
    const int16_t** pointer;
    const int16_t** chromaPointer;  // also set by the luma loads
  };
  const Load loads[4] = {
      {&s.loadIntraMatrix, s.loadedIntra, &s.intraMatrixLuma, &s.intraMatrixChroma},
      {&s.loadNonIntraMatrix, s.loadedNonIntra, &s.nonIntraMatrixLuma, &s.nonIntraMatrixChroma},
      {&s.loadChromaIntraMatrix, s.loadedIntraChroma, &s.intraMatrixChroma, nullptr},
      {&s.loadChromaNonIntraMatrix, s.loadedNonIntraChroma, &s.nonIntraMatrixChroma, nullptr}};
  for (const Load& load : loads) {
    *load.flag = static_cast<int32_t>(readBits(r, 1));
    if (!*load.flag) continue;
    for (int i = 0; i < 64; ++i) load.storage[kScanTables[0][i]] = static_cast<int16_t>(readBits(r, 8));
    *load.pointer = load.storage;
    if (load.chromaPointer) *load.chromaPointer = load.storage;
  }
  unit.setReader(r);
}

}  // namespace quarlin
