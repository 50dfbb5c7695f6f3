// Selection of the processor-specific primitive implementations, once per
// process when the library is loaded.
#include "primitives/cpu_dispatch.h"

#include "platform/cpu.h"
#include "primitives/dispatch_tables.h"

namespace quarlin {

int32_t CpuDispatchIndex = 1;
bool CpuHasSse2 = false;
bool CpuHasAvx2 = false;

namespace {

constexpr uint32_t kCpuidFeatureFunction = 1;
constexpr uint32_t kCpuidExtendedFeatureFunction = 7;
constexpr uint32_t kEdxSse2 = 1u << 26;
constexpr uint32_t kEcxSse3 = 1u << 0;
constexpr uint32_t kEcxAvx = 1u << 28;
constexpr uint32_t kEbxAvx2 = 1u << 5;            // function 7, sub-function 0
constexpr uint32_t kSavedSseAndAvxStates = 0x6;  // XCR0 bits 1 and 2

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
const platform::CpuidResult& processorFeatures() {
  static const platform::CpuidResult features = platform::cpuid(kCpuidFeatureFunction);
  return features;
}

// AVX2 instructions, and an operating system that saves the registers they use.
bool processorRunsAvx2() {
  static const bool avx2 = (processorFeatures().ecx & kEcxAvx) != 0 &&
                           (platform::cpuid(kCpuidExtendedFeatureFunction).ebx & kEbxAvx2) != 0 &&
                           (platform::savedRegisterStates() & kSavedSseAndAvxStates) == kSavedSseAndAvxStates;
  return avx2;
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

IppStatus selectPrimitivesForFeatures(uint32_t cpuidEdx, bool avx2) {
  CpuHasSse2 = (cpuidEdx & kEdxSse2) != 0;
  CpuHasAvx2 = CpuHasSse2 && avx2;
  if (!CpuHasSse2) return selectFirstAccepted(kTypePentiumIII, kTypePentiumII, kTypePentium);
  const IppStatus status = selectFirstAccepted(kTypePentium4, kTypePentiumII, kTypePentium);
  if (CpuHasAvx2 && CpuDispatchIndex == kSlotSse2) CpuDispatchIndex = kSlotAvx2;
  return status;
}

bool dispatchSlotRunsHere(int32_t slot) {
  const platform::CpuidResult& features = processorFeatures();
  switch (slot) {
    case kSlotGeneric:
    case kSlotSse:  // holds no code that needs more than the baseline
      return true;
    case kSlotSse2:
      return (features.edx & kEdxSse2) != 0;
    case kSlotSse3:
      return (features.edx & kEdxSse2) != 0 && (features.ecx & kEcxSse3) != 0;
    case kSlotAvx2:
      return (features.edx & kEdxSse2) != 0 && processorRunsAvx2();
    default:
      return false;
  }
}

int32_t forceDispatchSlot(int32_t slot) {
  if (!dispatchSlotRunsHere(slot)) return -1;
  const int32_t replaced = CpuDispatchIndex;
  CpuDispatchIndex = slot;
  return replaced;
}

IppStatus selectPrimitives() {
  if (gSelectionDone) return gSelectionStatus;
  gSelectionStatus = selectPrimitivesForFeatures(processorFeatures().edx, processorRunsAvx2());
  gSelectionDone = true;
  return gSelectionStatus;
}

}  // namespace quarlin
