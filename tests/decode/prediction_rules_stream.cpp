#include "prediction_rules_stream.h"

#include <cstdlib>
#include <initializer_list>

namespace quarlin::decodetest {
namespace {

// Code words of ISO/IEC 13818-2 Annex B.
const char* const kIncrement[] = {"", "1", "011", "010"};                   // B.1
const char* const kDcSizeLuma[] = {"100", "00", "01", "101", "110", "1110", "11110", "111110", "1111110"};  // B.12
const char* const kDcSizeChroma[] = {"00", "01", "10", "110", "1110", "11110", "111110", "1111110", "11111110"};  // B.13
const char* motionCode(int v) {  // B.10
  switch (v) {
    case -2: return "0011";
    case -1: return "011";
    case 1: return "010";
    case 2: return "0010";
    default: return "1";
  }
}
const char* dmvector(int v) { return v == 0 ? "0" : (v > 0 ? "10" : "11"); }  // B.11
// macroblock_type (B.2, B.3, B.4).
constexpr const char* kIntraI = "1";
constexpr const char* kForwardNotCodedP = "001";
constexpr const char* kNoMotionCodedP = "01";
constexpr const char* kInterpolatedNotCodedB = "10";
constexpr const char* kBackwardNotCodedB = "010";
constexpr const char* kForwardNotCodedB = "0010";
constexpr const char* kIntraB = "00011";
// coded_block_pattern (B.9) and motion types.
constexpr const char* kOnlyCr = "01011";
constexpr const char* kOnlyBlock0 = "1010";
constexpr const char* kField = "01";
constexpr const char* kSixteenByEight = "10";
constexpr const char* kFrame = "10";
constexpr const char* kDualPrime = "11";

class Writer {
 public:
  void put(uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
      if (free_ == 0) {
        bytes.push_back(0);
        free_ = 8;
      }
      --free_;
      if ((value >> i) & 1) bytes.back() |= static_cast<uint8_t>(1u << free_);
    }
  }
  void code(const char* bits) {
    for (const char* c = bits; *c; ++c) put(*c == '1', 1);
  }
  void startCode(uint8_t value) {
    free_ = 0;  // next_start_code(): zero bits up to the byte boundary
    bytes.insert(bytes.end(), {0, 0, 1, value});
  }

  void sequenceHeader() {
    startCode(0xB3);
    put(64, 12);   // horizontal_size_value
    put(64, 12);   // vertical_size_value
    put(1, 4);     // aspect_ratio_information: square samples
    put(3, 4);     // frame_rate_code: 25
    put(2000, 18); // bit_rate_value
    put(1, 1);     // marker_bit
    put(112, 10);  // vbv_buffer_size_value
    put(0, 3);     // constrained_parameters_flag, load_intra/non_intra_quantiser_matrix
    startCode(0xB5);
    put(1, 4);     // sequence_extension
    put(0x48, 8);  // Main profile, Main level
    put(0, 1);     // progressive_sequence
    put(1, 2);     // chroma_format 4:2:0
    put(0, 4);     // size extensions
    put(0, 12);    // bit_rate_extension
    put(1, 1);     // marker_bit
    put(0, 8);     // vbv_buffer_size_extension
    put(0, 8);     // low_delay, frame_rate_extension_n, frame_rate_extension_d
    startCode(0xB8);
    put(0, 13);    // drop_frame_flag, hours, minutes
    put(1, 1);     // marker_bit
    put(0, 12);    // seconds, pictures
    put(2, 2);     // closed_gop 1, broken_link 0
  }

  // picture_header and picture_coding_extension. f_code 1 for the
  // directions the type uses, 15 for the others.
  void picture(int temporalReference, int type, int structure) {
    startCode(0x00);
    put(static_cast<uint32_t>(temporalReference), 10);
    put(static_cast<uint32_t>(type), 3);
    put(0xFFFF, 16);  // vbv_delay
    if (type >= 2) put(0x7, 4);  // full_pel_forward_vector 0, forward_f_code 7
    if (type == 3) put(0x7, 4);  // full_pel_backward_vector 0, backward_f_code 7
    put(0, 1);                    // extra_bit_picture
    startCode(0xB5);
    put(8, 4);  // picture_coding_extension
    put(type >= 2 ? 1 : 15, 4);
    put(type >= 2 ? 1 : 15, 4);
    put(type == 3 ? 1 : 15, 4);
    put(type == 3 ? 1 : 15, 4);
    put(0, 2);  // intra_dc_precision
    put(static_cast<uint32_t>(structure), 2);
    put(structure == 3 ? 1 : 0, 1);  // top_field_first
    put(0, 1);  // frame_pred_frame_dct: field and frame prediction
    put(0, 6);  // concealment_motion_vectors, q_scale_type, intra_vlc_format, alternate_scan,
                // repeat_first_field, chroma_420_type
    put(0, 2);  // progressive_frame, composite_display_flag
  }

