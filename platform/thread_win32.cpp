// Win32 backend of threads. Every thread the library starts is listed, so
// that unloading can end them without waiting (library_entry_win32.h).
#include <windows.h>

#include <bit>

#include "platform/library_entry_win32.h"
#include "platform/thread.h"

namespace quarlin::platform {
namespace {

// The handle's side of a thread; freed by closeThread.
struct ThreadRecord {
  HANDLE thread = nullptr;
  bool endedByUnload = false;
  ThreadRecord* next = nullptr;
};

// The thread's side: what it runs. The thread frees it when it starts; one
// ended before it started leaves these few bytes behind.
struct ThreadStart {
  ThreadProcedure procedure;
  void* argument;
};

// Marks the library's threads (non-null); read by their waits. A slot of
// the system's thread storage, taken at first use and given back at unload.
DWORD& librarySlot() {
  static DWORD slot = TlsAlloc();
  return slot;
}

// Live records. Guarded by a lock that is set up on first use and never
// deleted: the list is used from the entry point too.
CRITICAL_SECTION* registryLock() {
  static CRITICAL_SECTION* lock = [] {
    auto* section = new CRITICAL_SECTION;
    InitializeCriticalSection(section);
    return section;
  }();
  return lock;
}
ThreadRecord* registry = nullptr;

DWORD WINAPI threadStart(void* raw) {
  const ThreadStart start = *static_cast<ThreadStart*>(raw);
  delete static_cast<ThreadStart*>(raw);
  TlsSetValue(librarySlot(), reinterpret_cast<void*>(1));
  return start.procedure(start.argument);
}

// Thread descriptions exist from Windows 10 1607 on; looked up, not linked.
void describe(HANDLE thread, const char16_t* name) {
  using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
  static const auto set = reinterpret_cast<SetDescription>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
  if (set && name) set(thread, reinterpret_cast<PCWSTR>(name));
}

}  // namespace

ThreadHandle createThread(ThreadProcedure procedure, void* argument, const char16_t* name,
                          ThreadPriority priority) {
  auto* start = new ThreadStart{procedure, argument};
  // Created suspended, so that its priority is in force before it runs.
  HANDLE thread = CreateThread(nullptr, 0, threadStart, start, CREATE_SUSPENDED, nullptr);
  if (!thread) {
    delete start;
    return {};
  }
  if (priority == ThreadPriority::BelowNormal) SetThreadPriority(thread, THREAD_PRIORITY_BELOW_NORMAL);
  describe(thread, name);
  auto* record = new ThreadRecord{thread};
  EnterCriticalSection(registryLock());
  record->next = registry;
  registry = record;
  LeaveCriticalSection(registryLock());
  ResumeThread(thread);
  return ThreadHandle{record};
}

bool waitForThreads(const ThreadHandle* threads, int count, int32_t timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs < 0 ? 0 : timeoutMs);
  bool all = true;
  for (int i = 0; i < count; ++i) {
    auto* record = static_cast<ThreadRecord*>(threads[i].impl);
    if (!record || record->endedByUnload) continue;
    DWORD wait = INFINITE;
    if (timeoutMs >= 0) {
      const ULONGLONG now = GetTickCount64();
      wait = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
    }
    all = WaitForSingleObject(record->thread, wait) == WAIT_OBJECT_0 && all;
  }
  return all;
}

bool endingWithUnload(const ThreadHandle& thread) {
  const auto* record = static_cast<const ThreadRecord*>(thread.impl);
  return record && record->endedByUnload;
}

void closeThread(ThreadHandle& thread) {
  if (auto* record = static_cast<ThreadRecord*>(thread.impl)) {
    EnterCriticalSection(registryLock());
    for (ThreadRecord** link = &registry; *link; link = &(*link)->next) {
      if (*link == record) {
        *link = record->next;
        break;
      }
    }
    LeaveCriticalSection(registryLock());
    CloseHandle(record->thread);
    delete record;
  }
  thread.impl = nullptr;
}

int32_t processorCount() {
  DWORD_PTR process = 0, system = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process != 0)
    return std::popcount(static_cast<uint64_t>(process));
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors > 0 ? static_cast<int32_t>(info.dwNumberOfProcessors) : 1;
}

// Windows has no fork.
void onForkChild(void (*)()) {}

namespace win32 {

bool onLibraryThread() {
  const DWORD slot = librarySlot();
  return slot != TLS_OUT_OF_INDEXES && TlsGetValue(slot) != nullptr;
}

void endLibraryThreads() {
  EnterCriticalSection(registryLock());
  for (ThreadRecord* record = registry; record; record = record->next) {
    // The call runs ExitThread itself: the thread leaves its alertable wait
    // straight into the system. One that has already ended refuses it.
    QueueUserAPC(reinterpret_cast<PAPCFUNC>(reinterpret_cast<void*>(&ExitThread)), record->thread, 0);
    record->endedByUnload = true;
  }
  LeaveCriticalSection(registryLock());
  if (librarySlot() != TLS_OUT_OF_INDEXES) TlsFree(librarySlot());
  librarySlot() = TLS_OUT_OF_INDEXES;
}

}  // namespace win32
}  // namespace quarlin::platform
