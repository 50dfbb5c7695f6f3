// Checks every processor-specific implementation of a primitive against the
// generic one, in the manner of dav1d's checkasm: for each dispatch slot that
// holds a function other than the generic implementation, both run on the
// same random inputs and must produce bit-identical outputs, status codes and
// stream positions. Optionally measures nanoseconds per call.
#pragma once
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "primitives/dispatch_tables.h"

namespace quarlin::test {

struct HarnessOptions {
  uint32_t seed = 1;
  int rounds = 200;             // random inputs per implementation
  bool bench = false;           // also time every implementation, generic included
  std::ostream* log = nullptr;  // failures and timings; null for silence
};

struct HarnessReport {
  int implementationsChecked = 0;  // distinct non-generic slot functions compared
  std::vector<std::string> failures;
};

HarnessReport runVariantChecks(const HarnessOptions& options);

// Replaces one dispatch slot for the lifetime of the object (tests only).
template <typename Fn>
class SlotOverride {
 public:
  SlotOverride(Fn** slots, int slot, Fn* replacement) : slot_(&slots[slot]), saved_(*slot_) {
    *slot_ = replacement;
  }
  ~SlotOverride() { *slot_ = saved_; }
  SlotOverride(const SlotOverride&) = delete;
  SlotOverride& operator=(const SlotOverride&) = delete;

 private:
  Fn** slot_;
  Fn* saved_;
};

}  // namespace quarlin::test
