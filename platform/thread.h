// Threads.
#pragma once
#include <cstdint>

namespace quarlin::platform {

using ThreadProcedure = uint32_t (*)(void* argument);

struct ThreadHandle {
  void* impl = nullptr;
  bool valid() const { return impl != nullptr; }
};

enum class ThreadPriority { Normal, BelowNormal };

// Starts a thread running procedure(argument). `name` (UTF-16, may be null)
// is given to the system for diagnostics. An invalid handle on failure.
ThreadHandle createThread(ThreadProcedure procedure, void* argument, const char16_t* name,
                          ThreadPriority priority = ThreadPriority::Normal);
// Waits until every thread has ended; timeoutMs < 0 waits forever.
// False on time-out.
bool waitForThreads(const ThreadHandle* threads, int count, int32_t timeoutMs);
// True when unloading the library is ending `thread` inside its wait
// (Windows: library_entry_win32.h; never elsewhere). Such a thread must not
// be woken: it would run the library's code while the code is unmapped.
bool endingWithUnload(const ThreadHandle& thread);
// Releases the handle; a thread still running goes on, detached.
void closeThread(ThreadHandle& thread);

// Number of processors this process may run on: its affinity mask, not
// every processor of the machine (at least 1).
int32_t processorCount();

// Calls `handler` in the child process after a fork (which copies only the
// forking thread: other threads of the library do not exist there). The
// handler may only set flags. Systems without fork never call it.
void onForkChild(void (*handler)());

}  // namespace quarlin::platform
