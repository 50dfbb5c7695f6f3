// What the demultiplexers keep about the file between fills: the file kind,
// the transport stream's program tables, the first private packet's values
// and the file positions recorded for the index scan.
#pragma once
#include <algorithm>
#include <cstdint>
#include <vector>

#include "foundation/kelso/stl_allocator.h"
#include "parse/psi.h"
#include "parse/start_codes.h"

namespace quarlin {

// File offsets recorded as the demultiplexer reads, in increasing order (an
// offset recorded again, or before a later one, keeps one sorted place). The
// scan recalls them a few records back from where it stands and may forget
// those before; recording and forgetting cost O(1) in a forward scan.
class PositionList {
 public:
  void record(int64_t position) {
    if (head_ == positions_.size() || position > positions_.back()) {
      positions_.push_back(position);
      return;
    }
    const auto at = std::lower_bound(positions_.begin() + static_cast<std::ptrdiff_t>(head_), positions_.end(), position);
    if (*at != position) positions_.insert(at, position);
  }
  void clear() {
    positions_.clear();
    head_ = 0;
  }
  // The offsets not forgotten, in order.
  std::vector<int64_t> remembered() const {
    return {positions_.begin() + static_cast<std::ptrdiff_t>(head_), positions_.end()};
  }
  // The recorded offset three records before the first at or after
  // `position` (the first recorded one when fewer precede it); `position`
  // itself when none is recorded. With `forget`, the offsets before the one
  // returned are dropped.
  int64_t threeBefore(int64_t position, bool forget) {
    if (head_ == positions_.size()) return position;
    const auto first = positions_.begin() + static_cast<std::ptrdiff_t>(head_);
    const auto at = std::lower_bound(first, positions_.end(), position);
    const size_t index = static_cast<size_t>(std::max<std::ptrdiff_t>(at - positions_.begin() - 3, static_cast<std::ptrdiff_t>(head_)));
    if (forget) head_ = index;
    const int64_t found = positions_[index];
    if (head_ > 4096 && head_ * 2 > positions_.size()) {  // reclaim the forgotten front now and then
      positions_.erase(positions_.begin(), positions_.begin() + static_cast<std::ptrdiff_t>(head_));
      head_ = 0;
    }
    return found;
  }

 private:
  std::vector<int64_t, Kelso::STLAllocator<int64_t>> positions_;
  size_t head_ = 0;  // offsets before it are forgotten
};

// How a transport stream's packets lie in the file: 188-byte packets, or
// each behind a 4-byte time stamp (192: M2TS, AVCHD, Blu-ray), or followed
// by 16 parity bytes (204: DVB). A capture may start inside a packet.
struct TransportLayout {
  int32_t packetSize = 188;  // bytes from one packet record to the next
  int32_t syncOffset = 0;    // the sync byte's offset in its record
  int64_t firstRecord = 0;   // file offset of the first whole record
};

// Recognises a transport stream from the first bytes of a file: sync bytes
// at one of the record sizes, five times in a row (as many as the bytes
// hold when fewer). False when the bytes show no such pattern.
bool detectTransportLayout(const uint8_t* bytes, int32_t count, TransportLayout& layout);

// A program of the transport stream's program association table.
struct TransportProgram {
  int32_t number = 0;
  int32_t pmtPid = 0;
  int32_t videoPid = -1;  // from its PMT: -1 not seen yet, -2 no MPEG-2 video
  SectionAssembler pmt;
};

struct DemuxState {
  template <class T>
  using Array = std::vector<T, Kelso::STLAllocator<T>>;

  int32_t firstFill = 0;  // 1 until the first fill after the probe
  bool isElementary = false;
  bool reservedFlag = false;
  bool isTransport = false;
  TransportLayout layout;
  SectionAssembler pat;
  Array<PatSection> patSections;     // by section_number until the table is whole
  bool patComplete = false;
  Array<TransportProgram> programs;  // PAT order; set once the table is whole
  int32_t pmtPid = -1;         // of the chosen program; -1 unknown
  int32_t programNumber = -1;  // of the chosen program; -1 unknown
  int32_t videoPid = -1;       // -1 unknown, -2 none found
  int16_t privateShort = 0;     // from the first private packet (PID 0x1FFE or 0x1FFD)
  int32_t privateLong = -1;
  bool privateSeen = false;
  PositionList packetEnds;  // transport: offsets just after video packets
  PositionList packStarts;  // program stream: offsets of pack start codes
  int64_t lastRecorded = -1;

  DemuxState() {
    packetEnds.record(0);
    packStarts.record(0);
  }
};

// Video stream ids 0xE0..0xEF and the codes the program-stream loop keeps.
constexpr uint32_t kPackStartCode = 0x1BA;
constexpr uint32_t kSystemHeaderStartCode = 0x1BB;
constexpr uint32_t kProgramEndCode = 0x1B9;
constexpr int32_t kTransportPacketSize = 188;
constexpr uint8_t kTransportSyncByte = 0x47;

}  // namespace quarlin
