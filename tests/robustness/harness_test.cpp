// The robustness harness must be able to fail: guards notice a stray byte,
// and mutants are repeatable.
#include <gtest/gtest.h>

#include "tests/robustness/guarded_planes.h"
#include "tests/robustness/mutations.h"

#if defined(__SANITIZE_ADDRESS__)
#define HARNESS_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HARNESS_TEST_ASAN 1
#endif
#endif
#ifdef HARNESS_TEST_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace quarlin::robust {
namespace {

TEST(GuardedPlane, StartsIntactAndAligned) {
  GuardedPlane plane(1000, 0x11);
  EXPECT_TRUE(plane.guardsIntact());
  EXPECT_EQ(reinterpret_cast<uintptr_t>(plane.data()) % 128, 0u);
  for (size_t i = 0; i < plane.size(); ++i) ASSERT_EQ(plane.data()[i], 0x11);
}

#ifdef HARNESS_TEST_ASAN
// Under AddressSanitizer the guards are poisoned: a stray access is reported
// where it happens.
TEST(GuardedPlane, GuardsArePoisoned) {
  GuardedPlane plane(1000, 0);
  EXPECT_TRUE(__asan_address_is_poisoned(plane.data() - 1));
  EXPECT_TRUE(__asan_address_is_poisoned(plane.data() + plane.size()));
  EXPECT_TRUE(__asan_address_is_poisoned(plane.data() + plane.size() + GuardedPlane::kGuard - 1));
  EXPECT_FALSE(__asan_address_is_poisoned(plane.data()));
  EXPECT_FALSE(__asan_address_is_poisoned(plane.data() + plane.size() - 1));
}
#else
TEST(GuardedPlane, NoticesAByteWrittenJustPastEitherEnd) {
  for (const std::ptrdiff_t offset : {std::ptrdiff_t{-1}, std::ptrdiff_t{1000}, std::ptrdiff_t{1000 + 1023}}) {
    GuardedPlane plane(1000, 0);
    plane.data()[offset] ^= 0xFF;
    EXPECT_FALSE(plane.guardsIntact()) << offset;
  }
}
#endif

TEST(Mutations, AreDeterminedByTheirSeed) {
  std::vector<uint8_t> original(5000);
  for (size_t i = 0; i < original.size(); ++i) original[i] = static_cast<uint8_t>(i * 7);
  for (size_t p = 0; p + 4 < original.size(); p += 300) {
    original[p] = 0;
    original[p + 1] = 0;
    original[p + 2] = 1;
    original[p + 3] = p % 600 ? 0x00 : 0xB3;
  }
  for (int k = 0; k < static_cast<int>(MutationKind::Count); ++k) {
    const auto kind = static_cast<MutationKind>(k);
    const Mutant a = makeMutant(original, Container::Elementary, kind, 42);
    const Mutant b = makeMutant(original, Container::Elementary, kind, 42);
    EXPECT_EQ(a.bytes, b.bytes) << mutationName(kind);
    EXPECT_EQ(a.description, b.description) << mutationName(kind);
    EXPECT_NE(a.bytes, original) << mutationName(kind) << ": " << a.description;
  }
}

TEST(Mutations, TruncationShortensAndInsertionLengthens) {
  const std::vector<uint8_t> original(4000, 0x42);
  for (uint64_t seed = 0; seed < 20; ++seed) {
    Random random(seed);
    std::vector<uint8_t> cut = original;
    applyMutation(cut, MutationKind::Truncation, Container::Other, random);
    EXPECT_LT(cut.size(), original.size());
    std::vector<uint8_t> grown = original;
    applyMutation(grown, MutationKind::InsertGarbage, Container::Other, random);
    EXPECT_GT(grown.size(), original.size());
  }
}

TEST(Mutations, TransportChunksAreWholePackets) {
  std::vector<uint8_t> stream(188 * 10);
  for (size_t p = 0; p < stream.size(); p += 188) stream[p] = 0x47;
  for (uint64_t seed = 0; seed < 20; ++seed) {
    Random random(seed);
    std::vector<uint8_t> bytes = stream;
    const std::string what = applyMutation(bytes, MutationKind::DeleteChunk, Container::Transport, random);
    if (bytes.size() % 188 == 0) {
      for (size_t p = 0; p < bytes.size(); p += 188) EXPECT_EQ(bytes[p], 0x47) << what;
    }
  }
}

TEST(Mutations, SeekDataDamageIsRepeatable) {
  std::vector<uint8_t> block(24 + 16 + 32 * 4, 0);
  block[24] = 3;
  block[28] = 4;
  for (uint64_t seed = 0; seed < 30; ++seed) {
    Random a(seed), b(seed);
    std::vector<uint8_t> x = block, y = block;
    EXPECT_EQ(mutateSeekData(x, a), mutateSeekData(y, b));
    EXPECT_EQ(x, y);
  }
}

}  // namespace
}  // namespace quarlin::robust
