#include "stream_bytes.h"

#include <algorithm>

namespace quarlin::tool::testing {

void BitWriter::put(uint32_t value, int bits) {
  for (int i = bits - 1; i >= 0; --i) {
    if (used_ == 0) bytes_.push_back(0);
    bytes_.back() |= static_cast<uint8_t>(((value >> i) & 1u) << (7 - used_));
    used_ = (used_ + 1) % 8;
  }
}

void BitWriter::startCode(uint8_t code) {
  used_ = 0;
  bytes_.insert(bytes_.end(), {0, 0, 1, code});
}

Bytes BitWriter::take() { return std::move(bytes_); }

namespace {

void sequenceHeader(BitWriter& w, const SequenceFields& s) {
  w.startCode(0xB3);
  w.put(s.width, 12), w.put(s.height, 12), w.put(s.aspectCode, 4), w.put(s.frameRateCode, 4);
  w.put(0x3FFFF, 18), w.put(1, 1), w.put(112, 10), w.put(0, 1);  // bit rate, marker, vbv, constrained
  w.put(!s.intraMatrix.empty(), 1);
  for (uint8_t v : s.intraMatrix) w.put(v, 8);
  w.put(!s.nonIntraMatrix.empty(), 1);
  for (uint8_t v : s.nonIntraMatrix) w.put(v, 8);
}

void sequenceExtension(BitWriter& w, const SequenceFields& s) {
  w.startCode(0xB5);
  w.put(1, 4), w.put(0x48, 8), w.put(s.progressive, 1), w.put(s.chromaFormat, 2);
  w.put(0, 2), w.put(0, 2), w.put(0, 12), w.put(1, 1), w.put(0, 8), w.put(0, 1);
  w.put(s.frameRateExtN, 2), w.put(s.frameRateExtD, 5);
}

void pictureStart(BitWriter& w, const PictureFields& p) {
  w.startCode(0x00);
  w.put(0, 10), w.put(p.type, 3), w.put(0xFFFF, 16);
  if (p.type >= 2) w.put(0, 1), w.put(7, 3);
  if (p.type == 3) w.put(0, 1), w.put(7, 3);
  w.put(0, 1);  // extra_bit_picture
  w.startCode(0xB5);
  w.put(8, 4), w.put(0xFFFF, 16), w.put(0, 2), w.put(p.structure, 2), w.put(p.topFieldFirst, 1);
  w.put(p.structure == 3, 1), w.put(0, 5), w.put(p.progressiveFrame, 1), w.put(p.progressiveFrame, 1), w.put(0, 1);
  w.startCode(0x01);
  w.put(0x12345678, 32);
}

void packHeader(Bytes& out) {
  out.insert(out.end(), {0, 0, 1, 0xBA, 0x44, 0, 4, 0, 4, 1, 0, 0, 3, 0xF8});
}

}  // namespace

Bytes elementaryStart(const SequenceFields& sequence, const PictureFields& picture) {
  BitWriter w;
  sequenceHeader(w, sequence);
  if (sequence.extension) sequenceExtension(w, sequence);
  w.startCode(0xB8);
  w.put(0, 25), w.put(1, 1), w.put(0, 6);
  pictureStart(w, picture);
  return w.take();
}

Bytes programStream(const Bytes& video, std::size_t chunk) {
  Bytes out;
  for (std::size_t at = 0; at < video.size(); at += chunk) {
    const std::size_t n = std::min(chunk, video.size() - at);
    packHeader(out);
    const std::size_t length = n + 3;  // PES header flags and header length
    out.insert(out.end(), {0, 0, 1, 0xE0, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length), 0x80,
                           0x00, 0x00});
    out.insert(out.end(), video.begin() + static_cast<long>(at), video.begin() + static_cast<long>(at + n));
  }
  out.insert(out.end(), {0, 0, 1, 0xB9});
  return out;
}

Bytes transportStream(const Bytes& video) {
  Bytes pes = {0, 0, 1, 0xE0, 0, 0, 0x80, 0x00, 0x00};
  pes.insert(pes.end(), video.begin(), video.end());
  Bytes out;
  bool first = true;
  for (std::size_t at = 0; at < pes.size();) {
    Bytes packet = {0x47, static_cast<uint8_t>((first ? 0x40 : 0) | 0x01), 0x00, 0x10};
    const std::size_t room = 184;
    const std::size_t n = std::min(room, pes.size() - at);
    if (n < room) {  // stuffing in an adaptation field
      packet[3] = 0x30;
      const std::size_t fieldLength = room - n - 1;
      packet.push_back(static_cast<uint8_t>(fieldLength));
      if (fieldLength > 0) {
        packet.push_back(0x00);
        packet.insert(packet.end(), fieldLength - 1, 0xFF);
      }
    }
    packet.insert(packet.end(), pes.begin() + static_cast<long>(at), pes.begin() + static_cast<long>(at + n));
    out.insert(out.end(), packet.begin(), packet.end());
    Bytes audio = {0x47, 0x01, 0x01, 0x10, 0, 0, 1, 0xB3, 0x01, 0x01, 0x01, 0x01};
    audio.resize(188, 0x55);
    out.insert(out.end(), audio.begin(), audio.end());
    at += n;
    first = false;
  }
  return out;
}

}  // namespace quarlin::tool::testing
