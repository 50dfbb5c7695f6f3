#include "block_coding.h"

namespace quarlin::test {
namespace {

constexpr int kEndOfBlock = 254;
constexpr int kEscape = 255;

int randomLevel(std::mt19937& random) {
  std::uniform_int_distribution<int> kind(0, 9);
  const int k = kind(random);
  const int magnitude = k < 6   ? 1 + int(random() % 3)
                        : k < 9 ? 1 + int(random() % 40)
                                : 1 + int(random() % 2047);
  return (random() & 1) ? -magnitude : magnitude;
}

std::vector<RunLevel> randomCoefficients(std::mt19937& random, const CodeList& ac, int start) {
  std::vector<RunLevel> out;
  const int count = int(random() % 24);
  int index = start;
  for (int i = 0; i < count; ++i) {
    const int run = (random() % 4 == 0) ? int(random() % 20) : int(random() % 3);
    if (index + run + 1 > 63) break;
    index += run + 1;
    const int level = randomLevel(random);
    const bool hasCode = ac.findRunLevel(run, level) != nullptr;
    out.push_back({run, level, !hasCode || random() % 8 == 0});
  }
  return out;
}

void putEscape(BitWriter& w, const CodeList& ac, const RunLevel& c) {
  const Code* escape = ac.findRunLevel(kEscape, kEscape);
  w.put(escape->bits, escape->length);
  w.put(uint32_t(c.run), 6);
  w.put(uint32_t(c.level) & 0xFFF, 12);
}

void putCoefficient(BitWriter& w, const CodeList& ac, const RunLevel& c) {
  if (c.escape) return putEscape(w, ac, c);
  const Code* code = ac.findRunLevel(c.run, c.level);
  w.put(code->bits, code->length);
}

void putEndOfBlock(BitWriter& w, const CodeList& ac) {
  const Code* eob = ac.findRunLevel(kEndOfBlock, kEndOfBlock);
  w.put(eob->bits, eob->length);
}

// Reads one run/level code; false for an unmatched code.
bool readRunLevel(BitSource& bits, const CodeList& list, int& run, int& level) {
  const std::optional<Code> code = decodeBitByBit(list, bits);
  if (!code) return false;
  run = code->run;
  level = code->level;
  if (run == kEscape) {
    run = int(bits.bits(6));
    const int raw = int(bits.bits(12));
    level = raw >= 2048 ? raw - 4096 : raw;
  }
  return true;
}

void applyMismatchControl(Ipp16s* block) {
  int sum = 0;
  for (int i = 0; i < 64; ++i) sum += block[i];
  if (sum % 2 == 0) block[63] = Ipp16s(block[63] % 2 != 0 ? block[63] - 1 : block[63] + 1);
}

// Places and dequantises the AC codes until end_of_block.
IppStatus readCoefficients(BitSource& bits, const CodeList& ac, const QuantiserSetup& q, bool intra,
                           ReferenceBlock& r, int index) {
  for (;;) {
    int run = 0, level = 0;
    if (!readRunLevel(bits, ac, run, level)) return ippStsVLCErr;
    if (run == kEndOfBlock) break;
    index += run + 1;
    if (index > 63) return ippStsVLCErr;
    const int position = q.scan[index];
    const int64_t weight = q.weights ? q.weights[position] : 16;
    const int sign = level > 0 ? 1 : (level < 0 ? -1 : 0);
    const int64_t value = intra ? int64_t(level) * weight * 2 * q.qp / 32
                                : (2 * int64_t(level) + sign) * weight * q.qp / 32;
    r.block[position] = Ipp16s(value);
    r.lastIndex = index;
  }
  applyMismatchControl(r.block);
  return ippStsNoErr;
}

}  // namespace

BlockCodes randomIntraBlock(std::mt19937& random, const CodeList& ac) {
  BlockCodes b;
  b.dcSize = int(random() % 12);
  if (b.dcSize > 0) {
    const int low = 1 << (b.dcSize - 1), high = (1 << b.dcSize) - 1;
    const int magnitude = low + int(random() % uint32_t(high - low + 1));
    b.dcDifferential = (random() & 1) ? -magnitude : magnitude;
  }
  b.coefficients = randomCoefficients(random, ac, 0);
  return b;
}

BlockCodes randomNonIntraBlock(std::mt19937& random, const CodeList& ac) {
  BlockCodes b;
  b.coefficients = randomCoefficients(random, ac, -1);
  if (b.coefficients.empty())
    b.coefficients.push_back({int(random() % 64), randomLevel(random), true});
  return b;
}

void encodeIntra(BitWriter& w, const CodeList& dcSizes, const CodeList& ac, const BlockCodes& b) {
  for (const Code& c : dcSizes.codes) {
    if (c.value == b.dcSize) w.put(c.bits, c.length);
  }
  if (b.dcSize > 0) {
    const int bits =
        b.dcDifferential > 0 ? b.dcDifferential : b.dcDifferential + (1 << b.dcSize) - 1;
    w.put(uint32_t(bits), b.dcSize);
  }
  for (const RunLevel& c : b.coefficients) putCoefficient(w, ac, c);
  putEndOfBlock(w, ac);
}

void encodeNonIntra(BitWriter& w, const CodeList& ac, const BlockCodes& b) {
  for (size_t i = 0; i < b.coefficients.size(); ++i) {
    const RunLevel& c = b.coefficients[i];
    if (i == 0 && !c.escape && c.run == 0 && (c.level == 1 || c.level == -1)) {
      w.put(c.level == 1 ? 2 : 3, 2);  // "1s"
    } else {
      putCoefficient(w, ac, c);
    }
  }
  putEndOfBlock(w, ac);
}

ReferenceBlock referenceIntra(BitSource& bits, const CodeList& dcSizes, const CodeList& ac,
                              const QuantiserSetup& q, Ipp16s& dcPredictor, int dcShift) {
  ReferenceBlock r;
  const std::optional<Code> size = decodeBitByBit(dcSizes, bits);
  if (!size) {
    r.status = ippStsVLCErr;
    return r;
  }
  int differential = 0;
  if (size->value > 0) {
    const int v = int(bits.bits(size->value));
    differential = v >= (1 << (size->value - 1)) ? v : v + 1 - (1 << size->value);
  }
  dcPredictor = Ipp16s(dcPredictor + differential);
  r.block[0] = Ipp16s(dcPredictor * (1 << dcShift));
  r.status = readCoefficients(bits, ac, q, true, r, 0);
  return r;
}

ReferenceBlock referenceNonIntra(BitSource& bits, const CodeList& first, const CodeList& ac,
                                 const QuantiserSetup& q) {
  ReferenceBlock r;
  // The first code comes from the first-coefficient list ("1s" is run 0,
  // level +-1) and stands at scan index `run`.
  int run = 0, level = 0;
  if (!readRunLevel(bits, first, run, level) || run > 63) {
    r.status = ippStsVLCErr;
    return r;
  }
  const int64_t weight = q.weights ? q.weights[q.scan[run]] : 16;
  const int sign = level > 0 ? 1 : (level < 0 ? -1 : 0);
  r.block[q.scan[run]] = Ipp16s((2 * int64_t(level) + sign) * weight * q.qp / 32);
  r.lastIndex = run;
  r.status = readCoefficients(bits, ac, q, false, r, run);
  if (r.lastIndex == 0) r.lastIndex = 1;
  return r;
}

}  // namespace quarlin::test