  void slice(int row) {
    startCode(static_cast<uint8_t>(row + 1));
    put(8, 5);  // quantiser_scale_code
    put(0, 1);  // extra_bit_slice
    dc_[0] = dc_[1] = dc_[2] = 128;
  }

  void macroblock(int increment, const char* type) {
    code(kIncrement[increment]);
    code(type);
  }
  void vector(int x, int y) {
    code(motionCode(x));
    code(motionCode(y));
  }
  void dualPrimeVector(int x, int dmvX, int y, int dmvY) {
    code(motionCode(x));
    code(dmvector(dmvX));
    code(motionCode(y));
    code(dmvector(dmvY));
  }
  // Four luma blocks of value y, then Cb and Cr, DC only (table B.14).
  void intraBlocks(int y, int cb, int cr) {
    const int values[6] = {y, y, y, y, cb, cr};
    for (int k = 0; k < 6; ++k) {
      const int component = k < 4 ? 0 : k - 3;
      const int differential = values[k] - dc_[component];
      dc_[component] = values[k];
      int size = 0;
      for (int m = std::abs(differential); m; m >>= 1) ++size;
      code(component == 0 ? kDcSizeLuma[size] : kDcSizeChroma[size]);
      if (size) put(static_cast<uint32_t>(differential > 0 ? differential : differential + (1 << size) - 1), size);
      code("10");  // end_of_block
    }
  }
  // A non-intra block holding one coefficient +1 at DC.
  void oneCoefficientBlock() { code("10" "10"); }

  std::vector<uint8_t> bytes;

