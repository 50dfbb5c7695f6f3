// Start codes of the MPEG-2 video syntax (ISO/IEC 13818-2 Table 6-1), as the
// start-code table records them (0x100 | code byte).
#pragma once
#include <cstdint>

namespace quarlin {

constexpr int32_t kPictureStartCode = 0x100;
constexpr int32_t kUserDataStartCode = 0x1B2;
constexpr int32_t kSequenceHeaderCode = 0x1B3;
constexpr int32_t kExtensionStartCode = 0x1B5;
constexpr int32_t kGroupStartCode = 0x1B8;

// slice_start_code: 0x101..0x1AF.
constexpr bool isSliceStartCode(uint32_t code) { return code >= 0x101 && code <= 0x1AF; }

}  // namespace quarlin
