#include "parse/picture_header.h"

#include "parse/header_parser.h"
#include "parse/start_codes.h"

namespace quarlin {

namespace {

constexpr uint32_t kQuantMatrixExtensionId = 3;

// f_code fields of the picture header itself (MPEG-1 style, 3 bits); they
// fill both components of a direction and 0 is forbidden.
int32_t readHeaderFCodes(BitReader& r, PictureInfo& p) {
  const int directions = p.pictureCodingType == kPictureP ? 1 : p.pictureCodingType == kPictureB ? 2 : 0;
  for (int s = 0; s < directions; ++s) {
    skipBits(r, 1);  // full_pel_(forward|backward)_vector
    const int32_t f = static_cast<int32_t>(readBits(r, 3));
    p.fCode[2 * s] = p.fCode[2 * s + 1] = f;
    if (f == 0) return kHeaderInvalid;
  }
  return kHeaderOk;
}

// extra_bit_picture / extra_information_picture, bounded by the unit.
void skipExtraInformation(BitReader& r, const StreamBuffer& unit) {
  const uint32_t* end = unit.words() + (unit.filled + 3) / 4;
  while (r.wordPtr < end && readBits(r, 1)) skipBits(r, 8);
}

}  // namespace

void parsePictureHeader(StreamBuffer& unit, PictureInfo& picture) {
  BitReader r{unit.words(), 31};
  picture.temporalReference = static_cast<int32_t>(readBits(r, 10));
  picture.pictureCodingType = static_cast<int32_t>(readBits(r, 3));
  unit.setReader(r);
}

int32_t completePictureHeader(StreamBuffer& unit, SequenceInfo& sequence, PictureInfo& picture,
                              PictureDecodeValues& values) {
  values.mbRow = 0;
  values.mbColumn = -1;
  BitReader r = unit.reader();
  skipBits(r, 16);  // vbv_delay
  if (picture.pictureCodingType < kPictureI || picture.pictureCodingType > kPictureD) return kHeaderInvalid;
  if (int32_t result = readHeaderFCodes(r, picture); result != kHeaderOk) return result;
  skipExtraInformation(r, unit);
  unit.setReader(r);
  setPictureDefaults(picture);

  int32_t code = unit.rewindToCurrent();
  if (code == kExtensionStartCode) {
    if (int32_t result = parsePictureCodingExtension(unit, sequence, picture); result != kHeaderOk)
      return result;
    code = unit.rewindToCurrent();
  }
  values.intraDcShift = 3 - picture.intraDcPrecision;
  values.dcPredictorReset = 128 << picture.intraDcPrecision;

  // Further extensions and user data. Whatever an extension's own syntax
  // holds, the reader is repositioned at the next start code of the table.
  while (code == kUserDataStartCode || code == kExtensionStartCode) {
    unit.skipStartCode();
    if (code == kExtensionStartCode) {
      BitReader e = unit.reader();
      if (showBits(e, 4) == kQuantMatrixExtensionId) {
        skipBits(e, 4);
        unit.setReader(e);
        parseQuantMatrixExtension(unit, sequence);
      }
    }
    code = unit.rewindToCurrent();
  }
  return kHeaderOk;
}

}  // namespace quarlin
