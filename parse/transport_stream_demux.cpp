// MPEG-2 transport streams (ISO/IEC 13818-1 2.4): 188-byte packets, alone
// or in 192- and 204-byte records; the program association and program map
// tables; the chosen program's video payload.
#include <algorithm>
#include <cstring>

#include "parse/demux.h"

namespace quarlin {

namespace {

constexpr int32_t kPayloadBytes = 184;
constexpr int32_t kPrivatePidA = 0x1FFE;
constexpr int32_t kPrivatePidB = 0x1FFD;
constexpr int32_t kNullPid = 0x1FFF;
constexpr int32_t kPatPid = 0;
// Sync bytes in a row that make a file a transport stream.
constexpr int32_t kSyncRun = 5;
// Program tables are looked for this far into the file; past it a program
// is chosen among those whose tables were seen. Broadcast repeats them
// every few hundred milliseconds, a few hundred kilobytes at most.
constexpr int64_t kProgramSearchBytes = int64_t{8} << 20;
constexpr int32_t kNoVideo = -2;
constexpr int32_t kUnknown = -1;

// ---- Program choice ------------------------------------------------------

void choose(DemuxState& state, const TransportProgram& program) {
  state.programNumber = program.number;
  state.pmtPid = program.pmtPid;
  state.videoPid = program.videoPid;
}

// The last program of the PAT when its PMT lists MPEG-2 video (stream_type
// 2), otherwise the first program, in PAT order, that does. Until every
// table that decides it has been seen, nothing is chosen; `final` chooses
// among what was seen. True once videoPid is set (kNoVideo when none).
bool decideProgram(DemuxState& state, bool final) {
  if (state.programs.empty()) {
    // No table yet (or not all its sections); a whole one without programs
    // names no video.
    if (!final && !state.patComplete) return false;
    state.videoPid = kNoVideo;
    return true;
  }
  const TransportProgram& last = state.programs.back();
  if (last.videoPid >= 0) {
    choose(state, last);
    return true;
  }
  if (last.videoPid == kUnknown && !final) return false;
  for (const TransportProgram& p : state.programs) {
    if (p.videoPid >= 0) {
      choose(state, p);
      return true;
    }
    if (p.videoPid == kUnknown && !final) return false;
  }
  state.videoPid = kNoVideo;
  return true;
}

void onPatSection(void* context, const uint8_t* section, int32_t length) {
  auto& state = *static_cast<DemuxState*>(context);
  PatSection pat;
  if (state.patComplete || !parsePatSection(section, length, pat)) return;
  const size_t count = static_cast<size_t>(pat.lastSectionNumber) + 1;
  // A table of another size than the sections collected so far starts over.
  if (state.patSections.size() != count ||
      (!state.patSections.empty() && state.patSections[0].lastSectionNumber != pat.lastSectionNumber)) {
    state.patSections.assign(count, PatSection{});
    for (PatSection& s : state.patSections) s.lastSectionNumber = -1;  // not received
  }
  if (pat.sectionNumber >= static_cast<int32_t>(count)) return;
  state.patSections[static_cast<size_t>(pat.sectionNumber)] = pat;
  for (const PatSection& s : state.patSections)
    if (s.lastSectionNumber < 0) return;
  state.patComplete = true;
  for (const PatSection& s : state.patSections)
    for (const PatProgram& p : s.programs) {
      TransportProgram program;
      program.number = p.number;
      program.pmtPid = p.pmtPid;
      state.programs.push_back(program);
    }
}

struct PmtContext {
  DemuxState* state;
  int32_t pid;
};

void onPmtSection(void* context, const uint8_t* section, int32_t length) {
  const auto& c = *static_cast<PmtContext*>(context);
  int32_t number = 0, video = kNoVideo;
  if (!parsePmtSection(section, length, number, video)) return;
  for (TransportProgram& p : c.state->programs)
    if (p.pmtPid == c.pid && p.number == number && p.videoPid == kUnknown) p.videoPid = video;
}

// ---- Packets ---------------------------------------------------------------

// The payload of a PSI packet, after its adaptation field; the reader ends
// anywhere inside the packet.
int32_t readPayload(AsyncFileReader& reader, int32_t adaptationControl, int64_t packetEnd, uint8_t* payload,
                    int32_t& length) {
  length = 0;
  if (adaptationControl == 0 || adaptationControl == 2) return 0;
  if (adaptationControl == 3) {
    uint8_t adaptationLength = 0;
    if (int32_t r = reader.readByte(adaptationLength); r != 0) return r;
    reader.skip(adaptationLength);
  }
  const int64_t count = packetEnd - reader.getPosition();
  if (count <= 0 || count > kPayloadBytes) return 0;
  int32_t got = 0;
  const int32_t r = reader.read(payload, static_cast<int32_t>(count), got);
  length = got;
  return r;
}

int32_t takePrivateValues(AsyncFileReader& reader, DemuxState& state, int32_t pid) {
  uint16_t shortValue = 0;
  uint32_t longValue = 0;
  if (pid == kPrivatePidB) {
    uint32_t tag = 0;
    if (int32_t r = reader.readU32BE(tag); r != 0) return r;
    if (tag != 1) {
      uint16_t skipped = 0;
      if (int32_t r = reader.readU16BE(skipped); r != 0) return r;
    }
  }
  if (int32_t r = reader.readU16BE(shortValue); r != 0) return r;
  if (int32_t r = reader.readU32BE(longValue); r != 0) return r;
  state.privateShort = static_cast<int16_t>(shortValue);
  state.privateLong = static_cast<int32_t>(longValue);
  state.privateSeen = true;
  return 0;
}

// The video PID's payload: after the adaptation field and, on a packet that
// starts a PES packet, after its header.
int32_t takeVideoPayload(AsyncFileReader& reader, StreamBuffer& unit, bool unitStart,
                         int32_t adaptationControl, int64_t packetEnd, bool& appended) {
  if (adaptationControl == 0 || adaptationControl == 2) return 0;  // no payload
  if (adaptationControl == 3) {
    uint8_t adaptationLength = 0;
    if (int32_t r = reader.readByte(adaptationLength); r != 0) return r;
    reader.skip(adaptationLength);
  }
  if (unitStart) {
    reader.skip(8);  // start code prefix, stream id, PES_packet_length, flag bytes
    uint8_t headerLength = 0;
    if (int32_t r = reader.readByte(headerLength); r != 0) return r;
    reader.skip(headerLength);
  }
  // A length field that does not fit the packet leaves nothing to take.
  const int64_t count = packetEnd - reader.getPosition();
  if (count <= 0) return 0;
  appended = true;
  return appendFromReader(reader, unit, static_cast<int32_t>(count));
}

// The PSI of a packet on `pid`, while the program is not chosen yet.
int32_t takeTables(AsyncFileReader& reader, DemuxState& state, int32_t pid, bool unitStart,
                   int32_t adaptationControl, int64_t packetEnd) {
  SectionAssembler* assembler = nullptr;
  if (pid == kPatPid && !state.patComplete) {
    assembler = &state.pat;
  } else {
    for (TransportProgram& p : state.programs)
      if (p.pmtPid == pid) {
        assembler = &p.pmt;  // programs sharing a PMT PID share the first one's assembler
        break;
      }
  }
  if (!assembler) return 0;
  uint8_t payload[kPayloadBytes];
  int32_t length = 0;
  if (int32_t r = readPayload(reader, adaptationControl, packetEnd, payload, length); r != 0) return r;
  if (pid == kPatPid) {
    assembler->feed(payload, length, unitStart, onPatSection, &state);
  } else {
    PmtContext context{&state, pid};
    assembler->feed(payload, length, unitStart, onPmtSection, &context);
  }
  return 0;
}

// One 188-byte packet, the reader at its sync byte. Whatever its length
// fields say, the reader ends at the packet's end.
int32_t parsePacket(AsyncFileReader& reader, DemuxState& state, StreamBuffer& unit, bool& appended) {
  appended = false;
  const int64_t packetEnd = reader.getPosition() + kTransportPacketSize;
  uint32_t header = 0;
  if (int32_t r = reader.readU32BE(header); r != 0) return r;
  const bool unitStart = (header >> 22) & 1;
  const int32_t pid = static_cast<int32_t>((header >> 8) & 0x1FFF);
  const int32_t adaptationControl = static_cast<int32_t>((header >> 4) & 3);

  int32_t result = 0;
  if (pid == kPrivatePidA || pid == kPrivatePidB) {
    if (!state.privateSeen) result = takePrivateValues(reader, state, pid);
  } else if (pid == kNullPid) {
  } else if (state.videoPid == kUnknown) {
    result = takeTables(reader, state, pid, unitStart, adaptationControl, packetEnd);
  } else if (pid == state.videoPid) {
    result = takeVideoPayload(reader, unit, unitStart, adaptationControl, packetEnd, appended);
  }
  if (result != 0) return result;
  reader.skip(packetEnd - reader.getPosition());
  return 0;
}

// The packet of the record at the reader's position, which ends at the
// record's end. A record whose sync byte is missing (lost sync) is looked
// for up to one record further.
int32_t nextPacket(AsyncFileReader& reader, DemuxState& state, StreamBuffer& unit, bool& appended) {
  const TransportLayout& layout = state.layout;
  appended = false;
  // Compared without a sum: a position taken from seek data may lie
  // anywhere up to INT64_MAX.
  if (reader.getPosition() > reader.getFileSize() - layout.syncOffset - kTransportPacketSize) return kEndOfData;
  reader.skip(layout.syncOffset);
  uint8_t byte = 0;
  if (int32_t r = reader.readByte(byte); r != 0) return r;
  for (int32_t i = 0; byte != kTransportSyncByte && i < layout.packetSize; ++i)
    if (int32_t r = reader.readByte(byte); r != 0) return r;
  if (byte != kTransportSyncByte) return kEndOfData;
  reader.skip(-1);
  const int64_t recordEnd = reader.getPosition() - layout.syncOffset + layout.packetSize;
  if (int32_t r = parsePacket(reader, state, unit, appended); r != 0) return r;
  reader.skip(recordEnd - reader.getPosition());
  return 0;
}

// Reads the program tables from the first record until a program is
// chosen, then goes back to the first record: once the video PID is known,
// reading restarts from the beginning (tables may follow video packets).
int32_t findVideoPid(AsyncFileReader& reader, DemuxState& state, StreamBuffer& unit) {
  const int64_t first = state.layout.firstRecord;
  reader.skip(first - reader.getPosition());
  while (!decideProgram(state, false)) {
    bool appended = false;
    const int32_t r = reader.getPosition() - first > kProgramSearchBytes ? kEndOfData
                                                                         : nextPacket(reader, state, unit, appended);
    if (r == kEndOfData) {
      decideProgram(state, true);
      break;
    }
    if (r != 0) return r;
  }
  reader.skip(first - reader.getPosition());
  return 0;
}

int32_t packetLoop(AsyncFileReader& reader, DemuxState& state, StreamBuffer& unit) {
  if (state.videoPid == kUnknown)
    if (int32_t r = findVideoPid(reader, state, unit); r != 0) return r;
  if (state.videoPid == kNoVideo) return kEndOfData;
  if (unit.capacity - kTransportPacketSize <= unit.filled) return kHostMemoryFailure;
  for (bool appended = false; !appended;)
    if (int32_t r = nextPacket(reader, state, unit, appended); r != 0) return r;
  const int64_t position = reader.getPosition();
  if (position > state.lastRecorded) {
    state.lastRecorded = position;
    state.packetEnds.record(position);
  }
  return 0;
}

}  // namespace

bool detectTransportLayout(const uint8_t* bytes, int32_t count, TransportLayout& layout) {
  for (const int32_t size : {188, 192, 204}) {
    const int32_t syncOffset = size == 192 ? 4 : 0;
    for (int32_t at = 0; at < size && at < count; ++at) {
      if (bytes[at] != kTransportSyncByte) continue;
      int32_t run = 0;
      for (int32_t p = at; p < count && run < kSyncRun && bytes[p] == kTransportSyncByte; p += size) ++run;
      const int32_t possible = std::min(kSyncRun, (count - at + size - 1) / size);
      // A lone packet counts only at the very start of the file.
      if (run < possible || (run < 2 && at != 0)) continue;
      layout.packetSize = size;
      layout.syncOffset = syncOffset;
      layout.firstRecord = at - syncOffset < 0 ? at - syncOffset + size : at - syncOffset;
      return true;
    }
  }
  return false;
}

int32_t fillTransport(AsyncFileReader& reader, DemuxState& state, StreamBuffer& unit) {
  if (state.firstFill) {
    state.firstFill = 0;
    reader.skip(state.layout.firstRecord - reader.getPosition());
    return packetLoop(reader, state, unit) == kReadOk ? kReadOk : kEndOfData;
  }
  return packetLoop(reader, state, unit);
}

}  // namespace quarlin
