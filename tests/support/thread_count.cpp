#include "tests/support/thread_count.h"

#if defined(_WIN32)
#include <windows.h>
#include <tlhelp32.h>
#endif

#include <chrono>
#include <filesystem>
#include <thread>

namespace quarlin::test {

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

// The waits below bound how long a test waits; they time nothing.
int32_t awaitThreadCount(int32_t count) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  int32_t now = processThreadCount();
  while (now != count && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    now = processThreadCount();
  }
  return now;
}

int32_t settledThreadCount() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  int32_t count = processThreadCount();
  auto since = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const int32_t now = processThreadCount();
    if (now != count) {
      count = now;
      since = std::chrono::steady_clock::now();
    } else if (std::chrono::steady_clock::now() - since >= std::chrono::milliseconds(100)) {
      break;
    }
  }
  return count;
}

}  // namespace quarlin::test
