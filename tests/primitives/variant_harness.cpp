#include "variant_harness.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <utility>

#include "bit_writer.h"
#include "block_coding.h"
#include "primitives/generic_primitives.h"
#include "primitives/mpeg2_tables.h"
#include "primitives/vlc_descriptions.h"
#include "primitives/vlc_table_format.h"
#include "reference_codes.h"

namespace quarlin::test {
namespace {

// "Which" implementation: 0 is the generic function itself, 1..4 a dispatch slot.
constexpr int kGeneric = 0;
constexpr uint8_t kGuard = 0x5C;

using Outcome = std::vector<uint8_t>;

void appendBytes(Outcome& o, const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  o.insert(o.end(), p, p + size);
}
template <typename T>
void append(Outcome& o, const T& value) {
  appendBytes(o, &value, sizeof value);
}

class Check {
 public:
  explicit Check(std::string name) : name_(std::move(name)) {}
  virtual ~Check() = default;
  const std::string& name() const { return name_; }
  virtual const void* implementation(int which) const = 0;
  virtual void prepare(std::mt19937& random) = 0;  // a new random input
  virtual Outcome run(int which) = 0;              // everything the call produced
  virtual void call(int which) = 0;                // the call alone, for timing

 private:
  std::string name_;
};

template <typename Fn>
class TypedCheck : public Check {
 public:
  TypedCheck(std::string name, Fn* const* slots, Fn* generic)
      : Check(std::move(name)), slots_(slots), generic_(generic) {}
  const void* implementation(int which) const override {
    return reinterpret_cast<const void*>(fn(which));
  }

 protected:
  Fn* fn(int which) const { return which == kGeneric ? generic_ : slots_[which]; }

 private:
  Fn* const* slots_;
  Fn* generic_;
};

// ---- Variable-length code tables, built by each implementation's builder ----

HuffmanInitAllocFn* builderOf(int which, bool runLevel) {
  if (which == kGeneric)
    return runLevel ? &generic::huffmanInitAllocRL : &generic::huffmanInitAlloc;
  return runLevel ? gPrimitiveTables.huffmanInitAllocRL[which]
                  : gPrimitiveTables.huffmanInitAlloc[which];
}
HuffmanFreeFn* freerOf(int which) {
  return which == kGeneric ? &generic::huffmanFree : gPrimitiveTables.huffmanFree[which];
}

// The eleven tables as built by the builder of each implementation slot.
class SlotTables {
 public:
  ~SlotTables() {
    for (int which = 0; which < kDispatchSlotCount; ++which) {
      for (IppVCHuffmanSpec_32s*& t : tables_[which]) {
        if (t != nullptr) freerOf(which)(&t);
      }
    }
  }
  const IppVCHuffmanSpec_32s* get(int which, int slot) {
    IppVCHuffmanSpec_32s*& t = tables_[which][slot];
    if (t == nullptr) {
      const VlcSlotDescription& d = kVlcSlotDescriptions[slot];
      builderOf(which, d.runLevel)(d.codes, &t);
    }
    return t;
  }

