// What the demultiplexers keep about the file between fills: the file kind,
// the transport stream's program tables, the first private packet's values
// and the file positions recorded for the index scan.
#pragma once
#include <cstdint>
#include <set>

#include "api/kelso/stl_allocator.h"
#include "parse/bit_reader.h"
#include "parse/start_codes.h"

namespace quarlin {

using PositionSet = std::set<int64_t, std::less<int64_t>, Kelso::STLAllocator<int64_t>>;

struct DemuxState {
  int32_t firstFill = 0;  // 1 until the first fill after the probe
  bool isElementary = false;
  bool reservedFlag = false;
  bool isTransport = false;
  BitReader psiReader;          // over psiBuffer
  uint32_t psiBuffer[46] = {};  // payload of the last PAT or PMT packet read (184 bytes)
  int32_t pmtPid = -1;          // -1 unknown
  int32_t programNumber = -1;   // -1 unknown
  int32_t videoPid = -1;        // -1 unknown, -2 none found
  int16_t privateShort = 0;     // from the first private packet (PID 0x1FFE or 0x1FFD)
  int32_t privateLong = -1;
  bool privateSeen = false;
  PositionSet packetEnds;  // transport: offsets just after video packets
  PositionSet packStarts;  // program stream: offsets of pack start codes
  int64_t lastRecorded = -1;

  DemuxState() {
    packetEnds.insert(0);
    packStarts.insert(0);
  }
};

// Video stream ids 0xE0..0xEF and the codes the program-stream loop keeps.
constexpr uint32_t kPackStartCode = 0x1BA;
constexpr uint32_t kSystemHeaderStartCode = 0x1BB;
constexpr uint32_t kProgramEndCode = 0x1B9;
constexpr int32_t kTransportPacketSize = 188;

}  // namespace quarlin
