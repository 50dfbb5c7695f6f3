// Elementary streams and MPEG-2 program streams (ISO/IEC 13818-1 2.5).
#include "parse/demux.h"

namespace quarlin {

namespace {

constexpr int32_t kElementaryFillBytes = 2048;

int32_t fillElementary(AsyncFileReader& reader, StreamBuffer& unit) {
  int32_t n = unit.capacity - unit.filled;
  if (n > kElementaryFillBytes) n = kElementaryFillBytes;
  if (n <= 0) return kEndOfData;
  int32_t got = 0;
  const int32_t result = reader.read(unit.data + unit.filled, n, got);
  unit.setFilled(unit.filled + got);
  return result;
}

// The pack start codes, program end and system header keep their value;
// every other start code becomes 0x100 (a packet), words 0..0xFF become 0.
uint32_t classify(uint32_t w) {
  if (w == kPackStartCode || w == kProgramEndCode || w == kSystemHeaderStartCode) return w;
  return w & 0xFFFFF100u;
}

enum class PesOutcome { Appended, Nothing };

// One PES packet with stream id `streamId`, the reader just after its start
// code. Video payloads (stream ids 0xE0..0xEF) are appended.
int32_t pesStep(AsyncFileReader& reader, StreamBuffer& unit, uint32_t streamId, PesOutcome& outcome) {
  outcome = PesOutcome::Nothing;
  uint16_t length = 0;
  if (int32_t r = reader.readU16BE(length); r != 0) return r;
  if (length == 0) return 0;
  if ((streamId & 0xFFFFFFF0u) != 0x1E0) {
    reader.skip(length);
    return 0;
  }
  const int64_t bodyStart = reader.getPosition();
  int32_t headerLength = 0;  // 3 + PES_header_data_length
  if (int32_t r = reader.peekPesHeaderLength(headerLength); r != 0) return r;
  uint16_t flags = 0;
  if (int32_t r = reader.readU16BE(flags); r != 0) return r;
  uint8_t timeStamp[10];
  int32_t got = 0;
  if ((flags & 0xC0) == 0xC0) {
    if (int32_t r = reader.read(timeStamp, 10, got); r != 0) return r;
  } else if (flags & 0x80) {
    if (int32_t r = reader.read(timeStamp, 5, got); r != 0) return r;
  }
  const int32_t payload = length - headerLength;
  if (payload < 0) {
    // The header claims more than the packet holds: keep nothing of it.
    reader.skip(bodyStart + length - reader.getPosition());
    return 0;
  }
  reader.skip(bodyStart + headerLength - reader.getPosition());
  outcome = PesOutcome::Appended;
  return appendFromReader(reader, unit, payload);
}

int32_t packHeader(AsyncFileReader& reader, DemuxState& state) {
  const int64_t position = reader.getPosition();  // just after the code
  if (position > state.lastRecorded) {
    state.lastRecorded = position - 4;
    state.packStarts.record(position - 4);
  }
  uint32_t w = 0;
  if (int32_t r = reader.readU32BE(w); r != 0) return r;
  if (((w >> 30) & 1) == 0 && ((w >> 29) & 1) == 1) return kEndOfData;  // MPEG-1 pack ('0010')
  reader.skip(5);
  uint8_t stuffing = 0;
  if (int32_t r = reader.readByte(stuffing); r != 0) return r;
  reader.skip(stuffing & 7);
  return 0;
}

int32_t programStreamLoop(AsyncFileReader& reader, DemuxState& state, StreamBuffer& unit, uint32_t w) {
  for (;;) {
    const uint32_t kind = classify(w);
    if (kind == 0 || kind == kProgramEndCode) return kEndOfData;
    if (kind == kPackStartCode) {
      if (int32_t r = packHeader(reader, state); r != 0) return r;
    } else if (kind == kSystemHeaderStartCode) {
      uint16_t length = 0;
      if (int32_t r = reader.readU16BE(length); r != 0) return r;
      reader.skip(length);
    } else if (kind == 0x100) {
      PesOutcome outcome;
      if (int32_t r = pesStep(reader, unit, w, outcome); r != 0) return r;
      if (outcome == PesOutcome::Appended) return 0;
    }
    // Anything else is not a start code: dropped, the search goes on in
    // steps of four bytes.
    if (int32_t r = reader.readU32BE(w); r != 0) return r;
  }
}

}  // namespace

int32_t appendFromReader(AsyncFileReader& reader, StreamBuffer& unit, int32_t count) {
  if (count <= 0) return 0;
  const int32_t room = unit.capacity - unit.filled;
  const int32_t kept = count < room ? count : room;
  int32_t got = 0;
  int32_t result = 0;
  if (kept > 0) {
    result = reader.read(unit.data + unit.filled, kept, got);
    unit.setFilled(unit.filled + got);
  }
  if (result == 0 && kept < count) reader.skip(count - kept);
  return result;
}

int32_t fillProgramOrElementary(AsyncFileReader& reader, DemuxState& state, StreamBuffer& unit) {
  if (state.firstFill) {
    state.firstFill = 0;
    unit.setFilled(0);
    uint32_t w = 0;
    if (int32_t r = reader.readU32BE(w); r != 0) return r;
    if (w != kPackStartCode && w != kSequenceHeaderCode) {
      reader.skip(-4);
      uint32_t code = 0;
      if (int32_t r = reader.findStartCode(kSequenceHeaderCode, code); r != 0) return r;
      w = kSequenceHeaderCode;
    }
    if (w == kSequenceHeaderCode) {
      state.isElementary = true;
      reader.skip(-4);
      return fillElementary(reader, unit);
    }
    return programStreamLoop(reader, state, unit, w);
  }
  if (state.isElementary) return fillElementary(reader, unit);
  uint32_t w = 0;
  if (int32_t r = reader.readU32BE(w); r != 0) return r;
  return programStreamLoop(reader, state, unit, w);
}

}  // namespace quarlin