 private:
  IppVCHuffmanSpec_32s* tables_[kDispatchSlotCount][kVlcSlotCount] = {};
};

const std::vector<CodeList>& codeLists() {
  static const std::vector<CodeList> lists = [] {
    std::vector<CodeList> l;
    for (const VlcSlotDescription& d : kVlcSlotDescriptions)
      l.push_back(parseDescription(d.codes, d.runLevel));
    return l;
  }();
  return lists;
}

// A bit position inside a word buffer, restored before every run.
struct StreamInput {
  std::vector<Ipp32u> words;
  int startOffset = 31;
  Ipp32u* word = nullptr;
  int offset = 31;
  void rewind() {
    word = words.data();
    offset = startOffset;
  }
  void appendPosition(Outcome& o) const {
    append(o, word - words.data());
    append(o, offset);
  }
};

// Random codes of a table (or random bits) at a random offset.
StreamInput randomStream(std::mt19937& random, const CodeList* codes, int count) {
  BitWriter w;
  StreamInput s;
  s.startOffset = int(random() % 32);
  w.put(random(), 31 - s.startOffset);
  for (int i = 0; i < count; ++i) {
    if (codes != nullptr && random() % 4 != 0) {
      const Code& c = codes->codes[random() % codes->codes.size()];
      w.put(c.bits, c.length);
    } else {
      w.put(random() & random(), 32);
    }
  }
  s.words = w.words(4, Ipp8u(random()));
  s.rewind();
  return s;
}

// Number of elements of a description, terminator included.
size_t descriptionLength(const Ipp32s* d, bool runLevel) {
  const Ipp32s* p = d + 2 + d[1];
  while (*p != -1) p += 1 + *p * (runLevel ? 3 : 2);
  return size_t(p + 1 - d);
}

class BuildCheck : public TypedCheck<HuffmanInitAllocFn> {
 public:
  explicit BuildCheck(bool runLevel)
      : TypedCheck(
            runLevel ? "ippiVCHuffmanInitAllocRL_32s" : "ippiVCHuffmanInitAlloc_32s",
            runLevel ? gPrimitiveTables.huffmanInitAllocRL : gPrimitiveTables.huffmanInitAlloc,
            runLevel ? &generic::huffmanInitAllocRL : &generic::huffmanInitAlloc),
        runLevel_(runLevel) {}
  void prepare(std::mt19937& random) override {
    do {
      slot_ = int(random() % kVlcSlotCount);
    } while (kVlcSlotDescriptions[slot_].runLevel != runLevel_);
    const Ipp32s* d = kVlcSlotDescriptions[slot_].codes;
    description_.assign(d, d + descriptionLength(d, runLevel_));
    if (random() % 4 == 0) {  // a description whose code 01 appears twice
      description_ = runLevel_ ? std::vector<Ipp32s>{4, 1, 4, 0, 2, 1, 5, 1, 1, 6, 1, -1}
                               : std::vector<Ipp32s>{4, 1, 4, 0, 2, 1, 5, 1, 6, -1};
    }
  }
  Outcome run(int which) override {
    IppVCHuffmanSpec_32s* table = nullptr;
    Outcome o;
    append(o, fn(which)(description_.data(), &table));
    append(o, table == nullptr);
    if (table != nullptr) {
      const size_t elements = runLevel_ ? vlc::kRunLevelTableElements : vlc::kPlainTableElements;
      appendBytes(o, table, elements * sizeof(int32_t));
      freerOf(which)(&table);
    }
    return o;
  }
  void call(int which) override {
    IppVCHuffmanSpec_32s* table = nullptr;
    fn(which)(description_.data(), &table);
    freerOf(which)(&table);
  }

 private:
  bool runLevel_;
  int slot_ = 0;
  std::vector<Ipp32s> description_;
};

class FreeCheck : public TypedCheck<HuffmanFreeFn> {
 public:
  FreeCheck()
      : TypedCheck("ippiVCHuffmanFree_32s", gPrimitiveTables.huffmanFree, &generic::huffmanFree) {}
  void prepare(std::mt19937& random) override { slot_ = int(random() % kVlcSlotCount); }
  Outcome run(int which) override {
    const VlcSlotDescription& d = kVlcSlotDescriptions[slot_];
    IppVCHuffmanSpec_32s* table = nullptr;
    builderOf(which, d.runLevel)(d.codes, &table);
    Outcome o;
    append(o, fn(which)(&table));
    append(o, table == nullptr);
    append(o, fn(which)(&table));  // freeing an empty slot
    append(o, fn(which)(nullptr));
    return o;
  }
  void call(int which) override { run(which); }

 private:
  int slot_ = 0;
};

class DecodeCheck : public TypedCheck<HuffmanDecodeOneFn> {
 public:
  explicit DecodeCheck(SlotTables& tables)
      : TypedCheck("ippiVCHuffmanDecodeOne_1u32s", gPrimitiveTables.huffmanDecodeOne,
                   &generic::huffmanDecodeOne),
        tables_(tables) {}
  void prepare(std::mt19937& random) override {
    slot_ = int(random() % kVlcSlotCount);
    stream_ = randomStream(random, &codeLists()[size_t(slot_)], 8);
  }
  Outcome run(int which) override {
    Outcome o;
    stream_.rewind();
    const IppVCHuffmanSpec_32s* table = tables_.get(which, slot_);
    for (int i = 0; i < 8; ++i) {
      Ipp32s value = 0;
      append(o, fn(which)(&stream_.word, &stream_.offset, &value, table));
      append(o, value);
      stream_.appendPosition(o);
    }
    return o;
  }
  void call(int which) override {
    stream_.rewind();
    Ipp32s value;
    fn(which)(&stream_.word, &stream_.offset, &value, tables_.get(which, slot_));
  }

