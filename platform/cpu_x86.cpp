// Processor identification through the CPUID instruction.
#include "platform/cpu.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace quarlin::platform {

CpuidResult cpuid(uint32_t function) {
  CpuidResult r{0, 0, 0, 0};
#if defined(__i386__) || defined(__x86_64__)
  if (function > static_cast<uint32_t>(__get_cpuid_max(function & 0x80000000u, nullptr))) return r;
  __cpuid(function, r.eax, r.ebx, r.ecx, r.edx);
#else
  (void)function;
#endif
  return r;
}

}  // namespace quarlin::platform
