// Win32 backend of the locks, events and atomic counts.
#include <windows.h>

#include "platform/library_entry_win32.h"
#include "platform/sync.h"

namespace quarlin::platform {

struct CriticalSection::Impl {
  CRITICAL_SECTION section;
};

CriticalSection::CriticalSection() : impl_(new Impl) { InitializeCriticalSection(&impl_->section); }

CriticalSection::~CriticalSection() {
  DeleteCriticalSection(&impl_->section);
  delete impl_;
}

void CriticalSection::enter() { EnterCriticalSection(&impl_->section); }
bool CriticalSection::tryEnter() { return TryEnterCriticalSection(&impl_->section) != FALSE; }
void CriticalSection::leave() { LeaveCriticalSection(&impl_->section); }

struct Event::Impl {
  HANDLE event;
};

Event::Event() : impl_(new Impl{CreateEventW(nullptr, FALSE, FALSE, nullptr)}) {}

Event::~Event() {
  if (impl_->event) CloseHandle(impl_->event);
  delete impl_;
}

void Event::set() { SetEvent(impl_->event); }

bool Event::wait(int32_t timeoutMs) {
  Event* self = this;
  return waitForAll(&self, 1, timeoutMs);
}

bool waitForAll(Event* const* events, int count, int32_t timeoutMs) {
  // A wait for all objects consumes the auto-reset events only together; a
  // time-out consumes none. Larger sets are waited for in groups.
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs < 0 ? 0 : timeoutMs);
  // The library's own threads wait alertably, so that unloading can end them
  // (library_entry_win32.h); the host's threads wait as they are.
  const BOOL alertable = win32::onLibraryThread() ? TRUE : FALSE;
  for (int first = 0; first < count; first += MAXIMUM_WAIT_OBJECTS) {
    HANDLE handles[MAXIMUM_WAIT_OBJECTS];
    const int n = count - first < MAXIMUM_WAIT_OBJECTS ? count - first : MAXIMUM_WAIT_OBJECTS;
    for (int i = 0; i < n; ++i) handles[i] = events[first + i]->impl_->event;
    for (;;) {
      DWORD wait = INFINITE;
      if (timeoutMs >= 0) {
        const ULONGLONG now = GetTickCount64();
        wait = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
      }
      const DWORD r = WaitForMultipleObjectsEx(static_cast<DWORD>(n), handles, TRUE, wait, alertable);
      if (r == WAIT_IO_COMPLETION) continue;
      if (r >= WAIT_OBJECT_0 + static_cast<DWORD>(n)) return false;
      break;
    }
  }
  return true;
}

void setAndWait(Event& toSet, Event& toWait) {
  const BOOL alertable = win32::onLibraryThread() ? TRUE : FALSE;
  DWORD r = SignalObjectAndWait(toSet.impl_->event, toWait.impl_->event, INFINITE, alertable);
  while (r == WAIT_IO_COMPLETION) r = WaitForSingleObjectEx(toWait.impl_->event, INFINITE, alertable);
}

// The unload ends the library's threads inside their waits (sync.h): no
// spinning between the set and the wait.
void setAndWaitSpinning(Event& toSet, Event& toWait, const std::atomic<uint32_t>&, uint32_t,
                        std::chrono::microseconds) {
  setAndWait(toSet, toWait);
}

int32_t interlockedIncrement(volatile int32_t* value) {
  return InterlockedIncrement(reinterpret_cast<volatile LONG*>(value));
}

int32_t interlockedDecrement(volatile int32_t* value) {
  return InterlockedDecrement(reinterpret_cast<volatile LONG*>(value));
}

}  // namespace quarlin::platform
