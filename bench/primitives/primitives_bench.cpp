// Time per call of the hot primitives: inverse DCTs, block reconstruction of
// typical blocks, motion compensation and single-code decoding.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "primitives/mpeg2_tables.h"
#include "primitives/primitives.h"
#include "primitives/vlc_descriptions.h"

namespace {

// Bits appended in stream order, returned as reader words (bytes of each
// word reversed).
class Bits {
 public:
  void put(uint32_t value, int n) {
    for (int i = n - 1; i >= 0; --i) {
      if (count_ % 8 == 0) bytes_.push_back(0);
      if ((value >> i) & 1) bytes_.back() |= uint8_t(0x80 >> (count_ % 8));
      ++count_;
    }
  }
  void put(const std::string& bits) {
    for (char c : bits) {
      if (c == '0' || c == '1') put(c == '1', 1);
    }
  }
  std::vector<Ipp32u> words() const {
    std::vector<uint8_t> b = bytes_;
    b.resize((b.size() + 3) / 4 * 4 + 16);
    std::vector<Ipp32u> w(b.size() / 4);
    for (size_t i = 0; i < w.size(); ++i) {
      w[i] = Ipp32u(b[4 * i]) << 24 | Ipp32u(b[4 * i + 1]) << 16 | Ipp32u(b[4 * i + 2]) << 8 |
             b[4 * i + 3];
    }
    return w;
  }
  size_t count() const { return count_; }

