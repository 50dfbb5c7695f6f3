// AsyncFileReader: reads that leave the current block, and the searches.
#include <algorithm>
#include <cstring>

#include "io/async_file_reader.h"
#include "primitives/primitives.h"

namespace quarlin {

int32_t AsyncFileReader::read(void* destination, int32_t count, int32_t& got) {
  auto* out = static_cast<uint8_t*>(destination);
  const int32_t wanted = out && count > 0 ? count : 0;
  int32_t done = 0;
  for (;;) {
    // Each pass copies at least one byte (the position lies in the loaded
    // block) or ends the read.
    if (const int32_t result = loadBlock(); result != 0) {
      if (done < wanted) std::memset(out + done, 0, static_cast<size_t>(wanted - done));
      got = done;
      return result;
    }
    const uint64_t at = indexInBlock();
    const auto take =
        static_cast<int32_t>(std::min<uint64_t>(blockValid_ - at, static_cast<uint64_t>(wanted - done)));
    if (take > 0) {
      ippsCopy_8u(blockData_ + at, out + done, take);
      position_ += take;
      done += take;
    }
    if (done == wanted) {
      got = done;
      return 0;
    }
  }
}

int32_t AsyncFileReader::readByteSlow(uint8_t& value) {
  if (const int32_t result = loadBlock(); result != 0) return result;
  value = blockData_[indexInBlock()];
  ++position_;
  return 0;
}

int32_t AsyncFileReader::readU16BESlow(uint16_t& value) {
  uint8_t bytes[2];
  int32_t got = 0;
  if (const int32_t result = read(bytes, 2, got); result != 0) return result;
  value = static_cast<uint16_t>((bytes[0] << 8) | bytes[1]);
  return 0;
}

int32_t AsyncFileReader::readU32BESlow(uint32_t& value) {
  uint8_t bytes[4];
  int32_t got = 0;
  if (const int32_t result = read(bytes, 4, got); result != 0) return result;
  value = (static_cast<uint32_t>(bytes[0]) << 24) | (static_cast<uint32_t>(bytes[1]) << 16) |
          (static_cast<uint32_t>(bytes[2]) << 8) | bytes[3];
  return 0;
}

// Moves just past the next zero byte, scanning whole blocks at a time.
int32_t AsyncFileReader::skipPastZeroByte() {
  for (;;) {
    if (const int32_t result = loadBlock(); result != 0) return result;
    const uint64_t at = indexInBlock();
    const uint8_t* start = blockData_ + at;
    const size_t length = static_cast<size_t>(blockValid_ - at);
    if (const void* zero = std::memchr(start, 0, length)) {
      position_ += static_cast<const uint8_t*>(zero) - start + 1;
      return 0;
    }
    position_ += static_cast<int64_t>(length);
  }
}

// The search reads as a byte-by-byte scan would, so the position after a
// start code (and after an error) is exactly that of such a scan: a code
// byte that does not match is consumed, even when it is itself zero.
int32_t AsyncFileReader::findStartCode(uint32_t target, uint32_t& code) {
  for (;;) {
    uint8_t byte = 0;
    if (const int32_t result = skipPastZeroByte(); result != 0) return result;
    if (const int32_t result = readByte(byte); result != 0) return result;
    code = byte;
    if (byte != 0) continue;
    do {  // any number of further zeros
      if (const int32_t result = readByte(byte); result != 0) return result;
    } while (byte == 0);
    code = byte;
    if (byte != 1) continue;
    if (const int32_t result = readByte(byte); result != 0) return result;
    code = 0x100u | byte;
    if (code == target) return 0;
  }
}

int32_t AsyncFileReader::peekPesHeaderLength(int32_t& length) {
  const int64_t start = position_;
  skip(2);
  uint8_t headerDataLength = 0;
  const int32_t result = readByte(headerDataLength);
  position_ = start;
  if (result == 0) length = headerDataLength + 3;
  return result;
}

}  // namespace quarlin
