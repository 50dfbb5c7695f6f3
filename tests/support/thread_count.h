// The number of threads in this process, for tests of code that starts and
// ends threads.
#pragma once
#include <cstdint>

namespace quarlin::test {

// Polls (up to 10 s) until the process has `count` threads (from
// /proc/self/task, a Toolhelp snapshot on Windows): a thread that
// has returned from its procedure takes a moment to leave the task list.
// The last count.
int32_t awaitThreadCount(int32_t count);
// The thread count once threads that are ending have left (it stays the
// same for 100 ms); a baseline for awaitThreadCount.
int32_t settledThreadCount();

}  // namespace quarlin::test
