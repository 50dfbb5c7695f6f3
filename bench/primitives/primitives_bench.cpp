// Time per call of the hot primitives: inverse DCTs, block reconstruction of
// typical blocks, motion compensation, copies and single-code decoding, once for
// every processor tier this machine runs (generic, SSE2, AVX2), each forced
// in turn through the entry points.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "primitives/cpu_dispatch.h"
#include "primitives/dispatch_tables.h"
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

// Blocks of random table-B.14 codes, shorter codes more often (each length
// about half as often as the one before, as in coded pictures), long
// two-level codes and the odd escape included; runs stay within the block.
std::vector<Ipp32u> mixedNonIntraBlocks(int count) {
  const quarlin::VlcSlotDescription& d =
      quarlin::kVlcSlotDescriptions[quarlin::kVlcCoefficientZero];
  struct Code {
    int length;
    uint32_t bits;
    int run;
  };
  std::vector<Code> codes;
  const Ipp32s* p = d.codes + 2 + d.codes[1];
  for (int length = 1; *p != -1; ++length) {
    const int n = *p++;
    for (int i = 0; i < n; ++i, p += 3) {
      if (p[1] < 64) codes.push_back({length, uint32_t(p[0]), p[1]});
    }
  }
  std::mt19937 random(11);
  auto pick = [&]() {
    for (;;) {
      const Code& c = codes[random() % codes.size()];
      if (random() % (1u << std::min(c.length - 2, 12)) == 0) return c;
    }
  };
  Bits bits;
  for (int b = 0; b < count; ++b) {
    bits.put("10");  // first coefficient: 1s, s = 0
    int index = 0;
    const int coefficients = 4 + int(random() % 16);
    for (int k = 0; k < coefficients; ++k) {
      if (random() % 30 == 0) {
        if (index + 1 > 63) break;
        bits.put("000001");
        bits.put(0, 6);
        bits.put(uint32_t(random() % 4000) & 0xFFF, 12);
        index += 1;
        continue;
      }
      const Code c = pick();
      if (index + c.run + 1 > 63) break;
      bits.put(c.bits, c.length);
      index += c.run + 1;
    }
    bits.put("10");  // end_of_block
  }
  return bits.words();
}

