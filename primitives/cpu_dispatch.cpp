// Selection of the processor-specific primitive implementations, once per
// process when the library is loaded.
#include "primitives/cpu_dispatch.h"

#include "platform/cpu.h"

namespace quarlin {

int32_t CpuDispatchIndex = 1;
bool CpuHasSse2 = false;

namespace {

constexpr uint32_t kCpuidFeatureFunction = 1;
constexpr uint32_t kEdxSse2 = 1u << 26;

// Processor type codes: 0..4 unknown/Pentium/Pentium MMX/Pentium Pro/Pentium II,
// 5 Pentium III, 6 Pentium 4, 7 Pentium 4 with Hyper-Threading, 8 Pentium 4
// with SSE3, 9 Pentium M.
constexpr int32_t kTypePentium = 1;
constexpr int32_t kTypePentiumII = 4;
constexpr int32_t kTypePentiumIII = 5;
constexpr int32_t kTypePentium4 = 6;

bool gSelectionDone = false;
IppStatus gSelectionStatus = ippStsNoErr;

// CPUID is asked once; the answer is kept for any later use.
uint32_t processorFeatureFlags() {
  static const uint32_t edx = platform::cpuid(kCpuidFeatureFunction).edx;
  return edx;
}

// Tries the processor types in order until one is accepted.
IppStatus selectFirstAccepted(int32_t first, int32_t second, int32_t third) {
  IppStatus status = selectProcessorType(first);
  if (status != ippStsNoErr) status = selectProcessorType(second);
  if (status != ippStsNoErr) status = selectProcessorType(third);
  return status;
}

}  // namespace

IppStatus selectProcessorType(int32_t typeCode) {
  int32_t index;
  switch (typeCode) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 4:
      index = 1;
      break;
    case 5:
      index = 2;
      break;
    case 6:
    case 7:
    case 9:
      index = 3;
      break;
    case 8:
      index = 4;
      break;
    default:
      return ippStsWrongProcessor;
  }
  CpuDispatchIndex = index;
  return ippStsNoErr;
}

IppStatus selectPrimitivesForFeatures(uint32_t cpuidEdx) {
  CpuHasSse2 = (cpuidEdx & kEdxSse2) != 0;
  if (CpuHasSse2) return selectFirstAccepted(kTypePentium4, kTypePentiumII, kTypePentium);
  return selectFirstAccepted(kTypePentiumIII, kTypePentiumII, kTypePentium);
}

IppStatus selectPrimitives() {
  if (gSelectionDone) return gSelectionStatus;
  gSelectionStatus = selectPrimitivesForFeatures(processorFeatureFlags());
  gSelectionDone = true;
  return gSelectionStatus;
}

}  // namespace quarlin