 private:
  int free_ = 0;
  int dc_[3] = {128, 128, 128};
};

// Sample values of the I frame's fields, per macroblock: the two fields
// differ everywhere.
void intraField(Writer& w, int parity) {
  for (int row = 0; row < 2; ++row) {
    w.slice(row);
    for (int c = 0; c < 4; ++c) {
      w.macroblock(1, kIntraI);
      if (parity == 0)
        w.intraBlocks(40 + 30 * c + 50 * row, 90 + 20 * c, 160 - 15 * c + 20 * row);
      else
        w.intraBlocks(220 - 25 * c - 60 * row, 170 - 20 * c, 60 + 15 * c + 10 * row);
    }
  }
}

void pTopField(Writer& w) {
  w.slice(0);
  w.macroblock(1, kNoMotionCodedP);  // zero vector, same parity
  w.code(kOnlyCr);
  w.oneCoefficientBlock();
  w.macroblock(3, kForwardNotCodedP);  // two skipped: same parity of the reference
  w.code(kField);
  w.put(1, 1);  // bottom field
  w.vector(-2, 0);
  w.slice(1);
  w.macroblock(1, kForwardNotCodedP);
  w.code(kField);
  w.put(0, 1);
  w.vector(0, -2);
  w.macroblock(1, kForwardNotCodedP);
  w.code(kDualPrime);  // both fields of the reference frame
  w.dualPrimeVector(1, 0, 0, 1);
  w.macroblock(2, kNoMotionCodedP);
  w.code(kOnlyBlock0);
  w.oneCoefficientBlock();
}

// The second field: the top field it may select is the one just decoded.
void pBottomField(Writer& w) {
  w.slice(0);
  w.macroblock(1, kForwardNotCodedP);
  w.code(kDualPrime);  // other parity from the current frame's top field
  w.dualPrimeVector(0, 0, 0, 0);
  w.macroblock(3, kForwardNotCodedP);  // two skipped: the reference's bottom field
  w.code(kField);
  w.put(0, 1);  // the current frame's top field
  w.vector(-2, 0);
  w.slice(1);
  w.macroblock(1, kNoMotionCodedP);  // the reference's bottom field, not the current top
  w.code(kOnlyCr);
  w.oneCoefficientBlock();
  w.macroblock(2, kForwardNotCodedP);
  w.code(kField);
  w.put(1, 1);
  w.vector(0, -2);
  w.macroblock(1, kNoMotionCodedP);
  w.code(kOnlyBlock0);
  w.oneCoefficientBlock();
}

void bTopField(Writer& w) {
  w.slice(0);
  w.macroblock(1, kForwardNotCodedB);
  w.code(kSixteenByEight);
  w.put(1, 1);
  w.vector(2, 0);
  w.put(1, 1);
  w.vector(0, 2);
  w.macroblock(2, kInterpolatedNotCodedB);  // one skipped: top field, PMV[0] = (2, 0)
  w.code(kField);
  w.put(0, 1);
  w.vector(0, 0);
  w.put(1, 1);
  w.vector(1, 1);
  w.macroblock(1, kBackwardNotCodedB);
  w.code(kField);
  w.put(0, 1);
  w.vector(-1, 0);
  w.slice(1);
  w.macroblock(1, kBackwardNotCodedB);
  w.code(kField);
  w.put(1, 1);
  w.vector(0, -1);
  w.macroblock(3, kInterpolatedNotCodedB);  // two skipped: backward, top field
  w.code(kField);
  w.put(1, 1);
  w.vector(0, 0);
  w.put(0, 1);
  w.vector(0, 0);
}

void bBottomField(Writer& w) {
  w.slice(0);
  w.macroblock(1, kInterpolatedNotCodedB);
  w.code(kField);
  w.put(0, 1);
  w.vector(2, 0);
  w.put(1, 1);
  w.vector(0, 0);
  w.macroblock(2, kForwardNotCodedB);  // one skipped: both directions, bottom fields
  w.code(kSixteenByEight);
  w.put(0, 1);
  w.vector(0, 0);  // (2, 0) from PMV[0]
  w.put(1, 1);
  w.vector(-2, 0);  // (0, 0): PMV[1] took PMV[0] after the field prediction
  w.macroblock(1, kForwardNotCodedB);
  w.code(kField);
  w.put(1, 1);
  w.vector(-2, 0);
  w.slice(1);
  w.macroblock(1, kIntraB);
  w.intraBlocks(100, 120, 140);
  w.macroblock(1, kForwardNotCodedB);
  w.code(kField);
  w.put(0, 1);
  w.vector(0, 0);
  w.macroblock(2, kBackwardNotCodedB);  // one skipped: forward, bottom field
  w.code(kField);
  w.put(0, 1);
  w.vector(0, -2);
}

// Skipped macroblocks after field prediction use frame prediction with
// PMV[0] (frame units).
void bFrame(Writer& w) {
  w.slice(0);
  w.macroblock(1, kForwardNotCodedB);
  w.code(kField);
  w.put(1, 1);
  w.vector(2, 1);  // (2, 1) in field lines; PMV[0][0] = (2, 2)
  w.put(0, 1);
  w.vector(0, 0);
  w.macroblock(2, kForwardNotCodedB);  // one skipped
  w.code(kFrame);
  w.vector(0, 0);
  w.macroblock(1, kBackwardNotCodedB);
  w.code(kFrame);
  w.vector(-2, 0);
  w.slice(1);
  w.macroblock(1, kInterpolatedNotCodedB);
  w.code(kField);
  w.put(0, 1);
  w.vector(0, 0);
  w.put(1, 1);
  w.vector(0, 1);
  w.put(1, 1);
  w.vector(2, 0);
  w.put(0, 1);
  w.vector(0, 0);
  w.macroblock(3, kInterpolatedNotCodedB);  // two skipped, both directions
  w.code(kFrame);
  w.vector(0, 0);
  w.vector(-2, 0);
  w.slice(2);
  w.macroblock(1, kForwardNotCodedB);
  w.code(kFrame);
  w.vector(0, -2);
  w.macroblock(3, kForwardNotCodedB);
  w.code(kFrame);
  w.vector(0, 2);
  w.slice(3);
  w.macroblock(1, kBackwardNotCodedB);
  w.code(kField);
  w.put(0, 1);
  w.vector(0, -1);  // PMV[0][1] = (0, -2)
  w.put(1, 1);
  w.vector(0, 0);
  w.macroblock(3, kBackwardNotCodedB);  // two skipped: frame prediction (0, -2)
  w.code(kFrame);
  w.vector(0, 2);
}

}  // namespace

std::vector<uint8_t> predictionRulesStream() {
  Writer w;
  w.sequenceHeader();
  w.picture(0, 1, 1);
  intraField(w, 0);
  w.picture(0, 1, 2);
  intraField(w, 1);
  w.picture(3, 2, 1);
  pTopField(w);
  w.picture(3, 2, 2);
  pBottomField(w);
  w.picture(1, 3, 1);
  bTopField(w);
  w.picture(1, 3, 2);
  bBottomField(w);
  w.picture(2, 3, 3);
  bFrame(w);
  w.startCode(0xB7);  // sequence_end_code
  return w.bytes;
}

}  // namespace quarlin::decodetest
