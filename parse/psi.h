// Program-specific information of transport streams (ISO/IEC 13818-1 2.4.4):
// sections assembled from packet payloads (pointer_field, sections that
// span packets, several sections in one packet), their CRC_32, and the
// program association and program map tables.
#pragma once
#include <cstdint>
#include <vector>

#include "foundation/kelso/stl_allocator.h"

namespace quarlin {

// CRC_32 of ISO/IEC 13818-1 Annex A (polynomial 0x04C11DB7, initial value
// all ones, no reflection): 0 over a whole section with its CRC_32 field.
uint32_t mpegCrc32(const uint8_t* data, int32_t length);

// The sections of one PID, assembled from the payloads of its packets.
class SectionAssembler {
 public:
  // A complete section (header through CRC_32), its length 3..1024.
  using Sink = void (*)(void* context, const uint8_t* section, int32_t length);

  // Takes one packet's payload. payload_unit_start_indicator set: the first
  // byte is the pointer_field. Every section completed is passed to `sink`,
  // whatever its CRC says.
  void feed(const uint8_t* payload, int32_t length, bool unitStart, Sink sink, void* context);
  void reset() { collecting_ = false, bytes_.clear(); }

 private:
  // Appends to the section being collected; returns the bytes taken.
  int32_t take(const uint8_t* data, int32_t length, Sink sink, void* context);

  std::vector<uint8_t, Kelso::STLAllocator<uint8_t>> bytes_;
  bool collecting_ = false;
};

constexpr uint8_t kTableProgramAssociation = 0x00;
constexpr uint8_t kTableProgramMap = 0x02;
constexpr int32_t kMaxSectionLength = 1024;  // section_length 1021 and its 3 header bytes

struct PatProgram {
  int32_t number = 0;
  int32_t pmtPid = 0;
};

// A program association section with a valid CRC that is current
// (current_next_indicator 1). False for any other section.
struct PatSection {
  int32_t sectionNumber = 0;
  int32_t lastSectionNumber = 0;
  std::vector<PatProgram, Kelso::STLAllocator<PatProgram>> programs;  // program 0 left out
};
bool parsePatSection(const uint8_t* section, int32_t length, PatSection& out);

// A program map section with a valid CRC that is current: its
// program_number and the PID of its first stream of stream_type 2 (MPEG-2
// video), or -2 when it has none.
bool parsePmtSection(const uint8_t* section, int32_t length, int32_t& programNumber, int32_t& videoPid);

}  // namespace quarlin
