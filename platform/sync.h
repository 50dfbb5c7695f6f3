// Locks, events and atomic counts.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>

namespace quarlin::platform {

// A process-local recursive lock with try-enter.
class CriticalSection {
 public:
  CriticalSection();
  ~CriticalSection();
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;
  void enter();
  bool tryEnter();
  void leave();

 private:
  struct Impl;
  Impl* impl_;
};

// An unnamed auto-reset event, created non-signalled: set() wakes exactly one
// wait, and a set with no waiter stays pending until the next wait.
class Event {
 public:
  Event();
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;
  void set();
  // Waits for the event; timeoutMs < 0 waits forever. True when signalled.
  bool wait(int32_t timeoutMs = -1);

 private:
  friend bool waitForAll(Event* const* events, int count, int32_t timeoutMs);
  friend void setAndWait(Event& toSet, Event& toWait);
  struct Impl;
  Impl* impl_;
};

// Waits until every event of the set has been signalled (each is consumed).
// An event has at most one waiting thread at a time.
// timeoutMs < 0 waits forever. False on time-out.
bool waitForAll(Event* const* events, int count, int32_t timeoutMs);

// Sets `toSet`, then waits for `toWait` without a time-out, as one step: on
// Windows no instruction of the caller runs between the two, so a thread
// seen to have set `toSet` is already waiting. (An unload ends the library's
// threads only inside their waits, and unmaps the library's code right
// after: library_entry_win32.h.)
void setAndWait(Event& toSet, Event& toWait);

// setAndWait, but where the system allows a step between the two (not on
// Windows), the caller first watches `watched` for up to `spin` while it
// still holds `unchanged`, yielding the processor to any other ready thread:
// a thread that is still running when its next signal comes needs no
// wake-up, which costs tens of microseconds on a virtual machine. For a
// signal expected soon, the value changed just before it.
void setAndWaitSpinning(Event& toSet, Event& toWait, const std::atomic<uint32_t>& watched,
                        uint32_t unchanged, std::chrono::microseconds spin);

// A hint to the processor inside a spin-wait loop (pause on x86).
inline void pauseProcessor() {
#if defined(__i386__) || defined(__x86_64__)
  __builtin_ia32_pause();
#endif
}

// Interlocked counts: return the new value.
int32_t interlockedIncrement(volatile int32_t* value);
int32_t interlockedDecrement(volatile int32_t* value);

}  // namespace quarlin::platform
