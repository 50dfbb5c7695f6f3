// POSIX backend of the locks, events and atomic counts.
#include "platform/sync.h"

#include <pthread.h>
#include <time.h>

#include <cerrno>

namespace quarlin::platform {

struct CriticalSection::Impl {
  pthread_mutex_t mutex;
};

CriticalSection::CriticalSection() : impl_(new Impl) {
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
  pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&impl_->mutex, &attributes);
  pthread_mutexattr_destroy(&attributes);
}

CriticalSection::~CriticalSection() {
  pthread_mutex_destroy(&impl_->mutex);
  delete impl_;
}

void CriticalSection::enter() { pthread_mutex_lock(&impl_->mutex); }
bool CriticalSection::tryEnter() { return pthread_mutex_trylock(&impl_->mutex) == 0; }
void CriticalSection::leave() { pthread_mutex_unlock(&impl_->mutex); }

// All events share one mutex and condition variable so that waitForAll can
// wait for several of them at once.
namespace {
pthread_mutex_t eventMutex = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t eventChanged = PTHREAD_COND_INITIALIZER;

// Absolute deadline for a relative time-out on CLOCK_REALTIME.
timespec deadlineAfter(int32_t timeoutMs) {
  timespec t;
  clock_gettime(CLOCK_REALTIME, &t);
  t.tv_sec += timeoutMs / 1000;
  t.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
  if (t.tv_nsec >= 1000000000L) {
    t.tv_sec += 1;
    t.tv_nsec -= 1000000000L;
  }
  return t;
}

// After a fork only the forking thread exists in the child: the condition
// may still count the parent's waiting threads, which would never wake
// again. The child starts both afresh (nothing else runs there yet).
void renewAfterFork() {
  eventMutex = PTHREAD_MUTEX_INITIALIZER;
  eventChanged = PTHREAD_COND_INITIALIZER;
}
[[maybe_unused]] const int renewRegistered = pthread_atfork(nullptr, nullptr, renewAfterFork);

// Waits on the shared condition; false once the deadline has passed.
bool waitChange(bool forever, const timespec& deadline) {
  if (forever) return pthread_cond_wait(&eventChanged, &eventMutex) == 0;
  return pthread_cond_timedwait(&eventChanged, &eventMutex, &deadline) != ETIMEDOUT;
}
}  // namespace

struct Event::Impl {
  bool signalled = false;
};

Event::Event() : impl_(new Impl) {}
Event::~Event() { delete impl_; }

void Event::set() {
  pthread_mutex_lock(&eventMutex);
  impl_->signalled = true;
  pthread_cond_broadcast(&eventChanged);
  pthread_mutex_unlock(&eventMutex);
}

bool Event::wait(int32_t timeoutMs) {
  Event* self = this;
  return waitForAll(&self, 1, timeoutMs);
}

bool waitForAll(Event* const* events, int count, int32_t timeoutMs) {
  const bool forever = timeoutMs < 0;
  const timespec deadline = forever ? timespec{} : deadlineAfter(timeoutMs);
  pthread_mutex_lock(&eventMutex);
  for (;;) {
    bool all = true;
    for (int i = 0; i < count; ++i) all = all && events[i]->impl_->signalled;
    if (all) break;
    if (!waitChange(forever, deadline)) {
      pthread_mutex_unlock(&eventMutex);
      return false;
    }
  }
  // Auto-reset: a satisfied wait consumes every event it waited for.
  for (int i = 0; i < count; ++i) events[i]->impl_->signalled = false;
  pthread_mutex_unlock(&eventMutex);
  return true;
}

int32_t interlockedIncrement(volatile int32_t* value) {
  return __atomic_add_fetch(value, 1, __ATOMIC_ACQ_REL);
}

int32_t interlockedDecrement(volatile int32_t* value) {
  return __atomic_sub_fetch(value, 1, __ATOMIC_ACQ_REL);
}

}  // namespace quarlin::platform