 private:
  SlotTables& tables_;
  int slot_ = 0;
  StreamInput stream_;
};

// ---- Block reconstruction ----

struct BlockParameters {
  int scan = 0;
  int qp = 2;
  std::vector<Ipp16s> matrix;
  bool nullMatrix = false;
  Ipp16s predictor = 0;
  int dcShift = 0;
  int dcSlot = kVlcDcSizeLuma;
  int acSlot = kVlcCoefficientZero;

  void randomise(std::mt19937& random) {
    scan = int(random() % 2);
    qp = kQuantiserScale[random() % 2][1 + random() % 31];
    matrix.resize(64);
    for (Ipp16s& w : matrix) w = Ipp16s(1 + random() % 255);
    nullMatrix = random() % 3 == 0;
    predictor = Ipp16s(random() % 2048);
    dcShift = int(random() % 4);
    dcSlot = random() % 2 ? kVlcDcSizeLuma : kVlcDcSizeChroma;
    acSlot = random() % 2 ? kVlcCoefficientZero : kVlcCoefficientOne;
  }
};

// Block output with guard values around the 64 coefficients.
struct BlockOutput {
  Ipp16s storage[64 + 16];
  Ipp32s lastIndex;
  void reset() {
    std::fill(std::begin(storage), std::end(storage), Ipp16s(0x5C5C));
    lastIndex = -77;
  }
  Ipp16s* block() { return storage + 8; }
};

class IntraCheck : public TypedCheck<ReconstructIntraFn> {
 public:
  explicit IntraCheck(SlotTables& tables)
      : TypedCheck("ippiReconstructDCTBlockIntra_MPEG2_32s", gPrimitiveTables.reconstructIntra,
                   &generic::reconstructIntra),
        tables_(tables) {}
  void prepare(std::mt19937& random) override {
    p_.randomise(random);
    const CodeList& ac = codeLists()[size_t(p_.acSlot)];
    if (random() % 4 == 0) {
      stream_ = randomStream(random, nullptr, 30);
      return;
    }
    BitWriter w;
    encodeIntra(w, codeLists()[size_t(p_.dcSlot)], ac, randomIntraBlock(random, ac));
    stream_.words = w.words(4);
    stream_.startOffset = 31;
  }
  Outcome run(int which) override {
    call(which);
    Outcome o;
    append(o, status_);
    appendBytes(o, out_.storage, sizeof out_.storage);
    append(o, out_.lastIndex);
    append(o, predictor_);
    stream_.appendPosition(o);
    return o;
  }
  void call(int which) override {
    stream_.rewind();
    out_.reset();
    predictor_ = p_.predictor;
    status_ = fn(which)(&stream_.word, &stream_.offset, tables_.get(which, p_.dcSlot),
                        tables_.get(which, p_.acSlot), kScanTables[p_.scan], p_.qp,
                        p_.matrix.data(), &predictor_, p_.dcShift, out_.block(), &out_.lastIndex);
  }

 private:
  SlotTables& tables_;
  BlockParameters p_;
  StreamInput stream_;
  BlockOutput out_;
  Ipp16s predictor_ = 0;
  IppStatus status_ = 0;
};

class NonIntraCheck : public TypedCheck<ReconstructInterFn> {
 public:
  explicit NonIntraCheck(SlotTables& tables)
      : TypedCheck("ippiReconstructDCTBlock_MPEG2_32s", gPrimitiveTables.reconstructInter,
                   &generic::reconstructInter),
        tables_(tables) {}
  void prepare(std::mt19937& random) override {
    p_.randomise(random);
    const CodeList& ac = codeLists()[kVlcCoefficientZero];
    if (random() % 4 == 0) {
      stream_ = randomStream(random, nullptr, 30);
      return;
    }
    BitWriter w;
    encodeNonIntra(w, ac, randomNonIntraBlock(random, ac));
    stream_.words = w.words(4);
    stream_.startOffset = 31;
  }
  Outcome run(int which) override {
    call(which);
    Outcome o;
    append(o, status_);
    appendBytes(o, out_.storage, sizeof out_.storage);
    append(o, out_.lastIndex);
    stream_.appendPosition(o);
    return o;
  }
  void call(int which) override {
    stream_.rewind();
    out_.reset();
    status_ = fn(which)(&stream_.word, &stream_.offset, tables_.get(which, kVlcCoefficientFirst),
                        tables_.get(which, kVlcCoefficientZero), kScanTables[p_.scan], p_.qp,
                        p_.nullMatrix ? nullptr : p_.matrix.data(), out_.block(), &out_.lastIndex);
  }