 private:
  std::vector<uint8_t> bytes_;
  size_t count_ = 0;
};

struct Tables {
  IppVCHuffmanSpec_32s* table[quarlin::kVlcSlotCount] = {};
  Tables() {
    for (int s = 0; s < quarlin::kVlcSlotCount; ++s) {
      const quarlin::VlcSlotDescription& d = quarlin::kVlcSlotDescriptions[s];
      if (d.runLevel) {
        ippiVCHuffmanInitAllocRL_32s(d.codes, &table[s]);
      } else {
        ippiVCHuffmanInitAlloc_32s(d.codes, &table[s]);
      }
    }
  }
  ~Tables() {
    for (auto*& t : table) ippiVCHuffmanFree_32s(&t);
  }
};

const Tables& tables() {
  static const Tables t;
  return t;
}

// A typical block of ten coefficients in table B.14 codes (5 zero runs).
const char* kAcCodes = "110 0111 01000 0101 1 0010 10 110 0110 111 0011 10 0001 100";

void BM_ReconstructIntra(benchmark::State& state) {
  Bits bits;
  for (int i = 0; i < 512; ++i) bits.put(std::string("01 11 ") + kAcCodes + " 10");
  const std::vector<Ipp32u> words = bits.words();
  Ipp16s block[64];
  Ipp32s last;
  Ipp16s predictor = 0;
  Ipp32u* word = const_cast<Ipp32u*>(words.data());
  int offset = 31;
  int blocks = 0;
  for (auto _ : state) {
    if (++blocks == 512) {
      blocks = 0;
      word = const_cast<Ipp32u*>(words.data());
      offset = 31;
    }
    ippiReconstructDCTBlockIntra_MPEG2_32s(
        &word, &offset, tables().table[quarlin::kVlcDcSizeLuma],
        tables().table[quarlin::kVlcCoefficientZero], quarlin::kScanTables[0], 16,
        quarlin::kDefaultIntraMatrix, &predictor, 3, block, &last);
    benchmark::DoNotOptimize(block);
  }
}
BENCHMARK(BM_ReconstructIntra);

void BM_ReconstructNonIntra(benchmark::State& state) {
  Bits bits;
  for (int i = 0; i < 512; ++i) bits.put(std::string("10 ") + kAcCodes + " 10");
  const std::vector<Ipp32u> words = bits.words();
  Ipp16s block[64];
  Ipp32s last;
  Ipp32u* word = const_cast<Ipp32u*>(words.data());
  int offset = 31;
  int blocks = 0;
  for (auto _ : state) {
    if (++blocks == 512) {
      blocks = 0;
      word = const_cast<Ipp32u*>(words.data());
      offset = 31;
    }
    ippiReconstructDCTBlock_MPEG2_32s(&word, &offset, tables().table[quarlin::kVlcCoefficientFirst],
                                      tables().table[quarlin::kVlcCoefficientZero],
                                      quarlin::kScanTables[0], 16, nullptr, block, &last);
    benchmark::DoNotOptimize(block);
  }
}
BENCHMARK(BM_ReconstructNonIntra);

// Random codes of a table, each decoded by one call.
void BM_DecodeOne(benchmark::State& state) {
  const int slot = int(state.range(0));
  const quarlin::VlcSlotDescription& d = quarlin::kVlcSlotDescriptions[slot];
  struct Code {
    int length;
    uint32_t bits;
  };
  std::vector<Code> codes;
  const Ipp32s* p = d.codes + 2 + d.codes[1];
  for (int length = 1; *p != -1; ++length) {
    const int count = *p++;
    for (int i = 0; i < count; ++i, p += d.runLevel ? 3 : 2)
      codes.push_back({length, uint32_t(*p)});
  }
  std::mt19937 random(5);
  Bits bits;
  for (int i = 0; i < 4096; ++i) {
    const Code& c = codes[random() % codes.size()];
    bits.put(c.bits, c.length);
    if (d.runLevel && c.bits == 1 && c.length == 6) bits.put(random(), 18);  // escape payload
  }
  const std::vector<Ipp32u> words = bits.words();
  Ipp32u* word = const_cast<Ipp32u*>(words.data());
  int offset = 31;
  int decoded = 0;
  Ipp32s value;
  for (auto _ : state) {
    if (++decoded == 4096) {
      decoded = 0;
      word = const_cast<Ipp32u*>(words.data());
      offset = 31;
    }
    ippiVCHuffmanDecodeOne_1u32s(&word, &offset, &value, tables().table[slot]);
    benchmark::DoNotOptimize(value);
  }
}
BENCHMARK(BM_DecodeOne)
    ->Arg(quarlin::kVlcAddressIncrement)
    ->Arg(quarlin::kVlcMotionCode)
    ->Arg(quarlin::kVlcCoefficientZero);

// A block of eleven coefficients in the low frequencies.
void typicalBlock(Ipp16s* block) {
  std::memset(block, 0, 64 * sizeof(Ipp16s));
  const int positions[] = {0, 1, 8, 16, 9, 2, 3, 10, 17, 24, 32};
  std::mt19937 random(3);
  for (int p : positions) block[p] = Ipp16s(int(random() % 201) - 100);
  block[0] = 1024;
}

void BM_IdctInv16s(benchmark::State& state) {
  Ipp16s block[64], out[64];
  typicalBlock(block);
  for (auto _ : state) {
    ippiDCT8x8Inv_16s_C1R(block, out, 16);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_IdctInv16s);

void BM_IdctInvLSClip(benchmark::State& state) {
  Ipp16s block[64];
  Ipp8u out[64 * 8];
  typicalBlock(block);
  for (auto _ : state) {
    ippiDCT8x8InvLSClip_16s8u_C1R(block, out, 64, 0, 0, 255);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_IdctInvLSClip);

struct McPlanes {
  std::vector<Ipp8u> ref = std::vector<Ipp8u>(64 * 40);
  std::vector<Ipp8u> ref2 = std::vector<Ipp8u>(64 * 40);
  std::vector<Ipp16s> residual = std::vector<Ipp16s>(16 * 16);
  std::vector<Ipp8u> dst = std::vector<Ipp8u>(64 * 20);
  McPlanes() {
    std::mt19937 random(9);
    for (Ipp8u& v : ref) v = Ipp8u(random());
    for (Ipp8u& v : ref2) v = Ipp8u(random());
    for (Ipp16s& v : residual) v = Ipp16s(int(random() % 64) - 32);
  }
};

template <int W>
void mcOne(benchmark::State& state, decltype(&ippiMC16x16_8u_C1) kernel) {
  McPlanes p;
  const Ipp32s type = Ipp32s(state.range(0));
  for (auto _ : state) {
    kernel(p.ref.data() + 65, 64, p.residual.data(), 2 * W, p.dst.data(), 64, type, 0);
    benchmark::DoNotOptimize(p.dst.data());
  }
}

template <int W>
void mcTwo(benchmark::State& state, decltype(&ippiMC16x16B_8u_C1) kernel) {
  McPlanes p;
  const Ipp32s type = Ipp32s(state.range(0));
  for (auto _ : state) {
    kernel(p.ref.data() + 65, 64, type, p.ref2.data() + 3, 64, 12 - type, p.residual.data(), 2 * W,
           p.dst.data(), 64, 0);
    benchmark::DoNotOptimize(p.dst.data());
  }
}

void BM_MC16x16(benchmark::State& s) { mcOne<16>(s, ippiMC16x16_8u_C1); }
void BM_MC8x8(benchmark::State& s) { mcOne<8>(s, ippiMC8x8_8u_C1); }
void BM_MC16x16B(benchmark::State& s) { mcTwo<16>(s, ippiMC16x16B_8u_C1); }
void BM_MC8x8B(benchmark::State& s) { mcTwo<8>(s, ippiMC8x8B_8u_C1); }
BENCHMARK(BM_MC16x16)->Arg(0)->Arg(8)->Arg(12);
BENCHMARK(BM_MC8x8)->Arg(0)->Arg(8)->Arg(12);
BENCHMARK(BM_MC16x16B)->Arg(0)->Arg(12);
BENCHMARK(BM_MC8x8B)->Arg(0)->Arg(12);

}  // namespace

BENCHMARK_MAIN();
