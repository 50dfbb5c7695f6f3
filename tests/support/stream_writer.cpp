#include "tests/support/stream_writer.h"

#include <cstring>
#include <map>
#include <mutex>
#include <stdexcept>
#include <utility>

#include "primitives/vlc_table_set.h"

namespace quarlin::test {
namespace {

// The shortest bit string that the built table `slot` decodes to `value`,
// consuming exactly its length.
const std::string& codeFor(int slot, int32_t value) {
  static VlcTableSet* const tables = acquireVlcTableSet();  // held for the whole test run
  static std::map<std::pair<int, int32_t>, std::string> cache;
  static std::mutex guard;
  std::lock_guard<std::mutex> hold(guard);
  const auto key = std::make_pair(slot, value);
  if (auto found = cache.find(key); found != cache.end()) return found->second;
  for (int length = 1; length <= 17; ++length) {
    for (uint32_t code = 0; code < (1u << length); ++code) {
      uint32_t words[2] = {code << (32 - length), 0};
      Ipp32u* ptr = words;
      int offset = 31;
      Ipp32s decoded = 0;
      if (ippiVCHuffmanDecodeOne_1u32s(&ptr, &offset, &decoded, tables->table[slot]) != 0) continue;
      if (decoded != value || ptr != words || 31 - offset != length) continue;
      std::string bits;
      for (int i = length - 1; i >= 0; --i) bits += ((code >> i) & 1) ? '1' : '0';
      return cache[key] = bits;
    }
  }
  throw std::runtime_error("no code for value " + std::to_string(value) + " in slot " + std::to_string(slot));
}

}  // namespace

BitWriter& BitWriter::put(uint32_t value, int bits) {
  for (int i = bits - 1; i >= 0; --i) {
    if (bits_ % 8 == 0) bytes_.push_back(0);
    if ((value >> i) & 1) bytes_.back() |= static_cast<uint8_t>(0x80 >> (bits_ % 8));
    ++bits_;
  }
  return *this;
}

BitWriter& BitWriter::putCode(const std::string& code) {
  for (char c : code)
    if (c == '0' || c == '1') put(c == '1' ? 1 : 0, 1);
  return *this;
}

BitWriter& BitWriter::putVlc(int slot, int32_t value) { return putCode(codeFor(slot, value)); }

std::vector<uint32_t> BitWriter::words(size_t padWords, uint8_t padByte) const {
  Bytes bytes = bytes_;
  const size_t count = (bytes.size() + 3) / 4 + padWords;
  bytes.resize(count * 4, padByte);
  for (size_t i = 0; i < bytes.size(); i += 4) {
    std::swap(bytes[i], bytes[i + 3]);
    std::swap(bytes[i + 1], bytes[i + 2]);
  }
  std::vector<uint32_t> out(count);
  std::memcpy(out.data(), bytes.data(), bytes.size());
  return out;
}

BitWriter& BitWriter::append(const Bytes& bytes) {
  test::append(bytes_, bytes);
  bits_ = 8 * bytes_.size();
  return *this;
}

BitWriter& BitWriter::sliceHeader(int quantiserScaleCode) {
  std::fill_n(dcPredictors_, 3, 128);
  return put(static_cast<uint32_t>(quantiserScaleCode), 5).put(0, 1);  // extra_bit_slice
}

BitWriter& BitWriter::slice(int row, int quantiserScaleCode) {
  return append(startCode(static_cast<uint8_t>(row + 1))).sliceHeader(quantiserScaleCode);
}

BitWriter& BitWriter::addressIncrement(int increment) {
  for (; increment > 33; increment -= 33) putCode("0000 0001 000");  // macroblock_escape
  return putVlc(kVlcAddressIncrement, increment);
}

BitWriter& BitWriter::vector(int x, int y) { return putVlc(kVlcMotionCode, x).putVlc(kVlcMotionCode, y); }

BitWriter& BitWriter::dualPrimeVector(int x, int dmvX, int y, int dmvY) {
  const auto dmvector = [](int v) { return v == 0 ? "0" : v > 0 ? "10" : "11"; };  // table B.11
  return putVlc(kVlcMotionCode, x).putCode(dmvector(dmvX)).putVlc(kVlcMotionCode, y).putCode(dmvector(dmvY));
}

BitWriter& BitWriter::intraBlocks(int y, int cb, int cr) {
  const int values[6] = {y, y, y, y, cb, cr};
  for (int k = 0; k < 6; ++k) {
    int& predictor = dcPredictors_[k < 4 ? 0 : k - 3];
    const int differential = values[k] - predictor;
    predictor = values[k];
    int size = 0;
    for (int magnitude = differential < 0 ? -differential : differential; magnitude; magnitude >>= 1) ++size;
    putVlc(k < 4 ? kVlcDcSizeLuma : kVlcDcSizeChroma, size);
    if (size) put(static_cast<uint32_t>(differential > 0 ? differential : differential + (1 << size) - 1), size);
    putCode("10");  // end_of_block
  }
  return *this;
}

}  // namespace quarlin::test
