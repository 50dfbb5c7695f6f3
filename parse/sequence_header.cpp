// The sequence header, sequence extension and sequence display extension
// (ISO/IEC 13818-2 6.2.2.1, 6.2.2.3, 6.2.2.4).
#include <cstring>

#include "parse/header_parser.h"
#include "parse/start_codes.h"
#include "primitives/mpeg2_tables.h"

namespace quarlin {

namespace {


// Matrix bytes come in zigzag order and are stored at their raster position.
void readMatrix(BitReader& r, int16_t* matrix) {
  for (int i = 0; i < 64; ++i) matrix[kScanTables[0][i]] = static_cast<int16_t>(readBits(r, 8));
}

// Seconds per frame: the base period of frame_rate_code times the integer
// quotient (frame_rate_extension_d + 1) / (frame_rate_extension_n + 1).
double frameDurationOf(int32_t frameRateCode, int32_t extN, int32_t extD) {
  static const double kBase[9] = {1.0 / 30,         1001.0 / 24000, 1.0 / 24,
                                  1.0 / 25,         1001.0 / 30000, 1.0 / 30,
                                  1.0 / 50,         1001.0 / 60000, 1.0 / 60};
  const double base = frameRateCode >= 1 && frameRateCode <= 8 ? kBase[frameRateCode] : 1.0 / 30;
  return static_cast<double>((extD + 1) / (extN + 1)) * base;
}

void parseSequenceDisplayExtension(BitReader& r, SequenceInfo& s) {
  skipBits(r, 3);                  // video_format
  if (readBits(r, 1)) skipBits(r, 24);  // colour_primaries, transfer, matrix
  skipBits(r, 2);
  s.displayWidth = static_cast<int32_t>(readBits(r, 12));
  skipBits(r, 3);  // marker_bit and the top two bits of display_vertical_size
  s.displayHeight = static_cast<int32_t>(readBits(r, 12));
}

// Extensions and user data after the sequence extension. Stops at any other
// start code (a sequence end code among them), which the next nextStartCode
// returns again.
void passSequenceExtensions(StreamBuffer& unit, SequenceInfo& s) {
  for (;;) {
    const int32_t code = unit.nextStartCode();
    if (code == kNoStartCode) return;
    if (code == kExtensionStartCode) {
      BitReader r = unit.reader();
      if (readBits(r, 4) == 2) parseSequenceDisplayExtension(r, s);
      continue;
    }
    if (code == kUserDataStartCode) continue;  // its bytes end at the next start code
    unit.backOneStartCode();
    return;
  }
}

}  // namespace

SequenceInfo& SequenceInfo::operator=(const SequenceInfo& other) {
  if (this == &other) return *this;
  std::memcpy(static_cast<void*>(this), &other, sizeof(SequenceInfo));
  auto repoint = [&](const int16_t* p) -> const int16_t* {
    const auto* base = reinterpret_cast<const uint8_t*>(&other);
    const auto* q = reinterpret_cast<const uint8_t*>(p);
    if (q >= base && q < base + sizeof(SequenceInfo))
      return reinterpret_cast<const int16_t*>(reinterpret_cast<const uint8_t*>(this) + (q - base));
    return p;
  };
  nonIntraMatrixLuma = repoint(other.nonIntraMatrixLuma);
  intraMatrixLuma = repoint(other.intraMatrixLuma);
  intraMatrixChroma = repoint(other.intraMatrixChroma);
  nonIntraMatrixChroma = repoint(other.nonIntraMatrixChroma);
  return *this;
}

namespace {
bool sameMatrix(const int16_t* a, const int16_t* b) {
  for (int i = 0; i < 64; ++i)
    if ((a ? a[i] : 16) != (b ? b[i] : 16)) return false;
  return true;
}
}  // namespace

bool sameCodingParameters(const SequenceInfo& a, const SequenceInfo& b) {
  return a.width == b.width && a.height == b.height && a.chromaFactor == b.chromaFactor &&
         sameMatrix(a.intraMatrixLuma, b.intraMatrixLuma) && sameMatrix(a.intraMatrixChroma, b.intraMatrixChroma) &&
         sameMatrix(a.nonIntraMatrixLuma, b.nonIntraMatrixLuma) &&
         sameMatrix(a.nonIntraMatrixChroma, b.nonIntraMatrixChroma);
}

int32_t parseSequenceHeader(StreamBuffer& unit, SequenceInfo& s) {
  BitReader r = unit.reader();
  uint32_t w = readBits(r, 32);
  s.width = static_cast<int32_t>(w >> 20);
  s.height = static_cast<int32_t>((w >> 8) & 0xFFF);
  s.aspectRatioCode = static_cast<int32_t>((w >> 4) & 0xF);
  const int32_t frameRateCode = static_cast<int32_t>(w & 0xF);
  s.stride = (s.width + 127) & ~127;
  s.mbWidth = (s.width + 15) / 16;
  s.mbHeight = (s.height + 15) / 16;
  s.displayWidth = s.width;
  s.displayHeight = s.height;

  w = readBits(r, 32);
  s.bitRateValue = static_cast<int32_t>(w >> 14);
  const bool marker = (w >> 13) & 1;
  s.loadIntraMatrix = static_cast<int32_t>((w >> 1) & 1);
  s.loadNonIntraMatrix = static_cast<int32_t>(w & 1);
  if (s.aspectRatioCode == 0 || s.aspectRatioCode == 15 || !marker) return kHeaderInvalid;

  s.intraMatrixLuma = s.intraMatrixChroma = kDefaultIntraMatrix;
  s.nonIntraMatrixLuma = s.nonIntraMatrixChroma = nullptr;
  if (s.loadIntraMatrix) {
    unreadBit(r);  // the bit taken as the non-intra flag starts the matrix
    readMatrix(r, s.loadedIntra);
    s.intraMatrixLuma = s.intraMatrixChroma = s.loadedIntra;
    s.loadNonIntraMatrix = static_cast<int32_t>(readBits(r, 1));
  }
  if (s.loadNonIntraMatrix) {
    readMatrix(r, s.loadedNonIntra);
    s.nonIntraMatrixLuma = s.nonIntraMatrixChroma = s.loadedNonIntra;
  }

  // MPEG-2 requires the sequence extension right after the header.
  if (unit.rewindToCurrent() != kExtensionStartCode) return kHeaderInvalid;
  unit.skipStartCode();
  r = unit.reader();
  if (showBits(r, 4) != 1) return kHeaderInvalid;
  w = readBits(r, 32);
  s.progressiveSequence = static_cast<int32_t>((w >> 19) & 1);
  s.chromaFactor = 1 << ((w >> 17) & 3);
  if ((w & 1) == 0) return kHeaderInvalid;
  w = readBits(r, 16);
  s.frameRateExtN = static_cast<int32_t>((w >> 5) & 3);
  s.frameRateExtD = static_cast<int32_t>(w & 0x1F);
  s.frameDuration = frameDurationOf(frameRateCode, s.frameRateExtN, s.frameRateExtD);
  s.blocksPerMacroblock = s.chromaFactor + 4;
  unit.setReader(r);

  passSequenceExtensions(unit, s);
  return kHeaderOk;
}

}  // namespace quarlin
