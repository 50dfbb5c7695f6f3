// Processor identification through the CPUID instruction.
#include "platform/cpu.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace quarlin::platform {

CpuidResult cpuid(uint32_t function, uint32_t subfunction) {
  CpuidResult r{0, 0, 0, 0};
#if defined(__i386__) || defined(__x86_64__)
  if (function > static_cast<uint32_t>(__get_cpuid_max(function & 0x80000000u, nullptr))) return r;
  __cpuid_count(function, subfunction, r.eax, r.ebx, r.ecx, r.edx);
#else
  (void)function;
  (void)subfunction;
#endif
  return r;
}

uint32_t savedRegisterStates() {
#if defined(__i386__) || defined(__x86_64__)
  constexpr uint32_t kEcxOsxsave = 1u << 27;
  if ((cpuid(1).ecx & kEcxOsxsave) == 0) return 0;
  uint32_t low = 0, high = 0;
  __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  return low;
#else
  return 0;
#endif
}

}  // namespace quarlin::platform
