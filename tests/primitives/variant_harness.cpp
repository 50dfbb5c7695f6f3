// The variant harness, and the tests of processor dispatch and of every
// variant in the slots against the generic implementation.
#include "variant_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <tuple>

#include "block_coding.h"
#include "platform/cpu.h"
#include "primitives/cpu_dispatch.h"
#include "primitives/generic_primitives.h"
#include "primitives/mpeg2_tables.h"
#include "primitives/vlc_descriptions.h"
#include "primitives/vlc_table_format.h"

namespace quarlin::test {
namespace {

// The function of implementation `which`: 0 generic, 1..5 a slot.
#define QUARLIN_PICK(member, which) ((which) ? gPrimitiveTables.member[which] : &generic::member)

// Values of one of `kinds` for a whole input, each from one of its ranges.
using Kind = std::vector<std::pair<int, int>>;
template <typename T>
std::vector<T> draw(std::mt19937& random, int count, const std::vector<Kind>& kinds) {
  const Kind& kind = kinds[random() % kinds.size()];
  std::vector<T> values(static_cast<size_t>(count));
  for (T& v : values) {
    const auto [low, high] = kind[random() % kind.size()];
    v = T(low + int(random() % uint32_t(high - low + 1)));
  }
  return values;
}

// Rows at a random step and offset in guard bytes (or random bytes).
struct Canvas {
  std::mt19937& random;
  int rowBytes, rows;
  bool filled = false;
  int step = rowBytes + int(random() % 24);
  std::vector<uint8_t> bytes = filled ? draw<uint8_t>(random, (rows + 2) * step + 16, {{{0, 255}}})
                                      : std::vector<uint8_t>(size_t((rows + 2) * step + 16), 0x5C);
  uint8_t* at = &bytes[size_t(step) + random() % 16];
};

// From a random bit offset: random words (or codes of `list` among them),
// then the bits of `tail`.
struct Stream {
  int offset;
  std::vector<Ipp32u> words;
  Ipp32u* word;
  Stream(std::mt19937& random, const CodeList* list, int count, const BitWriter& tail = {})
      : offset(int(random() % 32)) {
    BitWriter w;
    w.put(random(), 31 - offset);
    for (int i = 0; i < count; ++i) {
      const Code* c = list && random() % 4 ? &list->codes[random() % list->codes.size()] : nullptr;
      c ? w.put(c->bits, c->length) : w.put(random() & random(), 32);
    }
    for (const uint8_t byte : tail.done()) w.put(byte, 8);
    words = w.words(4, uint8_t(random()));
    word = words.data();
  }
  void record(Run& r) const { r.add(word - words.data(), offset); }
};

std::map<const IppVCHuffmanSpec_32s*, VlcSlot> gSlotOf;

// Decode tables by builder, layout and slot, built once, freed by their free.
struct BuiltTables {
  std::map<std::tuple<HuffmanInitAllocFn*, int, int>, std::pair<IppVCHuffmanSpec_32s*, HuffmanFreeFn*>> tables;
  ~BuiltTables() {
    for (auto& [key, table] : tables) table.second(&table.first);
  }
} gBuilt;

// Coefficient tables, one time in two, at other level widths than the
// library's: these take the decoders' general loops.
struct Tables {
  int which, layout;
  explicit Tables(Run& r) : which(r.which), layout(int(r.random() % 8)) {}
  const IppVCHuffmanSpec_32s* operator[](VlcSlot slot) const {
    static const std::vector<Ipp32s> kWidths[] = {{10, 4, 3}, {6, 6, 5}, {4, 4, 4, 5}, {12, 5}};
    const bool relaid = slot >= kVlcCoefficientFirst && layout < 4;
    const VlcSlotDescription& d = kVlcSlotDescriptions[slot];
    HuffmanInitAllocFn* builder =
        d.runLevel ? QUARLIN_PICK(huffmanInitAllocRL, which) : QUARLIN_PICK(huffmanInitAlloc, which);
    auto [entry, added] = gBuilt.tables.try_emplace({builder, relaid ? layout : -1, slot});
    if (!added) return entry->second.first;
    std::vector<Ipp32s> description = {d.codes[0], Ipp32s(kWidths[layout % 4].size())};
    description.insert(description.end(), kWidths[layout % 4].begin(), kWidths[layout % 4].end());
    const Ipp32s *codes = d.codes + 2 + d.codes[1], *end = codes;
    while (relaid && *end != -1) end += 1 + 3 * *end;
    description.insert(description.end(), codes, end + 1);
    builder(relaid ? description.data() : d.codes, &entry->second.first);
    entry->second.second = QUARLIN_PICK(huffmanFree, which);
    gSlotOf[entry->second.first] = slot;
    return entry->second.first;
  }
};

// A valid random block or (one time in four) random bits; any table, scan,
// quantiser, matrix (non-intra: or none), DC predictor and precision.
struct BlockInput {
  Run& r;
  bool intra;
  Tables tables{r};
  const Ipp32s* scan = kScanTables[r.random() % 2];
  int qp = kQuantiserScale[r.random() % 2][1 + r.random() % 31], shift = int(r.random() % 4);
  Ipp16s predictor = Ipp16s(r.random() % 2048);
  VlcSlot dc = r.random() % 2 ? kVlcDcSizeLuma : kVlcDcSizeChroma;
  VlcSlot ac = intra && r.random() % 2 ? kVlcCoefficientOne : kVlcCoefficientZero;
  BitWriter coded =
      r.random() % 4 ? randomBlockCoding(r.random, intra ? &annexB(dc) : nullptr, annexB(ac)) : BitWriter();
  Stream stream{r.random, nullptr, coded.bitCount() ? 0 : 30, coded};
  std::vector<Ipp16s> matrix = draw<Ipp16s>(r.random, 64, {{{1, 255}}});
  const Ipp16s* weights = !intra && r.random() % 3 == 0 ? nullptr : matrix.data();
  std::vector<Ipp16s> block = std::vector<Ipp16s>(80, Ipp16s(0x5C5C));
  Ipp32s last = -77;
  void record(IppStatus status) {
    r.add(status, last, predictor);
    r.bytes(block.data(), 2 * block.size());
    stream.record(r);
  }
};

// Coefficients of one kind (small, 12-bit with extremes among them, any
// 16-bit): all of them, the DC alone, or some in a corner of rows x columns
// with its far corner set; sparse ones with or without an odd coefficient 63.
std::vector<Ipp16s> coefficients(std::mt19937& random) {
  std::vector<Ipp16s> v = draw<Ipp16s>(random, 64,
                                       {{{-20, 20}},
                                        {{-2048, 2047}, {-2048, 2047}, {INT16_MIN, INT16_MIN}, {INT16_MAX, INT16_MAX}},
                                        {{INT16_MIN, INT16_MAX}}});
  const int shape = int(random() % 3), rows = 1 + int(random() % 8), columns = 1 + int(random() % 8);
  for (int i = 0; i < 64; ++i) {
    const bool corner = i / 8 < rows && i % 8 < columns && (random() % 2 || i == 8 * rows - 9 + columns);
    if (!(shape == 0 || (shape == 1 && i == 0) || (shape == 2 && corner)) && i < 63) v[i] = 0;
  }
  if (shape > 0) v[63] = Ipp16s(random() % 2 ? 0 : random() % 3 ? random() % 2 * 2 - 1 : v[63]);
  return v;
}

int usualOrEdge(std::mt19937& random, int usual) {
  const int edges[] = {INT_MIN, -2000000000, -70000, -1, 256, 70000, 2000000000, INT_MAX};
  return random() % 4 ? usual : edges[random() % 8];
}

// Steps aligned to 16 or not; random, extreme or low-bit samples; any
// mc-type and rounding; residuals zero, small or any at any even step.
struct McInput {
  Run& r;
  int w = 0, h = 0;
  bool aligned = (std::sscanf(r.name.data(), "ippiMC%dx%d", &w, &h), r.random() % 2);
  int stepF = aligned ? 32 : w + 1 + int(r.random() % 30);
  int stepB = aligned ? 48 : w + 1 + int(r.random() % 30);
  int residualStep = 2 * (w + (aligned ? 0 : int(r.random() % 5)));
  int typeF = int(r.random() % 32), typeB = int(r.random() % 32), rounding = int(r.random() % 2);
  std::vector<Kind> samples = {{{0, 255}}, {{0, 0}, {255, 255}}, {{0, 7}, {248, 255}}};
  std::vector<Ipp8u> refF = draw<Ipp8u>(r.random, (h + 1) * stepF + 16, samples);
  std::vector<Ipp8u> refB = draw<Ipp8u>(r.random, (h + 1) * stepB + 16, samples);
  std::vector<Ipp16s> residual =
      draw<Ipp16s>(r.random, residualStep / 2 * h, {{{0, 0}}, {{-300, 299}}, {{-32768, 32767}}});
  Canvas c{r.random, w, h};
};

}  // namespace

// A table description, or one whose code 01 appears twice.
void exercise(HuffmanInitAllocFn* f, Run& r) {
  static const Ipp32s kTwice[] = {4, 1, 4, 0, 2, 1, 5, 1, 6, -1};
  static const Ipp32s kTwiceRL[] = {4, 1, 4, 0, 2, 1, 5, 1, 1, 6, 1, -1};
  const bool runLevel = r.name.find("RL") != std::string_view::npos;
  const int slot = runLevel ? kVlcCoefficientFirst + int(r.random() % 3) : int(r.random() % 8);
  const Ipp32s* codes = r.random() % 4 ? kVlcSlotDescriptions[slot].codes : kTwice;
  IppVCHuffmanSpec_32s* table = nullptr;
  r.add(f(codes == kTwice && runLevel ? kTwiceRL : codes, &table));
  if (table) r.bytes(table, 4 * (runLevel ? vlc::kRunLevelTableElements : vlc::kPlainTableElements));
  QUARLIN_PICK(huffmanFree, r.which)(&table);
}

void exercise(HuffmanFreeFn* f, Run& r) {
  IppVCHuffmanSpec_32s* table = nullptr;
  QUARLIN_PICK(huffmanInitAlloc, r.which)(kVlcSlotDescriptions[r.random() % 8].codes, &table);
  const IppStatus status = f(&table);
  r.add(status, table == nullptr, f(&table), f(nullptr));  // then nothing to free
}

// Eight codes in a row from codes of a table mixed with random bits.
void exercise(HuffmanDecodeOneFn* f, Run& r) {
  Tables tables(r);
  const VlcSlot slot = VlcSlot(r.random() % kVlcSlotCount);
  Stream s(r.random, &annexB(slot), 8);
  for (int i = 0; i < 8; ++i) {
    Ipp32s value = 0;
    const IppStatus status = f(&s.word, &s.offset, &value, tables[slot]);
    r.add(status, value);
    s.record(r);
  }
}

void exercise(ReconstructIntraFn* f, Run& r) {
  BlockInput in{r, true};
  in.record(f(&in.stream.word, &in.stream.offset, in.tables[in.dc], in.tables[in.ac], in.scan, in.qp, in.weights,
              &in.predictor, in.shift, &in.block[8], &in.last));
}

void exercise(ReconstructInterFn* f, Run& r) {
  BlockInput in{r, false};
  in.record(f(&in.stream.word, &in.stream.offset, in.tables[kVlcCoefficientFirst], in.tables[in.ac], in.scan, in.qp,
              in.weights, &in.block[8], &in.last));
}

// Any step (0 refused); the level shift and clamp bounds usual or extreme.
void exercise(IdctToShortFn* f, Run& r) {
  const std::vector<Ipp16s> block = coefficients(r.random);
  Canvas c{r.random, 16, 8};
  r.add(f(block.data(), reinterpret_cast<Ipp16s*>(c.at), r.random() % 16 ? c.step : 0));
  r.bytes(c.bytes);
}

void exercise(IdctToByteFn* f, Run& r) {
  const std::vector<Ipp16s> block = coefficients(r.random);
  Canvas c{r.random, 8, 8};
  const int step = r.random() % 16 ? c.step : 0, add = usualOrEdge(r.random, r.random() % 2 * 128);
  const int low = usualOrEdge(r.random, 0), high = usualOrEdge(r.random, 255);
  r.add(f(block.data(), c.at, step, add, low, high));
  r.bytes(c.bytes);
}

void exercise(McOneFn* f, Run& r) {
  McInput in{r};
  r.add(f(&in.refF[1], in.stepF, in.residual.data(), in.residualStep, in.c.at, in.c.step, in.typeF, in.rounding));
  r.bytes(in.c.bytes);
}

void exercise(McTwoFn* f, Run& r) {
  McInput in{r};
  r.add(f(&in.refF[1], in.stepF, in.typeF, in.refB.data(), in.stepB, in.typeB, in.residual.data(), in.residualStep,
          in.c.at, in.c.step, in.rounding));
  r.bytes(in.c.bytes);
}

// Sizes from -1, steps from 0.
void exercise(Copy2dFn* f, Run& r) {
  const IppiSize size = {int(r.random() % 40) - 1, int(r.random() % 20) - 1};
  Canvas from{r.random, std::max(size.width, 1), std::max(size.height, 1), true};
  Canvas to{r.random, std::max(size.width, 1), std::max(size.height, 1)};
  r.add(f(from.at, r.random() % 16 ? from.step : 0, to.at, r.random() % 16 ? to.step : 0, size));
  r.bytes(to.bytes);
}

void exercise(Copy1dFn* f, Run& r) {
  const int length = int(r.random() % 3000) - 1;
  Canvas from{r.random, std::max(length, 1), 1, true}, to{r.random, std::max(length, 1), 1};
  r.add(f(from.at, to.at, length));
  r.bytes(to.bytes);
}

VlcSlot slotOf(const IppVCHuffmanSpec_32s* table) { return gSlotOf.at(table); }

std::string compareRuns(std::string_view name, const std::function<void(Run&)>& expected,
                        const std::function<void(Run&)>& actual, uint32_t seed, int rounds, int actualWhich) {
  for (int round = 0; round < rounds; ++round) {
    std::mt19937 a(seed * 1000003u + uint32_t(round)), b = a;
    Run want{0, name, a}, got{actualWhich, name, b};
    expected(want);
    actual(got);
    if (want.out == got.out) continue;
    const auto at = std::mismatch(want.out.begin(), want.out.end(), got.out.begin(), got.out.end());
    return "output differs at byte " + std::to_string(at.first - want.out.begin()) + " in round " +
           std::to_string(round) + " (seed " + std::to_string(seed) + ")";
  }
  return "";
}

namespace {

// Replaces one dispatch slot for the lifetime of the object.
template <typename Fn>
struct SlotOverride {
  Fn** slot;
  Fn* saved;
  SlotOverride(Fn** slots, int index, Fn* f) : slot(&slots[index]), saved(*slot) { *slot = f; }
  ~SlotOverride() { *slot = saved; }
};

// "<entry point> slot <n>: <difference>" for each distinct variant that
// differs from the generic function.
std::vector<std::string> checkVariants(uint32_t seed, int rounds) {
  std::vector<std::string> failures;
#define QUARLIN_CHECK_SLOTS(member, Type, entry)                                                             \
  for (std::set<Type*> seen = {&generic::member, nullptr}; const int slot : {1, 2, 3, 4, 5}) {               \
    if (!dispatchSlotRunsHere(slot)) continue;                                                               \
    if (!seen.insert(gPrimitiveTables.member[slot]).second) continue; /* checked already */                  \
    const std::string difference = compareRuns(                                                              \
        #entry, [](Run& r) { exercise(QUARLIN_PICK(member, r.which), r); },                                  \
        [](Run& r) { exercise(QUARLIN_PICK(member, r.which), r); }, seed, rounds, slot);                     \
    if (!difference.empty()) failures.push_back(#entry " slot " + std::to_string(slot) + ": " + difference); \
  }
  QUARLIN_PRIMITIVE_LIST(QUARLIN_CHECK_SLOTS)
#undef QUARLIN_CHECK_SLOTS
  return failures;
}

constexpr uint32_t kSse2 = 1u << 26;  // CPUID function 1, EDX
int gCalls = 0;

// Types 0..4 (up to Pentium II) select slot 1, 5 (Pentium III) slot 2, 6, 7
// and 9 slot 3, 8 (Pentium 4 with SSE3) slot 4; an unknown one changes
// nothing; with AVX2 the SSE2 choice moves on to slot 5. The first selection
// follows CPUID, later ones return at once; a tier is forced only where it runs.
TEST(CpuDispatch, SelectsTheSlotThatTheEntryPointsRun) {
  const int32_t savedIndex = CpuDispatchIndex;
  const int32_t slots[] = {1, 1, 1, 1, 1, 2, 3, 3, 4, 3, 3};  // by type, then for type 10
  for (int32_t type : {0, 1, 2, 3, 4, 5, 6, 7, 8, -1, 9, 10}) {
    EXPECT_EQ(selectProcessorType(type), type < 0 || type > 9 ? ippStsWrongProcessor : ippStsNoErr);
    EXPECT_EQ(CpuDispatchIndex, slots[type < 0 ? 8 : type]) << "type " << type;
  }
  const bool sse2 = (platform::cpuid(1).edx & kSse2) != 0, avx2 = dispatchSlotRunsHere(kSlotAvx2);
  EXPECT_EQ(selectPrimitives(), ippStsNoErr);
  EXPECT_EQ(CpuDispatchIndex, avx2 ? 5 : sse2 ? 3 : 2);
  EXPECT_EQ(forceDispatchSlot(0), -1);
  EXPECT_EQ(forceDispatchSlot(6), -1);
  EXPECT_EQ(forceDispatchSlot(1), avx2 ? 5 : sse2 ? 3 : 2);
  CpuDispatchIndex = 1;
  EXPECT_EQ(selectPrimitives(), ippStsNoErr);
  EXPECT_EQ(CpuDispatchIndex, 1);
  SlotOverride<Copy1dFn> slot2(gPrimitiveTables.copy1d, kSlotSse,
                               [](const Ipp8u* s, Ipp8u* d, int n) { return ++gCalls, generic::copy1d(s, d, n); });
  for (const auto& [edx, withAvx2] : {std::pair{~kSse2, true}, {kSse2 | 1, false}, {0u, false}, {kSse2, true}}) {
    const Ipp8u src[4] = {1, 2, 3, 4};
    Ipp8u dst[4] = {};
    const int before = gCalls;
    EXPECT_EQ(selectPrimitivesForFeatures(edx, withAvx2), ippStsNoErr);
    EXPECT_EQ(CpuHasSse2, (edx & kSse2) != 0);
    EXPECT_EQ(CpuHasAvx2, CpuHasSse2 && withAvx2);
    EXPECT_EQ(CpuDispatchIndex, CpuHasAvx2 ? 5 : CpuHasSse2 ? 3 : 2);
    EXPECT_EQ(ippsCopy_8u(src, dst, 4), ippStsNoErr);
    EXPECT_EQ(gCalls - before, CpuHasSse2 ? 0 : 1);
    EXPECT_EQ(dst[3], 4);
  }
  CpuDispatchIndex = savedIndex;
  CpuHasSse2 = sse2;
  CpuHasAvx2 = avx2;
}

// A variant that gives back a bit when a code ends low in a word must be
// reported; then every real one must match. QUARLIN_VARIANT_SEED: other inputs.
TEST(VariantHarness, EveryVariantMatchesTheGenericImplementation) {
  {
    SlotOverride<HuffmanDecodeOneFn> broken(gPrimitiveTables.huffmanDecodeOne, kSlotSse,
                                            [](Ipp32u** s, int* o, Ipp32s* v, auto* t) {
                                              const IppStatus status = generic::huffmanDecodeOne(s, o, v, t);
                                              return *o < 4 ? (++*o, status) : status;
                                            });
    const std::vector<std::string> failures = checkVariants(1, 100);
    ASSERT_FALSE(failures.empty());
    EXPECT_EQ(failures[0].rfind("ippiVCHuffmanDecodeOne_1u32s slot 2: output differs", 0), 0u);
  }
  const char* seed = std::getenv("QUARLIN_VARIANT_SEED");
  EXPECT_EQ(checkVariants(seed ? uint32_t(std::stoul(seed)) : 1, 200), std::vector<std::string>{});
}

}  // namespace
}  // namespace quarlin::test
