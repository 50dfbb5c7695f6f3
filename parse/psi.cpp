#include "parse/psi.h"

#include <array>

namespace quarlin {

namespace {

constexpr std::array<uint32_t, 256> makeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i << 24;
    for (int k = 0; k < 8; ++k) c = (c & 0x80000000u) ? (c << 1) ^ 0x04C11DB7u : c << 1;
    table[i] = c;
  }
  return table;
}
constexpr std::array<uint32_t, 256> kCrcTable = makeCrcTable();

constexpr uint8_t kStuffing = 0xFF;  // a table_id of 0xFF: the rest of the payload is stuffing
constexpr uint8_t kStreamTypeMpeg2Video = 0x02;

int32_t sectionLengthOf(const uint8_t* header) { return 3 + (((header[1] & 0x0F) << 8) | header[2]); }

// The checks every table section passes: section_syntax_indicator 1, a
// length that holds the fixed header and the CRC, current_next_indicator 1
// and a CRC_32 that checks.
bool validSection(const uint8_t* s, int32_t length, uint8_t tableId, int32_t minimumLength) {
  return length >= minimumLength && s[0] == tableId && (s[1] & 0x80) != 0 && (s[5] & 0x01) != 0 &&
         mpegCrc32(s, length) == 0;
}

}  // namespace

uint32_t mpegCrc32(const uint8_t* data, int32_t length) {
  uint32_t crc = 0xFFFFFFFFu;
  for (int32_t i = 0; i < length; ++i) crc = (crc << 8) ^ kCrcTable[((crc >> 24) ^ data[i]) & 0xFF];
  return crc;
}

int32_t SectionAssembler::take(const uint8_t* data, int32_t length, Sink sink, void* context) {
  int32_t taken = 0;
  while (taken < length) {
    // The 3 header bytes first (they may be split between packets), then
    // the rest of what section_length gives.
    const int32_t needed = bytes_.size() < 3 ? 3 : sectionLengthOf(bytes_.data());
    if (needed > kMaxSectionLength) {
      reset();  // not a section: wait for the next payload unit start
      return length;
    }
    const int32_t want = needed - static_cast<int32_t>(bytes_.size());
    const int32_t n = want < length - taken ? want : length - taken;
    bytes_.insert(bytes_.end(), data + taken, data + taken + n);
    taken += n;
    if (bytes_.size() >= 3 && static_cast<int32_t>(bytes_.size()) == sectionLengthOf(bytes_.data())) {
      sink(context, bytes_.data(), static_cast<int32_t>(bytes_.size()));
      reset();
      return taken;
    }
  }
  return taken;
}

void SectionAssembler::feed(const uint8_t* payload, int32_t length, bool unitStart, Sink sink, void* context) {
  if (length <= 0) return;
  if (!unitStart) {
    if (collecting_) take(payload, length, sink, context);
    return;
  }
  const int32_t pointer = payload[0];
  if (1 + pointer > length) {  // a pointer past the payload: nothing here is usable
    reset();
    return;
  }
  // Bytes before the pointed-to section end the one being collected.
  if (collecting_) take(payload + 1, pointer, sink, context);
  reset();
  for (int32_t at = 1 + pointer; at < length && payload[at] != kStuffing;) {
    collecting_ = true;
    at += take(payload + at, length - at, sink, context);
    if (collecting_) return;  // it goes on in the next packet
  }
}

bool parsePatSection(const uint8_t* s, int32_t length, PatSection& out) {
  // table_id .. last_section_number (8 bytes), the programs, CRC_32.
  if (!validSection(s, length, kTableProgramAssociation, 12)) return false;
  out.sectionNumber = s[6];
  out.lastSectionNumber = s[7];
  out.programs.clear();
  for (int32_t at = 8; at + 4 <= length - 4; at += 4) {
    const int32_t number = (s[at] << 8) | s[at + 1];
    const int32_t pid = ((s[at + 2] & 0x1F) << 8) | s[at + 3];
    if (number != 0) out.programs.push_back(PatProgram{number, pid});  // 0: the network PID
  }
  return true;
}

bool parsePmtSection(const uint8_t* s, int32_t length, int32_t& programNumber, int32_t& videoPid) {
  // table_id .. program_info_length (12 bytes), descriptors, the streams, CRC_32.
  if (!validSection(s, length, kTableProgramMap, 16)) return false;
  programNumber = (s[3] << 8) | s[4];
  videoPid = -2;
  const int32_t end = length - 4;
  for (int32_t at = 12 + (((s[10] & 0x0F) << 8) | s[11]); at + 5 <= end;) {
    if (s[at] == kStreamTypeMpeg2Video) {
      videoPid = ((s[at + 1] & 0x1F) << 8) | s[at + 2];
      return true;
    }
    at += 5 + (((s[at + 3] & 0x0F) << 8) | s[at + 4]);
  }
  return true;
}

}  // namespace quarlin
