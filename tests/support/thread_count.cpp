#include "tests/support/thread_count.h"

#if defined(_WIN32)
#include <windows.h>
#include <tlhelp32.h>
#endif

#include <chrono>
#include <filesystem>
#include <thread>

namespace quarlin::test {
namespace {

int32_t processThreadCount() {
  int32_t count = 0;
#if defined(_WIN32)
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    count += entry.th32OwnerProcessID == GetCurrentProcessId();
  CloseHandle(snapshot);
#else
  std::error_code ignored;
  for (auto it = std::filesystem::directory_iterator("/proc/self/task", ignored);
       it != std::filesystem::directory_iterator(); it.increment(ignored))
    ++count;
#endif
  return count;
}

}  // namespace

// The waits below bound how long a test waits (about 10 s); they time nothing.
int32_t awaitThreadCount(int32_t count) {
  int32_t now = processThreadCount();
  for (int polls = 0; now != count && polls < 5000; ++polls) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    now = processThreadCount();
  }
  return now;
}

int32_t settledThreadCount() {
  int32_t count = processThreadCount();
  for (int same = 0, polls = 0; same < 20 && polls < 2000; ++polls) {  // the same for 20 polls of 5 ms
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const int32_t now = processThreadCount();
    same = now == count ? same + 1 : 0;
    count = now;
  }
  return count;
}

}  // namespace quarlin::test
