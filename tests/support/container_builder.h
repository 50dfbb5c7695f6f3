// Program-stream packs and PES packets, transport-stream packets with their
// PAT and PMT (ISO/IEC 13818-1 2.4, 2.5), and whole files that carry an
// elementary stream in either container.
#pragma once
#include <algorithm>
#include <vector>

#include "tests/support/mpeg_stream_builder.h"

namespace quarlin::test {

inline Bytes counting(size_t n, uint8_t first) {
  Bytes out(n);
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(first + i);
  return out;
}

// --- Program streams ---

// marker 0x44 starts an MPEG-2 pack ('01'); 0x21 an MPEG-1 one ('0010').
inline Bytes packHeader(int stuffing = 0, uint8_t marker = 0x44) {
  Bytes b = startCode(0xBA);
  append(b, {marker, 0, 4, 0, 4, 1, 0x01, 0x89, 0xC3, static_cast<uint8_t>(0xF8 | stuffing)});
  append(b, Bytes(static_cast<size_t>(stuffing), 0xFF));
  return b;
}

// A packet with its 16-bit length and `body`.
inline Bytes packet(uint8_t streamId, const Bytes& body) {
  Bytes b = startCode(streamId);
  append(b, {static_cast<uint8_t>(body.size() >> 8), static_cast<uint8_t>(body.size())});
  append(b, body);
  return b;
}

// A video PES packet: flags, PES_header_data_length, 0 (none), 1 (PTS) or
// 2 (PTS and DTS) time stamps, then the payload.
inline Bytes videoPacket(const Bytes& payload, int timeStamps, uint8_t streamId = 0xE0) {
  Bytes body = {0x81, static_cast<uint8_t>(timeStamps == 2 ? 0xC0 : timeStamps == 1 ? 0x80 : 0),
                static_cast<uint8_t>(5 * timeStamps)};
  append(body, Bytes(static_cast<size_t>(5 * timeStamps), 0x21));
  append(body, payload);
  return packet(streamId, body);
}

// --- Transport streams ---

constexpr int kVideoPid = 0x1E0;

inline Bytes tsPacket(int pid, bool unitStart, int adaptationControl, const Bytes& body, uint8_t fill = 0xFF) {
  Bytes b(188, fill);
  b[0] = 0x47;
  b[1] = static_cast<uint8_t>((unitStart ? 0x40 : 0) | pid >> 8);
  b[2] = static_cast<uint8_t>(pid);
  b[3] = static_cast<uint8_t>(adaptationControl << 4);
  std::copy_n(body.begin(), std::min<size_t>(body.size(), 184), b.begin() + 4);
  return b;
}

// A table section with its CRC_32 (ISO/IEC 13818-1 Annex A, bit by bit).
inline Bytes withCrc(Bytes section) {
  uint32_t crc = 0xFFFFFFFFu;
  for (uint8_t byte : section)
    for (int bit = 7; bit >= 0; --bit)
      crc = (((crc >> 31) ^ ((byte >> bit) & 1u)) != 0) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
  append(section, {static_cast<uint8_t>(crc >> 24), static_cast<uint8_t>(crc >> 16), static_cast<uint8_t>(crc >> 8),
                   static_cast<uint8_t>(crc)});
  return section;
}

// Program 0 (the network PID) first, then program 1 on PID 0x100.
inline Bytes patPacket() {
  Bytes body = {0};
  append(body, withCrc({0x00, 0xB0, 17, 0, 1, 0xC1, 0, 0, 0, 0, 0xE0, 0x10, 0, 1, 0xE1, 0x00}));
  return tsPacket(0, true, 1, body);
}

struct ProgramStream {
  uint8_t type;
  int pid;
  Bytes info;  // ES_info descriptors
};

inline Bytes pmtPacket(const std::vector<ProgramStream>& streams) {
  Bytes entries;
  for (const ProgramStream& e : streams) {
    append(entries, {e.type, static_cast<uint8_t>(0xE0 | e.pid >> 8), static_cast<uint8_t>(e.pid), 0xF0,
                     static_cast<uint8_t>(e.info.size())});
    append(entries, e.info);
  }
  Bytes section = {0x02, 0xB0, static_cast<uint8_t>(9 + entries.size() + 4), 0, 1, 0xC1, 0, 0, 0xE1, 0xE0, 0xF0, 0};
  append(section, entries);
  Bytes body = {0};
  append(body, withCrc(section));
  return tsPacket(0x100, true, 1, body);
}

inline const std::vector<ProgramStream>& audioThenVideo() {
  static const std::vector<ProgramStream> streams = {{3, 0x1C0, {0x0A, 1, 'e'}}, {2, kVideoPid, {}}};
  return streams;
}

// --- Whole files ---

// Packs of one video PES packet each, `chunk` bytes of the stream per packet.
inline Bytes inProgramStream(const Bytes& es, size_t chunk = 700) {
  Bytes out;
  for (size_t at = 0; at < es.size(); at += chunk) {
    append(out, packHeader(static_cast<int>(at / chunk % 3)));
    if (at == 0) append(out, packet(0xBB, counting(6, 0x90)));
    append(out, packet(0xC0, counting(33, 0xA0)));
    append(out, videoPacket(Bytes(es.begin() + at, es.begin() + std::min(es.size(), at + chunk)), 1));
  }
  append(out, startCode(0xB9));
  return out;
}

// PAT and PMT, then the stream on the video PID: a PES start, full payloads,
// and a last packet padded with its adaptation field; now and then an audio
// packet whose payload holds a sequence header code, which only a reader
// that ignores the PID would take for video.
inline Bytes inTransportStream(const Bytes& es) {
  Bytes out = patPacket();
  append(out, pmtPacket(audioThenVideo()));
  size_t at = 0;
  for (int n = 0; at < es.size(); ++n) {
    if (n % 5 == 4) append(out, tsPacket(0x1C0, false, 1, {0, 0, 1, 0xB3, 0x11, 0x11}, 0x11));
    const size_t room = n == 0 ? 175 : 184;
    const size_t take = std::min(room, es.size() - at);
    Bytes body;
    int control = 1;
    if (take < room) {  // stuffing in an adaptation field
      control = 3;
      const size_t a = room - take - 1;
      body.push_back(static_cast<uint8_t>(a));
      append(body, Bytes(a, 0xFF));
    }
    if (n == 0) append(body, {0, 0, 1, 0xE0, 0, 0, 0x80, 0x00, 0});
    append(body, Bytes(es.begin() + at, es.begin() + at + take));
    append(out, tsPacket(kVideoPid, n == 0, control, body));
    at += take;
  }
  return out;
}

}  // namespace quarlin::test
