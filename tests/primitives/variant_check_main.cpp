// Runs the variant harness: every processor-specific primitive against the
// generic one on random inputs. Options: --seed=N (default: from the clock,
// printed), --rounds=N, --bench (nanoseconds per call for every
// implementation). Exits non-zero on any mismatch.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "variant_harness.h"

int main(int argc, char** argv) {
  quarlin::test::HarnessOptions options;
  options.seed = static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count() &
                                       0xFFFFFFFF);
  options.log = &std::cout;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--seed=", 0) == 0) {
      options.seed = static_cast<uint32_t>(std::strtoul(arg.c_str() + 7, nullptr, 10));
    } else if (arg.rfind("--rounds=", 0) == 0) {
      options.rounds = std::atoi(arg.c_str() + 9);
    } else if (arg == "--bench") {
      options.bench = true;
    } else {
      std::cerr << "usage: " << argv[0] << " [--seed=N] [--rounds=N] [--bench]\n";
      return 2;
    }
  }
  std::cout << "seed: " << options.seed << "\n";
  const quarlin::test::HarnessReport report = quarlin::test::runVariantChecks(options);
  const int failed = static_cast<int>(report.failures.size());
  std::cout << "variants checked: " << report.implementationsChecked << "\n";
  std::cout << "checks: " << report.implementationsChecked - failed << " passed, " << failed
            << " failed\n";
  return failed == 0 ? 0 : 1;
}
