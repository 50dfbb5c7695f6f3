// Win32 backend of fault containment. GCC has no structured exception
// handling blocks, so a vectored exception handler does their work: each
// runCatchingFaults call leaves a recovery point (a register snapshot of
// __builtin_setjmp) in the thread's storage; the handler, for a processor
// fault on a thread with a recovery point, points the faulting thread at a
// function that jumps back to it, and lets the thread go on. The jump leaves
// the system's exception dispatch first (the thread has returned from the
// handler), and restores only the registers: no frame between the recovery
// point and the fault is unwound. Every other exception (the C++ runtime's
// own among them) and faults on threads without a recovery point are left
// to the handlers that follow.
#include <windows.h>

#include "platform/fault_guard.h"
#include "platform/library_entry_win32.h"

namespace quarlin::platform {
namespace {

struct RecoveryPoint {
  void* registers[5];  // __builtin_setjmp's buffer
  RecoveryPoint* outer;
};

// Taken at first use, given back at unload.
DWORD& recoverySlot() {
  static DWORD slot = TlsAlloc();
  return slot;
}
RecoveryPoint* innermost() { return static_cast<RecoveryPoint*>(TlsGetValue(recoverySlot())); }

[[noreturn]] void resumeAtRecoveryPoint() { __builtin_longjmp(innermost()->registers, 1); }

bool isProcessorFault(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
      return true;
    default:
      return false;
  }
}

// The thread's recovery point for a processor fault; null when the fault is
// not the library's to catch. Leaves the thread's last-error value as the
// fault found it (reading thread storage clears it).
RecoveryPoint* recoveryFor(DWORD code) {
  if (!isProcessorFault(code) || recoverySlot() == TLS_OUT_OF_INDEXES) return nullptr;
  const DWORD lastError = GetLastError();
  RecoveryPoint* point = innermost();
  SetLastError(lastError);
  return point;
}

LONG CALLBACK onException(EXCEPTION_POINTERS* exception) {
  if (!recoveryFor(exception->ExceptionRecord->ExceptionCode)) return EXCEPTION_CONTINUE_SEARCH;
  // Continue in resumeAtRecoveryPoint as if it had been called: the stack
  // pointer aligned as a call leaves it.
  CONTEXT* context = exception->ContextRecord;
#if defined(_WIN64)
  context->Rsp = (context->Rsp & ~static_cast<DWORD64>(15)) - 8;
  context->Rip = reinterpret_cast<DWORD64>(&resumeAtRecoveryPoint);
#else
  context->Esp = (context->Esp & ~static_cast<DWORD>(15)) - 4;
  context->Eip = reinterpret_cast<DWORD>(&resumeAtRecoveryPoint);
#endif
  return EXCEPTION_CONTINUE_EXECUTION;
}

void* handler = nullptr;

void install() {
  if (!handler) handler = AddVectoredExceptionHandler(1, onException);
}

}  // namespace

int32_t runCatchingFaults(int32_t (*body)(void* context), void* context, int32_t faultResult) {
  // A program that links the library statically has no entry point call.
  static const bool installed = (install(), true);
  (void)installed;
  if (recoverySlot() == TLS_OUT_OF_INDEXES) return body(context);
  RecoveryPoint point;
  point.outer = innermost();
  if (__builtin_setjmp(point.registers)) {
    TlsSetValue(recoverySlot(), point.outer);
    return faultResult;
  }
  TlsSetValue(recoverySlot(), &point);
  const int32_t result = body(context);
  TlsSetValue(recoverySlot(), point.outer);
  return result;
}

namespace win32 {

void startFaultContainment() { install(); }

void stopFaultContainment() {
  if (handler) RemoveVectoredExceptionHandler(handler);
  handler = nullptr;
  if (recoverySlot() != TLS_OUT_OF_INDEXES) TlsFree(recoverySlot());
  recoverySlot() = TLS_OUT_OF_INDEXES;
}

}  // namespace win32
}  // namespace quarlin::platform
