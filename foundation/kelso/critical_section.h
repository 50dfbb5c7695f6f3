// The foundation library's lock: process-local and recursive, with a scoped
// holder.
#pragma once
#include "platform/sync.h"

namespace Kelso {

class CriticalSection {
 public:
  CriticalSection() = default;
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  void Enter();
  // True when the lock was taken (or is already held by this thread).
  bool TryEnter();
  void Leave();

 private:
  quarlin::platform::CriticalSection lock_;
};

// Holds `section` from construction to destruction.
class CriticalSectionLock {
 public:
  explicit CriticalSectionLock(CriticalSection& section);
  ~CriticalSectionLock();
  CriticalSectionLock(const CriticalSectionLock&) = delete;
  CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

 private:
  CriticalSection& section_;
};

}  // namespace Kelso
