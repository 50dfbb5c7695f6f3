// POSIX backend of threads.
#include "platform/thread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace quarlin::platform {
namespace {

// Shared by the thread and its handle; whichever lets go last frees it.
struct ThreadRecord {
  pthread_t thread{};
  ThreadProcedure procedure = nullptr;
  void* argument = nullptr;
  std::string name;
  bool lowerPriority = false;
  bool finished = false;
  bool joined = false;  // set by the waiter that joined the thread
  int holders = 2;
  pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t ended = PTHREAD_COND_INITIALIZER;
};

void letGo(ThreadRecord* record) {
  pthread_mutex_lock(&record->mutex);
  const bool last = --record->holders == 0;
  pthread_mutex_unlock(&record->mutex);
  if (last) delete record;
}

void* threadStart(void* raw) {
  auto* record = static_cast<ThreadRecord*>(raw);
  if (!record->name.empty()) pthread_setname_np(pthread_self(), record->name.substr(0, 15).c_str());
  // Below normal: one nice step down for this thread only.
  if (record->lowerPriority) setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 1);
  record->procedure(record->argument);
  pthread_mutex_lock(&record->mutex);
  record->finished = true;
  pthread_cond_broadcast(&record->ended);
  pthread_mutex_unlock(&record->mutex);
  letGo(record);
  return nullptr;
}

std::string narrow(const char16_t* name) {
  std::string out;
  for (; name && *name; ++name) out.push_back(*name < 128 ? static_cast<char>(*name) : '?');
  return out;
}

}  // namespace

ThreadHandle createThread(ThreadProcedure procedure, void* argument, const char16_t* name,
                          ThreadPriority priority) {
  auto* record = new ThreadRecord;
  record->procedure = procedure;
  record->argument = argument;
  record->name = narrow(name);
  record->lowerPriority = priority == ThreadPriority::BelowNormal;
  if (pthread_create(&record->thread, nullptr, threadStart, record) != 0) {
    delete record;
    return {};
  }
  return ThreadHandle{record};
}

bool waitForThreads(const ThreadHandle* threads, int count, int32_t timeoutMs) {
  timespec deadline;
  clock_gettime(CLOCK_REALTIME, &deadline);
  if (timeoutMs >= 0) {
    deadline.tv_sec += timeoutMs / 1000;
    deadline.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
      deadline.tv_sec += 1;
      deadline.tv_nsec -= 1000000000L;
    }
  }
  bool all = true;
  for (int i = 0; i < count; ++i) {
    auto* record = static_cast<ThreadRecord*>(threads[i].impl);
    if (!record) continue;
    pthread_mutex_lock(&record->mutex);
    while (!record->finished) {
      const int rc = timeoutMs < 0
                         ? pthread_cond_wait(&record->ended, &record->mutex)
                         : pthread_cond_timedwait(&record->ended, &record->mutex, &deadline);
      if (rc == ETIMEDOUT) break;
    }
    const bool finished = record->finished;
    const bool join = finished && !record->joined;
    if (join) record->joined = true;
    all = all && finished;
    pthread_mutex_unlock(&record->mutex);
    // Past `finished` the thread still runs this file's code; the join
    // returns once it has left it, so the caller may unload the library.
    if (join) pthread_join(record->thread, nullptr);
  }
  return all;
}

// Unloading waits for the library's threads to end here (they are woken to end).
bool endingWithUnload(const ThreadHandle&) { return false; }

void closeThread(ThreadHandle& thread) {
  if (auto* record = static_cast<ThreadRecord*>(thread.impl)) {
    pthread_mutex_lock(&record->mutex);
    const bool joined = record->joined;
    pthread_mutex_unlock(&record->mutex);
    if (!joined) pthread_detach(record->thread);
    letGo(record);
  }
  thread.impl = nullptr;
}

int32_t processorCount() {
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
    const int n = CPU_COUNT(&allowed);
    if (n > 0) return n;
  }
  const long n = sysconf(_SC_NPROCESSORS_ONLN);
  return n > 0 ? static_cast<int32_t>(n) : 1;
}

void onForkChild(void (*handler)()) {
  // Handlers registered from a shared library are dropped when it is
  // unloaded (glibc ties them to the library's handle).
  pthread_atfork(nullptr, nullptr, handler);
}

}  // namespace quarlin::platform
