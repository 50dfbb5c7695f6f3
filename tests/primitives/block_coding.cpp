#include "block_coding.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>

namespace quarlin::test {
namespace {

// B.14 serves the three coefficient slots, with the codes of B.15 in place
// of their B.14 ones for table one; each (run, level) is two codes, sign bit
// 0 and 1. The first-coefficient form codes run 0, level 1 as "1s" and has
// no end_of_block.
CodeList printedList(int slot) {
  std::map<std::string, std::string> bitsOf;  // by value, or by "run,level", "E" or "X"
  const char* kNames[] = {"B.1", "B.2", "B.3", "B.4", "B.9", "B.10", "B.12", "B.13", "B.14"};
  for (const char* name : {kNames[std::min(slot, 8)], slot == kVlcCoefficientOne ? "B.15" : ""}) {
    std::istringstream in(*name ? printed(name) : "");
    for (std::string t; in >> t;) bitsOf[t.substr(t.find(':') + 1)] = t.substr(0, t.find(':'));
  }
  CodeList list;
  for (auto [meaning, bits] : bitsOf) {
    bits.erase(std::remove(bits.begin(), bits.end(), '_'), bits.end());
    auto add = [&list](const std::string& b, int32_t value, int run, int level) {
      const Code c{int(b.size()), uint32_t(std::stoul(b, nullptr, 2)), value, run, level};
      list.codes.push_back(list.byBits[{c.length, c.bits}] = c);
      list.maxLength = std::max(list.maxLength, c.length);
    };
    const int special = meaning == "E" ? kRunEndOfBlock : meaning == "X" ? kRunEscape : 0;
    if (slot < kVlcCoefficientFirst) {
      add(bits, std::stoi(meaning), 0, 0);
    } else if (special != 0) {
      if (slot != kVlcCoefficientFirst || special == kRunEscape) add(bits, 0, special, special);
    } else {
      const int run = std::stoi(meaning), level = std::stoi(meaning.substr(meaning.find(',') + 1));
      if (slot == kVlcCoefficientFirst && bits == "11") bits.resize(1);
      add(bits + "0", 0, run, level);
      add(bits + "1", 0, run, -level);
    }
  }
  return list;
}

int randomLevel(std::mt19937& random) {
  const int k = int(random() % 10);
  const int magnitude = 1 + int(random() % (k < 6 ? 3 : k < 9 ? 40 : 2047));
  return (random() & 1) ? -magnitude : magnitude;
}

void putCode(BitWriter& w, const Code* c) { w.put(c->bits, c->length); }

// An escape (then a 6-bit run, a 12-bit level) where asked or needed; "1s"
// for run 0, level +-1 as the first code of a non-intra block.
void putRunLevel(BitWriter& w, const CodeList& ac, bool first, int run, int level, bool escape) {
  const Code* code = escape ? nullptr : ac.findRunLevel(run, level);
  if (first && code && run == 0 && std::abs(level) == 1) {
    w.put(level == 1 ? 2 : 3, 2);
  } else if (code) {
    putCode(w, code);
  } else {
    putCode(w, ac.findRunLevel(kRunEscape, kRunEscape));
    w.put(uint32_t(run), 6).put(uint32_t(level) & 0xFFF, 12);
  }
}

// Matches codes bit by bit; nullopt when maxLength bits match no code.
std::optional<Code> decodeBitByBit(const CodeList& list, BitSource& source) {
  uint32_t bits = 0;
  for (int length = 1; length <= list.maxLength; ++length) {
    bits = (bits << 1) | source.bits(1);
    if (const Code* c = list.find(length, bits)) return *c;
  }
  return std::nullopt;
}

// One run/level code, an escape's run and level included; false for none.
bool readRunLevel(BitSource& bits, const CodeList& list, int& run, int& level) {
  const std::optional<Code> code = decodeBitByBit(list, bits);
  if (!code) return false;
  run = code->run;
  level = code->level;
  if (run == kRunEscape) {
    run = int(bits.bits(6));
    level = int(bits.bits(12));
    level -= level >= 2048 ? 4096 : 0;
  }
  return true;
}

// 7.4.2.3: intra 2 * level * weight * qp / 32; non-intra adds sign(level)
// to 2 * level. A flat 16 without weights.
Ipp16s dequantise(const Ipp16s* weights, int qp, int position, int level, bool intra) {
  const int64_t weight = weights ? weights[position] : 16;
  const int sign = intra ? 0 : (level > 0) - (level < 0);
  return Ipp16s((2 * int64_t(level) + sign) * weight * qp / 32);
}

}  // namespace

const std::string& printed(const std::string& name) {
  static const std::map<std::string, std::string> tables = [] {
    std::map<std::string, std::string> t;
    std::ifstream in(QUARLIN_STANDARD_TABLES);
    std::string name;
    for (std::string line; std::getline(in, line);) {
      if (line[0] == '@') name = line.substr(2, line.find(' ', 2) - 2);
      if (line[0] != '@' && line[0] != '#') t[name] += line + " ";
    }
    return t;
  }();
  return tables.at(name);
}

const Code* CodeList::find(int length, uint32_t bits) const {
  const auto it = byBits.find({length, bits});
  return it == byBits.end() ? nullptr : &it->second;
}

const Code* CodeList::findRunLevel(int run, int level) const {
  for (const Code& c : codes)
    if (c.run == run && c.level == level) return &c;
  return nullptr;
}

const CodeList& annexB(VlcSlot slot) {
  static const std::vector<CodeList> lists = [] {
    std::vector<CodeList> l;
    for (int s = 0; s < kVlcSlotCount; ++s) l.push_back(printedList(s));
    return l;
  }();
  return lists[size_t(slot)];
}

uint32_t BitSource::bits(int n) {
  uint32_t v = 0;
  for (int i = 0; i < n; ++i) {
    v = (v << 1) | ((*word >> offset) & 1);
    if (--offset < 0) offset = 31, ++word;
  }
  return v;
}

BitWriter randomBlockCoding(std::mt19937& random, const CodeList* dcSizes, const CodeList& ac) {
  BitWriter w;
  if (dcSizes != nullptr) {
    const int size = int(random() % 12), magnitude = size ? (1 << (size - 1)) : 0;
    const int d = size ? magnitude + int(random() % uint32_t(magnitude)) : 0;
    putCode(w, &*std::find_if(dcSizes->codes.begin(), dcSizes->codes.end(),
                              [size](const Code& c) { return c.value == size; }));
    if (size > 0) w.put(uint32_t(random() & 1 ? d : (1 << size) - 1 - d), size);
  }
  int i = 0;
  for (int index = dcSizes ? 0 : -1, count = int(random() % 24); i < count; ++i) {
    const int run = random() % 4 == 0 ? int(random() % 20) : int(random() % 3);
    if ((index += run + 1) > 63) break;
    putRunLevel(w, ac, !dcSizes && i == 0, run, randomLevel(random), random() % 8 == 0);
  }
  if (!dcSizes && i == 0) putRunLevel(w, ac, true, int(random() % 64), randomLevel(random), true);
  putCode(w, ac.findRunLevel(kRunEndOfBlock, kRunEndOfBlock));
  return w;
}

ReferenceBlock referenceBlock(BitSource& bits, const CodeList& first, const CodeList& ac, const Ipp32s* scan, int qp,
                              const Ipp16s* weights, Ipp16s* dcPredictor, int dcShift) {
  ReferenceBlock r;
  int index = 0, run = 0, level = 0;
  if (dcPredictor != nullptr) {  // dct_dc_size, then the differential (7.2.1)
    const std::optional<Code> size = decodeBitByBit(first, bits);
    if (!size) return {ippStsVLCErr};
    const int n = size->value, v = n > 0 ? int(bits.bits(n)) : 0;
    *dcPredictor = Ipp16s(*dcPredictor + (n == 0 || v >= (1 << (n - 1)) ? v : v + 1 - (1 << n)));
    r.block[0] = Ipp16s(*dcPredictor * (1 << dcShift));
  } else {  // the first code stands at scan index `run`
    if (!readRunLevel(bits, first, run, level) || run > 63) return {ippStsVLCErr};
    index = run;
    r.block[scan[run]] = dequantise(weights, qp, scan[run], level, false);
    r.lastIndex = std::max(run, 1);
  }
  while (readRunLevel(bits, ac, run, level)) {
    if (run == kRunEndOfBlock) {  // then mismatch control (7.4.4)
      int sum = 0;
      for (const Ipp16s v : r.block) sum += v;
      if (sum % 2 == 0) r.block[63] = Ipp16s(r.block[63] % 2 ? r.block[63] - 1 : r.block[63] + 1);
      return r;
    }
    if ((index += run + 1) > 63) return {ippStsVLCErr};
    r.block[scan[index]] = dequantise(weights, qp, scan[index], level, dcPredictor != nullptr);
    r.lastIndex = index;
  }
  return {ippStsVLCErr};
}

}  // namespace quarlin::test
