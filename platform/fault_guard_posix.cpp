// POSIX backend of fault containment: a fault is a signal that ends the
// process, as for any other program; the library installs no handler of its
// own for signals, which belong to the host.
#include "platform/fault_guard.h"

namespace quarlin::platform {

int32_t runCatchingFaults(int32_t (*body)(void* context), void* context, int32_t) { return body(context); }

}  // namespace quarlin::platform
