// Processor identification.
#pragma once
#include <cstdint>

namespace quarlin::platform {

struct CpuidResult {
  uint32_t eax, ebx, ecx, edx;
};

// CPUID with the given function (and sub-function, for the functions that
// have them, such as 7); all zero where the instruction or function is absent.
CpuidResult cpuid(uint32_t function, uint32_t subfunction = 0);

// The low word of extended control register 0 (which register states the
// operating system saves: bit 1 SSE, bit 2 AVX); 0 where XGETBV is absent
// (CPUID function 1, ECX bit 27, OSXSAVE, clear).
uint32_t savedRegisterStates();

}  // namespace quarlin::platform