 private:
  SlotTables& tables_;
  BlockParameters p_;
  StreamInput stream_;
  BlockOutput out_;
  IppStatus status_ = 0;
};

// ---- Inverse DCT ----

// Coefficients of three kinds: sparse 12-bit, dense 12-bit and any 16-bit.
void randomCoefficients(std::mt19937& random, Ipp16s* block) {
  const int kind = int(random() % 3);
  for (int i = 0; i < 64; ++i) {
    if (kind == 0) {
      block[i] = (i < 10 && random() % 3 == 0) ? Ipp16s(int(random() % 4096) - 2048) : 0;
    } else if (kind == 1) {
      block[i] = Ipp16s(int(random() % 4096) - 2048);
    } else {
      block[i] = Ipp16s(random());
    }
  }
}

// A destination canvas with a guard border and a random step.
struct Canvas {
  std::vector<uint8_t> bytes;
  int step = 0;
  size_t origin = 0;
  void shape(std::mt19937& random, int rowBytes, int rows) {
    step = rowBytes + int(random() % 24);
    origin = size_t(step + random() % 16);
    bytes.assign(origin + size_t(rows + 1) * size_t(step), kGuard);
  }
  void reset() { std::fill(bytes.begin(), bytes.end(), kGuard); }
  uint8_t* at() { return bytes.data() + origin; }
};

class IdctShortCheck : public TypedCheck<IdctToShortFn> {
 public:
  IdctShortCheck()
      : TypedCheck("ippiDCT8x8Inv_16s_C1R", gPrimitiveTables.idctToShort, &generic::idctToShort) {}
  void prepare(std::mt19937& random) override {
    randomCoefficients(random, block_);
    canvas_.shape(random, 16, 8);
  }
  Outcome run(int which) override {
    canvas_.reset();
    Outcome o;
    append(o, fn(which)(block_, reinterpret_cast<Ipp16s*>(canvas_.at()), canvas_.step));
    appendBytes(o, canvas_.bytes.data(), canvas_.bytes.size());
    return o;
  }
  void call(int which) override {
    fn(which)(block_, reinterpret_cast<Ipp16s*>(canvas_.at()), canvas_.step);
  }

 private:
  Ipp16s block_[64];
  Canvas canvas_;
};

class IdctByteCheck : public TypedCheck<IdctToByteFn> {
 public:
  IdctByteCheck()
      : TypedCheck("ippiDCT8x8InvLSClip_16s8u_C1R", gPrimitiveTables.idctToByte,
                   &generic::idctToByte) {}
  void prepare(std::mt19937& random) override {
    randomCoefficients(random, block_);
    canvas_.shape(random, 8, 8);
    const bool usual = random() % 2 == 0;
    shift_ = usual ? 0 : int(random() % 512) - 256;
    low_ = usual ? 0 : int(random() % 128);
    high_ = usual ? 255 : 128 + int(random() % 128);
  }
  Outcome run(int which) override {
    canvas_.reset();
    Outcome o;
    append(o, fn(which)(block_, canvas_.at(), canvas_.step, shift_, low_, high_));
    appendBytes(o, canvas_.bytes.data(), canvas_.bytes.size());
    return o;
  }
  void call(int which) override {
    fn(which)(block_, canvas_.at(), canvas_.step, shift_, low_, high_);
  }

 private:
  Ipp16s block_[64];
  Canvas canvas_;
  int shift_ = 0, low_ = 0, high_ = 255;
};

// ---- Motion compensation ----

struct McInput {
  std::vector<Ipp8u> refF, refB;
  int stepF = 0, stepB = 0;
  std::vector<Ipp16s> residual;
  int residualStep = 0;  // bytes
  int typeF = 0, typeB = 0, rounding = 0;

  void randomise(std::mt19937& random, int w, int h) {
    const bool aligned = random() % 2 == 0;  // steps and offsets multiples of 16 or not
    stepF = aligned ? 32 : w + 1 + int(random() % 30);
    stepB = aligned ? 48 : w + 1 + int(random() % 30);
    refF.resize(size_t(stepF * (h + 1) + 16));
    refB.resize(size_t(stepB * (h + 1) + 16));
    for (Ipp8u& s : refF) s = Ipp8u(random());
    for (Ipp8u& s : refB) s = Ipp8u(random());
    residualStep = 2 * (w + (aligned ? 0 : int(random() % 5)));
    residual.resize(size_t(residualStep / 2 * h));
    const bool large = random() % 3 == 0;
    for (Ipp16s& r : residual) r = large ? Ipp16s(random()) : Ipp16s(int(random() % 600) - 300);
    typeF = int(random() % 16);
    typeB = int(random() % 16);
    rounding = int(random() % 2);
  }
};

class McOneCheck : public TypedCheck<McOneFn> {
 public:
  McOneCheck(const char* name, McOneFn* const* slots, McOneFn* generic, int w, int h)
      : TypedCheck(name, slots, generic), w_(w), h_(h) {}
  void prepare(std::mt19937& random) override {
    in_.randomise(random, w_, h_);
    canvas_.shape(random, w_, h_);
  }
  Outcome run(int which) override {
    canvas_.reset();
    Outcome o;
    append(o, invoke(which));
    appendBytes(o, canvas_.bytes.data(), canvas_.bytes.size());
    return o;
  }
  void call(int which) override { invoke(which); }

