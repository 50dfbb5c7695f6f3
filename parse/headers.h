// The parsed values of the sequence and picture headers (ISO/IEC 13818-2
// 6.2.2 and 6.2.3) that the rest of the library reads.
#pragma once
#include <cstdint>

namespace quarlin {

// picture_coding_type (ISO/IEC 13818-2 Table 6-12).
constexpr int32_t kPictureI = 1, kPictureP = 2, kPictureB = 3, kPictureD = 4;
// picture_structure (Table 6-14).
constexpr int32_t kTopField = 1, kBottomField = 2, kFramePicture = 3;
// The structure of a field picture's other field.
constexpr int32_t otherField(int32_t structure) { return kTopField + kBottomField - structure; }

struct SequenceInfo {
  int32_t width = 0;   // horizontal_size_value, 12 bits
  int32_t stride = 0;  // (width + 127) & ~127: row pitch of decoded luma planes
  int32_t height = 0;  // vertical_size_value, 12 bits
  int32_t aspectRatioCode = 0;  // aspect_ratio_information, 1..14
  double frameDuration = 0.0;   // seconds per frame
  int32_t bitRateValue = 0;     // 18 bits
  int32_t loadIntraMatrix = 0, loadNonIntraMatrix = 0;
  int32_t loadChromaIntraMatrix = 0, loadChromaNonIntraMatrix = 0;
  int32_t mbWidth = 0, mbHeight = 0;  // (width + 15) / 16, (height + 15) / 16
  int32_t progressiveSequence = 0;
  int32_t chromaFactor = 0;  // 1 << chroma_format: 2 for 4:2:0
  int32_t frameRateExtN = 0, frameRateExtD = 0;
  int32_t displayWidth = 0, displayHeight = 0;
  // Weighting matrices, 64 entries in raster order. The intra pair points at
  // the default intra matrix unless one is loaded; a null non-intra pointer
  // is the flat matrix of 16.
  const int16_t* nonIntraMatrixLuma = nullptr;
  const int16_t* intraMatrixLuma = nullptr;
  const int16_t* intraMatrixChroma = nullptr;
  const int16_t* nonIntraMatrixChroma = nullptr;
  int16_t loadedIntra[64] = {};
  int16_t loadedNonIntra[64] = {};
  int16_t loadedIntraChroma[64] = {};
  int16_t loadedNonIntraChroma[64] = {};
  int32_t blocksPerMacroblock = 0;  // chromaFactor + 4

  SequenceInfo() = default;
  // The matrix pointers may point into this record, so a copy repoints them.
  SequenceInfo(const SequenceInfo& other) { *this = other; }
  SequenceInfo& operator=(const SequenceInfo& other);
};

// Macroblock rows of a frame: frames of interlaced sequences are coded in
// pairs of field macroblock rows, 2 * ceil(height / 32) (ISO/IEC 13818-2
// 6.3.3); progressive ones in ceil(height / 16). A field holds half of them.
inline int32_t frameMacroblockRows(const SequenceInfo& q) {
  return q.progressiveSequence ? (q.height + 15) / 16 : 2 * ((q.height + 31) / 32);
}

struct PictureInfo {
  int32_t temporalReference = 0;  // 10 bits
  int32_t pictureCodingType = 0;  // kPictureI, kPictureP, kPictureB (kPictureD refused)
  int32_t fCode[4] = {15, 15, 15, 15};  // forward h, forward v, backward h, backward v
  int32_t intraDcPrecision = 0;   // 0..3
  int32_t pictureStructure = kFramePicture;  // or kTopField, kBottomField
  int32_t topFieldFirst = 0;
  int32_t framePredFrameDct = 1;
  int32_t concealmentMotionVectors = 0;
  int32_t qScaleType = 0;
  int32_t intraVlcFormat = 0;     // selects the intra coefficient table (B.14 or B.15)
  int32_t alternateScan = 0;
  int32_t repeatFirstField = 0;
  int32_t chroma420Type = 0;
  int32_t progressiveFrame = 0;
};

}  // namespace quarlin
