// Runs two functions of one primitive's signature on the same random and
// edge-range inputs (as dav1d's checkasm does) to compare their outputs,
// status codes and stream positions byte for byte: every variant in the
// dispatch slots (a new one needs nothing here) against the generic one, and
// the generic ones against references.
#pragma once
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "primitives/dispatch_tables.h"
#include "primitives/vlc_table_set.h"

namespace quarlin::test {

// One call of a primitive on inputs from `random`, all it produced in `out`;
// decode tables from the builders of `which` (0 generic, 1..4 a slot).
struct Run {
  int which;
  std::string_view name;
  std::mt19937& random;
  std::vector<uint8_t> out = {};
  template <typename... T>
  void add(const T&... values) {
    (bytes(&values, sizeof values), ...);
  }
  void bytes(const void* p, size_t n) { out.insert(out.end(), (const uint8_t*)p, (const uint8_t*)p + n); }
  void bytes(const std::vector<uint8_t>& v) { bytes(v.data(), v.size()); }
};

#define QUARLIN_DECLARE_EXERCISE(member, Type, entry) void exercise(Type* f, Run& r);
QUARLIN_PRIMITIVE_LIST(QUARLIN_DECLARE_EXERCISE)
#undef QUARLIN_DECLARE_EXERCISE

// The slot of a decode table the exercises built.
VlcSlot slotOf(const IppVCHuffmanSpec_32s* table);

// Empty, or where the outputs first differ in `rounds` rounds.
std::string compareRuns(std::string_view name, const std::function<void(Run&)>& expected,
                        const std::function<void(Run&)>& actual, uint32_t seed, int rounds, int actualWhich = 0);
template <typename Fn>
std::string compareFunctions(std::string_view name, Fn* expected, Fn* actual, int rounds) {
  return compareRuns(
      name, [=](Run& r) { exercise(expected, r); }, [=](Run& r) { exercise(actual, r); }, 1, rounds);
}

}  // namespace quarlin::test
