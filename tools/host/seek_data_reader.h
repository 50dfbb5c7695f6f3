// Reads the seek-data block of Quarlin_GetSeekData: a 24-byte stream part
// (file kind) followed by the frame index of version 3 or 4 (header of 16
// bytes, then one 32-byte entry per picture in display order), little-endian.
#pragma once
#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

namespace quarlin::tool {

enum class ContainerKind { Elementary, Program, Transport };

const char* containerName(ContainerKind kind);  // "es", "ps", "ts"

struct SeekEntry {
  int64_t position = 0;   // file offset from which the picture's data is read
  uint32_t size = 0;      // coded size of the picture unit
  int32_t number = 0;     // display-order frame number
  int32_t forward = -1;   // forward reference, -1 for none
  int32_t backward = -1;  // backward reference, -1 for none
  uint8_t type = 0;       // 1 I, 2 P, 3 B, 0 any other picture type
  bool key = false;       // a key entry
};

struct SeekData {
  ContainerKind container = ContainerKind::Elementary;
  int64_t lastRecorded = -1;
  int32_t startFrameOffset = 0;
  uint32_t frameCount = 0;
  std::vector<SeekEntry> entries;  // ascending display number
};

class SeekDataError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws SeekDataError when the block is too short for its header or its
// entry count, or its index part is not version 3 or 4.
SeekData readSeekData(std::span<const uint8_t> block);

// 'I', 'P', 'B'; 'D' for type 0, which the index gives D-pictures
// (picture_coding_type 4), the only other type it accepts.
char pictureTypeLetter(uint8_t type);

}  // namespace quarlin::tool