 private:
  IppStatus invoke(int which) {
    return fn(which)(in_.refF.data() + 1, in_.stepF, in_.residual.data(), in_.residualStep,
                     canvas_.at(), canvas_.step, in_.typeF, in_.rounding);
  }
  int w_, h_;
  McInput in_;
  Canvas canvas_;
};

class McTwoCheck : public TypedCheck<McTwoFn> {
 public:
  McTwoCheck(const char* name, McTwoFn* const* slots, McTwoFn* generic, int w, int h)
      : TypedCheck(name, slots, generic), w_(w), h_(h) {}
  void prepare(std::mt19937& random) override {
    in_.randomise(random, w_, h_);
    canvas_.shape(random, w_, h_);
  }
  Outcome run(int which) override {
    canvas_.reset();
    Outcome o;
    append(o, invoke(which));
    appendBytes(o, canvas_.bytes.data(), canvas_.bytes.size());
    return o;
  }
  void call(int which) override { invoke(which); }

 private:
  IppStatus invoke(int which) {
    return fn(which)(in_.refF.data() + 1, in_.stepF, in_.typeF, in_.refB.data(), in_.stepB,
                     in_.typeB, in_.residual.data(), in_.residualStep, canvas_.at(), canvas_.step,
                     in_.rounding);
  }
  int w_, h_;
  McInput in_;
  Canvas canvas_;
};

// ---- Copies ----

class Copy2dCheck : public TypedCheck<Copy2dFn> {
 public:
  Copy2dCheck() : TypedCheck("ippiCopy_8u_C1R", gPrimitiveTables.copy2d, &generic::copy2d) {}
  void prepare(std::mt19937& random) override {
    size_ = {int(random() % 40) - 1, int(random() % 20) - 1};  // -1 and 0 included
    const int w = std::max(size_.width, 1), h = std::max(size_.height, 1);
    srcStep_ = random() % 3 == 0 ? w : w + int(random() % 9);
    if (random() % 16 == 0) srcStep_ = 0;
    source_.resize(size_t(srcStep_ + w) * size_t(h + 1));
    for (Ipp8u& b : source_) b = Ipp8u(random());
    canvas_.shape(random, w, h);
  }
  Outcome run(int which) override {
    canvas_.reset();
    Outcome o;
    append(o, fn(which)(source_.data(), srcStep_, canvas_.at(), canvas_.step, size_));
    appendBytes(o, canvas_.bytes.data(), canvas_.bytes.size());
    return o;
  }
  void call(int which) override {
    fn(which)(source_.data(), srcStep_, canvas_.at(), canvas_.step, size_);
  }

 private:
  IppiSize size_{};
  int srcStep_ = 0;
  std::vector<Ipp8u> source_;
  Canvas canvas_;
};

class Copy1dCheck : public TypedCheck<Copy1dFn> {
 public:
  Copy1dCheck() : TypedCheck("ippsCopy_8u", gPrimitiveTables.copy1d, &generic::copy1d) {}
  void prepare(std::mt19937& random) override {
    length_ = int(random() % 3000) - 1;
    source_.resize(size_t(std::max(length_, 1)));
    for (Ipp8u& b : source_) b = Ipp8u(random());
    canvas_.shape(random, std::max(length_, 1), 1);
  }
  Outcome run(int which) override {
    canvas_.reset();
    Outcome o;
    append(o, fn(which)(source_.data(), canvas_.at(), length_));
    appendBytes(o, canvas_.bytes.data(), canvas_.bytes.size());
    return o;
  }
  void call(int which) override { fn(which)(source_.data(), canvas_.at(), length_); }

