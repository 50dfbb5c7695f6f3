// MPEG-2 transport streams (ISO/IEC 13818-1 2.4): 188-byte packets, the
// program association and program map tables, and the video PID's payload.
#include <cstring>

#include "parse/demux.h"

namespace quarlin {

namespace {

constexpr uint8_t kSyncByte = 0x47;
constexpr int32_t kPayloadBytes = 184;
constexpr int32_t kPrivatePidA = 0x1FFE;
constexpr int32_t kPrivatePidB = 0x1FFD;
constexpr int32_t kNullPid = 0x1FFF;
constexpr int32_t kStreamTypeMpeg2Video = 2;

int32_t readPsiPayload(AsyncFileReader& reader, DemuxState& state) {
  int32_t got = 0;
  return reader.read(state.psiBuffer, kPayloadBytes, got);
}

// PAT: the last program other than program 0 names the PMT's PID.
void parsePat(DemuxState& state) {
  reverseWordBytes(reinterpret_cast<uint8_t*>(state.psiBuffer), 0, 46);
  BitReader& r = state.psiReader;
  r = BitReader{state.psiBuffer, 31};
  skipBits(r, 8);   // pointer_field, taken as 0
  skipBits(r, 12);  // table_id, section_syntax_indicator, '0', reserved
  const int32_t sectionLength = static_cast<int32_t>(readBits(r, 12));
  skipBits(r, 24);  // transport_stream_id, reserved, version_number, current_next_indicator
  skipBits(r, 8);   // section_number
  skipBits(r, 8);   // last_section_number
  // Entries that fit in this one packet: 184 - 9 header bytes, 4 each.
  int32_t entries = (sectionLength - 9) / 4;
  if (entries > (kPayloadBytes - 9) / 4) entries = (kPayloadBytes - 9) / 4;
  for (int32_t i = 0; i < entries; ++i) {
    const int32_t number = static_cast<int32_t>(readBits(r, 16));
    skipBits(r, 3);
    const int32_t pid = static_cast<int32_t>(readBits(r, 13));
    if (number == 0) continue;  // the network PID
    state.pmtPid = pid;
    state.programNumber = number;
  }
}

// PMT: the first elementary stream of stream_type 2 is the video.
void parsePmt(DemuxState& state) {
  const auto* p = reinterpret_cast<const uint8_t*>(state.psiBuffer);
  int32_t end = ((p[2] & 0x0F) << 8) + p[3];  // entries end here (the CRC excluded)
  if (end > kPayloadBytes) end = kPayloadBytes;
  const int32_t programInfoLength = ((p[11] & 0x0F) << 8) + p[12];
  state.videoPid = -2;
  for (int32_t e = 13 + programInfoLength; e + 5 <= end;) {
    const int32_t pid = ((p[e + 1] & 0x1F) << 8) + p[e + 2];
    if (p[e] == kStreamTypeMpeg2Video) {
      state.videoPid = pid;
      return;
    }
    e += 5 + (((p[e + 3] & 0x0F) << 8) + p[e + 4]);
  }
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

// One packet, the reader at its sync byte (not checked again). Whatever its
// length fields say, the reader ends at the packet's end.
int32_t parsePacket(AsyncFileReader& reader, DemuxState& state, StreamBuffer& unit, bool& appended) {
  appended = false;
  const int64_t packetEnd = reader.getPosition() + kTransportPacketSize;
  uint32_t header = 0;
  if (int32_t r = reader.readU32BE(header); r != 0) return r;
  const bool unitStart = (header >> 22) & 1;
  const int32_t pid = static_cast<int32_t>((header >> 8) & 0x1FFF);
  const int32_t adaptationControl = static_cast<int32_t>((header >> 4) & 3);

  int32_t result = 0;
  if (pid == 0) {
    if (state.programNumber == -1) {
      result = readPsiPayload(reader, state);
      if (result == 0) parsePat(state);
    }
  } else if (pid == 1 || pid == 2 || pid == kNullPid) {
    // conditional access, transport description, null packets
  } else if (pid == kPrivatePidA || pid == kPrivatePidB) {
    if (!state.privateSeen) result = takePrivateValues(reader, state, pid);
  } else if (pid == state.pmtPid && state.videoPid == -1) {
    result = readPsiPayload(reader, state);
    if (result == 0) parsePmt(state);
  } else if (pid == state.videoPid) {
    result = takeVideoPayload(reader, unit, unitStart, adaptationControl, packetEnd, appended);
  }
  if (result != 0) return result;
  reader.skip(packetEnd - reader.getPosition());
  return 0;
}

int32_t findVideoPid(AsyncFileReader& reader, DemuxState& state, StreamBuffer& unit) {
  for (;;) {
    bool appended = false;
    parsePacket(reader, state, unit, appended);
    uint8_t next = 0;
    if (int32_t r = reader.readByte(next); r != 0) return r;
    reader.skip(-1);
    if (unit.capacity - kTransportPacketSize <= unit.filled) return -7;
    if (next != kSyncByte || state.videoPid != -1) break;
  }
  // Once the video PID is known, reading starts again from the beginning.
  reader.rewind();
  return 0;
}

int32_t packetLoop(AsyncFileReader& reader, DemuxState& state, StreamBuffer& unit) {
  if (state.videoPid == -1)
    if (int32_t r = findVideoPid(reader, state, unit); r != 0) return r;
  if (state.videoPid == -2) return -4;
  if (unit.capacity - kTransportPacketSize <= unit.filled) return -7;
  for (bool appended = false; !appended;)
    if (int32_t r = parsePacket(reader, state, unit, appended); r != 0) return r;
  const int64_t position = reader.getPosition();
  if (position > state.lastRecorded) {
    state.lastRecorded = position;
    state.packetEnds.insert(position);
  }
  return 0;
}

}  // namespace

int32_t fillTransport(AsyncFileReader& reader, DemuxState& state, StreamBuffer& unit) {
  if (reader.getPosition() > reader.getFileSize() - 187) return -4;
  uint8_t byte = 0;
  if (state.firstFill) {
    state.firstFill = 0;
    if (int32_t r = reader.readByte(byte); r != 0) return r;
    reader.skip(-1);
    if (byte == kSyncByte) return packetLoop(reader, state, unit) == 0 ? 0 : -4;
    uint32_t code = 0;
    return reader.findStartCode(kSequenceHeaderCode, code);
  }
  if (int32_t r = reader.readByte(byte); r != 0) return r;
  // Lost sync: look up to one packet further for the next sync byte.
  for (int32_t i = 0; byte != kSyncByte && i < kTransportPacketSize; ++i)
    if (int32_t r = reader.readByte(byte); r != 0) return r;
  if (byte != kSyncByte) return -4;
  reader.skip(-1);
  return packetLoop(reader, state, unit);
}

}  // namespace quarlin
