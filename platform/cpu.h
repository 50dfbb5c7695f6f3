// Processor identification.
#pragma once
#include <cstdint>

namespace quarlin::platform {

struct CpuidResult {
  uint32_t eax, ebx, ecx, edx;
};

// CPUID with the given function; all zero where the instruction is absent.
CpuidResult cpuid(uint32_t function);

}  // namespace quarlin::platform
