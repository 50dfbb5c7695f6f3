// Locks, events and atomic counts.
#pragma once
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
  struct Impl;
  Impl* impl_;
};

// Waits until every event of the set has been signalled (each is consumed).
// An event has at most one waiting thread at a time.
// timeoutMs < 0 waits forever. False on time-out.
bool waitForAll(Event* const* events, int count, int32_t timeoutMs);

// Interlocked counts: return the new value.
int32_t interlockedIncrement(volatile int32_t* value);
int32_t interlockedDecrement(volatile int32_t* value);

}  // namespace quarlin::platform