 private:
  int length_ = 0;
  std::vector<Ipp8u> source_;
  Canvas canvas_;
};

std::vector<std::unique_ptr<Check>> allChecks(SlotTables& tables) {
  std::vector<std::unique_ptr<Check>> c;
  c.push_back(std::make_unique<BuildCheck>(false));
  c.push_back(std::make_unique<BuildCheck>(true));
  c.push_back(std::make_unique<DecodeCheck>(tables));
  c.push_back(std::make_unique<FreeCheck>());
  c.push_back(std::make_unique<NonIntraCheck>(tables));
  c.push_back(std::make_unique<IntraCheck>(tables));
  c.push_back(std::make_unique<IdctShortCheck>());
  c.push_back(std::make_unique<IdctByteCheck>());
#define QUARLIN_MC_CHECKS(W, H)                                                                 \
  c.push_back(std::make_unique<McOneCheck>(                                                     \
      "ippiMC" #W "x" #H "_8u_C1", gPrimitiveTables.mc##W##x##H, &generic::mc##W##x##H, W, H)); \
  c.push_back(std::make_unique<McTwoCheck>("ippiMC" #W "x" #H "B_8u_C1",                        \
                                           gPrimitiveTables.mc##W##x##H##B,                     \
                                           &generic::mc##W##x##H##B, W, H));
  QUARLIN_MC_CHECKS(16, 16)
  QUARLIN_MC_CHECKS(16, 8)
  QUARLIN_MC_CHECKS(8, 16)
  QUARLIN_MC_CHECKS(8, 8)
  QUARLIN_MC_CHECKS(8, 4)
  QUARLIN_MC_CHECKS(4, 8)
  QUARLIN_MC_CHECKS(4, 4)
  QUARLIN_MC_CHECKS(4, 2)
#undef QUARLIN_MC_CHECKS
  c.push_back(std::make_unique<Copy2dCheck>());
  c.push_back(std::make_unique<Copy1dCheck>());
  return c;
}

// Slots holding a distinct non-generic function, first slot of each.
std::vector<int> variantSlots(const Check& check) {
  std::vector<int> slots;
  std::set<const void*> seen = {check.implementation(kGeneric), nullptr};
  for (int slot = kSlotGeneric; slot < kDispatchSlotCount; ++slot) {
    if (seen.insert(check.implementation(slot)).second) slots.push_back(slot);
  }
  return slots;
}

size_t firstDifference(const Outcome& a, const Outcome& b) {
  size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
  return i;
}

void compare(Check& check, int slot, const HarnessOptions& options, HarnessReport& report) {
  std::mt19937 random(options.seed);
  for (int round = 0; round < options.rounds; ++round) {
    check.prepare(random);
    const Outcome expected = check.run(kGeneric);
    const Outcome actual = check.run(slot);
    if (expected != actual) {
      std::ostringstream line;
      line << check.name() << " slot " << slot << ": output differs from the generic"
           << " implementation at byte " << firstDifference(expected, actual) << " in round "
           << round << " (seed " << options.seed << ")";
      report.failures.push_back(line.str());
      if (options.log) *options.log << "FAIL " << line.str() << "\n";
      return;
    }
  }
}

double nanosecondsPerCall(Check& check, int which) {
  using Clock = std::chrono::steady_clock;
  int calls = 0;
  const Clock::time_point start = Clock::now();
  Clock::time_point now = start;
  while (now - start < std::chrono::milliseconds(30)) {
    for (int i = 0; i < 64; ++i) check.call(which);
    calls += 64;
    now = Clock::now();
  }
  return std::chrono::duration<double, std::nano>(now - start).count() / calls;
}

void bench(Check& check, const std::vector<int>& slots, const HarnessOptions& options) {
  std::mt19937 random(options.seed);
  check.prepare(random);
  std::ostringstream line;
  line << check.name() << ": generic " << nanosecondsPerCall(check, kGeneric) << " ns";
  for (int slot : slots)
    line << ", slot " << slot << " " << nanosecondsPerCall(check, slot) << " ns";
  *options.log << line.str() << "\n";
}

}  // namespace

HarnessReport runVariantChecks(const HarnessOptions& options) {
  HarnessReport report;
  SlotTables tables;
  for (const std::unique_ptr<Check>& check : allChecks(tables)) {
    const std::vector<int> slots = variantSlots(*check);
    for (int slot : slots) {
      ++report.implementationsChecked;
      compare(*check, slot, options, report);
    }
    if (options.bench && options.log) bench(*check, slots, options);
  }
  return report;
}

}  // namespace quarlin::test
