// Containment of processor faults (access violations, division by zero)
// raised while the library runs on a thread.
#pragma once
#include <cstdint>

namespace quarlin::platform {

// Runs body(context) and returns its result. Where the system reports
// processor faults to the process (Windows), a fault raised on this thread
// while the body runs abandons the body, without unwinding its frames, and
// the call returns `faultResult`; elsewhere a fault ends the process as
// usual. Calls nest: a fault returns from the innermost one.
int32_t runCatchingFaults(int32_t (*body)(void* context), void* context, int32_t faultResult);

}  // namespace quarlin::platform