void BM_ReconstructNonIntraMixed(benchmark::State& state) {
  constexpr int kBlocks = 1024;
  const std::vector<Ipp32u> words = mixedNonIntraBlocks(kBlocks);
  Ipp16s block[64];
  Ipp32s last;
  Ipp32u* word = const_cast<Ipp32u*>(words.data());
  int offset = 31;
  int blocks = 0;
  for (auto _ : state) {
    if (++blocks == kBlocks) {
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
BENCHMARK(BM_ReconstructNonIntraMixed);

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

// 512 blocks of every extent (the first `columns` coefficients of the first
// `rows` rows), a third of them small, half with the +-1 that mismatch
// control leaves in coefficient 63: shapes change from block to block as in
// a picture. Argument 1: every block dense instead.
std::vector<Ipp16s> shapedBlocks(bool dense) {
  std::mt19937 random(17);
  std::vector<Ipp16s> blocks(512 * 64, 0);
  for (int b = 0; b < 512; ++b) {
    Ipp16s* block = &blocks[size_t(b) * 64];
    int rows = 1 + int(random() % 8), columns = 1 + int(random() % 8);
    if (random() % 3 == 0) rows = columns = 1 + int(random() % 2);
    if (dense) rows = columns = 8;
    for (int r = 0; r < rows; ++r) {
      for (int c = 0; c < columns; ++c) {
        if (dense || random() % 2 != 0) block[8 * r + c] = Ipp16s(int(random() % 401) - 200);
      }
    }
    block[0] = Ipp16s(int(random() % 2001) - 1000);
    if (random() % 2 != 0) block[63] ^= 1;
  }
  return blocks;
}

void BM_IdctShapes(benchmark::State& state) {
  const std::vector<Ipp16s> blocks = shapedBlocks(state.range(0) != 0);
  Ipp16s out[64];
  size_t b = 0;
  for (auto _ : state) {
    ippiDCT8x8Inv_16s_C1R(&blocks[b * 64], out, 16);
    benchmark::DoNotOptimize(out);
    b = (b + 1) % 512;
  }
}
BENCHMARK(BM_IdctShapes)->Arg(0)->Arg(1);

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

// Argument: forward mc-type * 16 + backward mc-type.
template <int W>
void mcTwo(benchmark::State& state, decltype(&ippiMC16x16B_8u_C1) kernel) {
  McPlanes p;
  const Ipp32s typeF = Ipp32s(state.range(0)) >> 4;
  const Ipp32s typeB = Ipp32s(state.range(0)) & 15;
  for (auto _ : state) {
    kernel(p.ref.data() + 65, 64, typeF, p.ref2.data() + 3, 64, typeB, p.residual.data(), 2 * W,
           p.dst.data(), 64, 0);
    benchmark::DoNotOptimize(p.dst.data());
  }
}

void BM_MC16x16(benchmark::State& s) { mcOne<16>(s, ippiMC16x16_8u_C1); }
void BM_MC16x8(benchmark::State& s) { mcOne<16>(s, ippiMC16x8_8u_C1); }
void BM_MC8x8(benchmark::State& s) { mcOne<8>(s, ippiMC8x8_8u_C1); }
void BM_MC8x4(benchmark::State& s) { mcOne<8>(s, ippiMC8x4_8u_C1); }
void BM_MC4x4(benchmark::State& s) { mcOne<4>(s, ippiMC4x4_8u_C1); }
void BM_MC16x16B(benchmark::State& s) { mcTwo<16>(s, ippiMC16x16B_8u_C1); }
void BM_MC16x8B(benchmark::State& s) { mcTwo<16>(s, ippiMC16x8B_8u_C1); }
void BM_MC8x8B(benchmark::State& s) { mcTwo<8>(s, ippiMC8x8B_8u_C1); }
void BM_MC8x4B(benchmark::State& s) { mcTwo<8>(s, ippiMC8x4B_8u_C1); }
BENCHMARK(BM_MC16x16)->Arg(0)->Arg(4)->Arg(8)->Arg(12);
BENCHMARK(BM_MC16x8)->Arg(0)->Arg(12);
BENCHMARK(BM_MC8x8)->Arg(0)->Arg(4)->Arg(8)->Arg(12);
BENCHMARK(BM_MC8x4)->Arg(0)->Arg(12);
BENCHMARK(BM_MC4x4)->Arg(0)->Arg(12);
BENCHMARK(BM_MC16x16B)->Arg(0x00)->Arg(0x84)->Arg(0xCC);
BENCHMARK(BM_MC16x8B)->Arg(0x00)->Arg(0xCC);
BENCHMARK(BM_MC8x8B)->Arg(0x00)->Arg(0x84)->Arg(0xCC);
BENCHMARK(BM_MC8x4B)->Arg(0x00)->Arg(0xCC);

// A skipped macroblock's luma (16 x 16) or chroma (8 x 8) between planes of
// HD width, and file-reader runs of 64 bytes to 64 KiB.
void BM_Copy2d(benchmark::State& state) {
  const int width = int(state.range(0));
  std::vector<Ipp8u> from(1920 * 17, 7), to(1920 * 17);
  for (auto _ : state) {
    ippiCopy_8u_C1R(from.data() + 1923, 1920, to.data() + 3, 1920, {width, width});
    benchmark::DoNotOptimize(to.data());
  }
}
BENCHMARK(BM_Copy2d)->Arg(16)->Arg(8);

void BM_Copy1d(benchmark::State& state) {
  const int length = int(state.range(0));
  std::vector<Ipp8u> from(size_t(length) + 16, 7), to(size_t(length) + 16);
  for (auto _ : state) {
    ippsCopy_8u(from.data() + 5, to.data() + 1, length);
    benchmark::DoNotOptimize(to.data());
  }
}
BENCHMARK(BM_Copy1d)->Arg(64)->Arg(4096)->Arg(65536);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  quarlin::selectPrimitives();
  const std::pair<int32_t, const char*> tiers[] = {
      {quarlin::kSlotGeneric, "generic"}, {quarlin::kSlotSse2, "sse2"}, {quarlin::kSlotAvx2, "avx2"}};
  for (const auto& [slot, name] : tiers) {
    if (quarlin::forceDispatchSlot(slot) < 0) {
      std::printf("== tier %s: not run by this processor\n", name);
      continue;
    }
    std::printf("== tier %s (dispatch slot %d)\n", name, slot);
    std::fflush(stdout);
    benchmark::ConsoleReporter reporter(benchmark::ConsoleReporter::OO_Tabular);  // a used one prints nothing more
    benchmark::RunSpecifiedBenchmarks(&reporter);
  }
  benchmark::Shutdown();
  return 0;
}
