#include "parse/stream_source.h"

#include <cstring>

#include "parse/demux.h"

namespace quarlin {

namespace {

// Container and codec signatures that are refused outright (ISO base media
// atoms, ADIF AAC, ASF, MPEG-4 visual and H.263 starts).
bool isForeignFormat(uint32_t w0, uint32_t w1) {
  if (w0 == 0x41444946) return true;  // "ADIF"
  switch (w1) {
    case 0x6D6F6F76:  // "moov"
    case 0x6D646174:  // "mdat"
    case 0x66726561:  // "frea"
    case 0x736B7070:  // "skpp"
    case 0x75647461:  // "udta"
      return true;
  }
  if (w0 == 0x1B0 || (w0 >= 0x100 && w0 <= 0x11F)) return true;  // MPEG-4 visual
  return (w0 & 0xFFFFFC00u) == 0x8000;                            // H.263 picture start
}

// Enough for five records of the largest packet size at any offset.
constexpr int32_t kTransportProbeBytes = 6 * 204;

void putLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

StreamSource::StreamSource(const char16_t* path, const HostServices& services)
    : path_(path ? path : u""), reader_(services) {
  if (reader_.open(path_.c_str()) != 0) reader_.close();
}

StreamSource::~StreamSource() {
  reader_.close();
  demux_.packetEnds.clear();
  demux_.packStarts.clear();
}

int32_t StreamSource::probe(const uint8_t*& seekData, int32_t& seekDataSize) {
  if (!reader_.isOpen()) return kFileFailure;
  if (seekData && seekDataSize) {
    demux_.isElementary = seekData[8] != 0;
    demux_.reservedFlag = seekData[9] != 0;
    demux_.isTransport = seekData[10] != 0;
    int64_t last = 0;
    std::memcpy(&last, seekData + 16, 8);  // little-endian on every target
    demux_.lastRecorded = last;
    seekData += kStreamSeekDataSize;
    seekDataSize -= kStreamSeekDataSize;
  } else {
    reader_.setCacheEnabled(false);
  }
  uint32_t w0 = 0, w1 = 0;
  if (int32_t r = reader_.readU32BE(w0); r != 0) return r;
  if (int32_t r = reader_.readU32BE(w1); r != 0) return r;
  if (w0 == 0x3026B275 && w1 == 0x8E66CF11) {  // ASF header object GUID
    uint32_t w2 = 0, w3 = 0;
    if (int32_t r = reader_.readU32BE(w2); r != 0) return r;
    if (int32_t r = reader_.readU32BE(w3); r != 0) return r;
    reader_.skip(-8);
    reader_.skip(-8);
    return kForeignFormat;
  }
  reader_.skip(-8);
  if (isForeignFormat(w0, w1)) return kForeignFormat;
  demux_.reservedFlag = false;
  demux_.firstFill = 1;
  demux_.isTransport = false;
  // A pack or sequence header start code begins a program or elementary
  // stream; anything else may be a transport stream, with a packet (or a
  // time stamp) first or, in a capture, the end of one.
  if (w0 != kPackStartCode && w0 != kSequenceHeaderCode) {
    uint8_t head[kTransportProbeBytes];
    int32_t got = 0;
    const int32_t r = reader_.read(head, kTransportProbeBytes, got);
    reader_.skip(-got);
    if (r != kReadOk && r != kEndOfData) return r;
    demux_.isTransport = detectTransportLayout(head, got, demux_.layout);
  }
  return 0;
}

int32_t StreamSource::writeSeekData(uint8_t*& out) const {
  putLe32(out, 1);
  putLe32(out + 4, 0);
  out[8] = demux_.isElementary;
  out[9] = demux_.reservedFlag;
  out[10] = demux_.isTransport;
  std::memset(out + 11, 0, 5);
  std::memcpy(out + 16, &demux_.lastRecorded, 8);
  out += kStreamSeekDataSize;
  return 0;
}

int32_t StreamSource::fill(StreamBuffer& unit) {
  return demux_.isTransport ? fillTransport(reader_, demux_, unit)
                            : fillProgramOrElementary(reader_, demux_, unit);
}

void StreamSource::seekTo(int64_t offset, StreamBuffer& unit) {
  unit.carryCount = 0;
  unit.carryOffset = 0;
  // A frame request must see the file as it is now, not bytes held from
  // before another program changed it.
  reader_.forgetIfChanged();
  // The difference is taken modulo 2^64: a position from damaged seek data
  // may lie anywhere in the 64-bit range, and skip adds it back the same way.
  reader_.skip(static_cast<int64_t>(static_cast<uint64_t>(offset) - static_cast<uint64_t>(reader_.getPosition())));
}

void StreamSource::clearPositionSets() {
  demux_.packStarts.clear();
  demux_.packetEnds.clear();
}

}  // namespace quarlin
