#include "reference_codes.h"

namespace quarlin::test {

std::string Code::text() const {
  std::string s;
  for (int i = length - 1; i >= 0; --i) {
    s += ((bits >> i) & 1) ? '1' : '0';
    if (i > 0 && (length - i) % 4 == 0) s += ' ';
  }
  return s;
}

const Code* CodeList::find(int length, uint32_t bits) const {
  const auto it = byBits_.find({length, bits});
  return it == byBits_.end() ? nullptr : &codes[it->second];
}

const Code* CodeList::findRunLevel(int run, int level) const {
  const auto it = byRunLevel_.find({run, level});
  return it == byRunLevel_.end() ? nullptr : &codes[it->second];
}

CodeList parseDescription(const Ipp32s* d, bool runLevel) {
  CodeList list;
  list.maxLength = d[0];
  const int levelCount = d[1];
  list.levelWidths.assign(d + 2, d + 2 + levelCount);
  const Ipp32s* p = d + 2 + levelCount;
  for (int length = 1; *p != -1; ++length) {
    const int count = *p++;
    for (int i = 0; i < count; ++i) {
      Code c{length, static_cast<uint32_t>(p[0]), 0, 0, 0};
      if (runLevel) {
        c.run = p[1];
        c.level = p[2];
        p += 3;
      } else {
        c.value = p[1];
        p += 2;
      }
      list.byBits_[{c.length, c.bits}] = list.codes.size();
      if (runLevel) list.byRunLevel_[{c.run, c.level}] = list.codes.size();
      list.codes.push_back(c);
    }
  }
  return list;
}

uint32_t BitSource::bit() {
  const uint32_t b = (*word_ >> offset_) & 1;
  if (--offset_ < 0) {
    offset_ = 31;
    ++word_;
  }
  return b;
}

uint32_t BitSource::bits(int n) {
  uint32_t v = 0;
  for (int i = 0; i < n; ++i) v = (v << 1) | bit();
  return v;
}

std::optional<Code> decodeBitByBit(const CodeList& list, BitSource& source) {
  uint32_t bits = 0;
  for (int length = 1; length <= list.maxLength; ++length) {
    bits = (bits << 1) | source.bit();
    if (const Code* c = list.find(length, bits)) return *c;
  }
  return std::nullopt;
}

}  // namespace quarlin::test
