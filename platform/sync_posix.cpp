// POSIX backend of the locks, events and atomic counts.
#include "platform/sync.h"

#include <pthread.h>
#include <sched.h>
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

// Each event has its own mutex and condition, so that setting one wakes only
// the thread waiting for it (a shared condition woke every waiting worker
// and the dispatcher on every set, twice per worker and picture). An event
// has at most one waiter: the slice pool's start and done events each have
// one.
namespace {

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

}  // namespace

struct Event::Impl {
  pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t changed = PTHREAD_COND_INITIALIZER;
  bool signalled = false;

  // Waits until signalled without consuming it; false once the deadline
  // has passed.
  bool awaitSignal(bool forever, const timespec& deadline) {
    pthread_mutex_lock(&mutex);
    bool ok = true;
    while (!signalled && ok) {
      ok = forever ? pthread_cond_wait(&changed, &mutex) == 0
                   : pthread_cond_timedwait(&changed, &mutex, &deadline) != ETIMEDOUT;
    }
    ok = signalled;
    pthread_mutex_unlock(&mutex);
    return ok;
  }

  void consume() {
    pthread_mutex_lock(&mutex);
    signalled = false;
    pthread_mutex_unlock(&mutex);
  }
};

Event::Event() : impl_(new Impl) {}

Event::~Event() {
  pthread_cond_destroy(&impl_->changed);
  pthread_mutex_destroy(&impl_->mutex);
  delete impl_;
}

void Event::set() {
  pthread_mutex_lock(&impl_->mutex);
  impl_->signalled = true;
  pthread_cond_signal(&impl_->changed);
  pthread_mutex_unlock(&impl_->mutex);
}

bool Event::wait(int32_t timeoutMs) {
  Event* self = this;
  return waitForAll(&self, 1, timeoutMs);
}

// Waits for each event in turn, then consumes them all: a time-out consumes
// nothing, as with one wait for the whole set (each event has one waiter,
// so none is taken in between).
bool waitForAll(Event* const* events, int count, int32_t timeoutMs) {
  const bool forever = timeoutMs < 0;
  const timespec deadline = forever ? timespec{} : deadlineAfter(timeoutMs);
  for (int i = 0; i < count; ++i)
    if (!events[i]->impl_->awaitSignal(forever, deadline)) return false;
  for (int i = 0; i < count; ++i) events[i]->impl_->consume();
  return true;
}

// Unloading waits for the library's threads to end here, so the two steps
// need not be one.
void setAndWait(Event& toSet, Event& toWait) {
  toSet.set();
  toWait.wait();
}

void setAndWaitSpinning(Event& toSet, Event& toWait, const std::atomic<uint32_t>& watched,
                        uint32_t unchanged, std::chrono::microseconds spin) {
  toSet.set();
  using Clock = std::chrono::steady_clock;
  const Clock::time_point until = Clock::now() + spin;
  // Yielding, not pausing: where more threads than processors are ready
  // (a host busy elsewhere, more parts than processors), they run first.
  while (watched.load(std::memory_order_relaxed) == unchanged && Clock::now() < until) sched_yield();
  toWait.wait();
}

int32_t interlockedIncrement(volatile int32_t* value) {
  return __atomic_add_fetch(value, 1, __ATOMIC_ACQ_REL);
}

int32_t interlockedDecrement(volatile int32_t* value) {
  return __atomic_sub_fetch(value, 1, __ATOMIC_ACQ_REL);
}

}  // namespace quarlin::platform
