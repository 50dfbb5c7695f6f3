// Registration is the thread's name: the system shows it in debuggers and
// process listings, which is all the diagnostics this build needs. The owner
// is not kept (a thread name has room for 15 bytes only).
#include "foundation/kelso/thread_manager.h"

namespace Kelso::ThreadManager {

quarlin::platform::ThreadHandle CreateRegisteredThread(uint32_t (*procedure)(void*),
                                                       void* argument,
                                                       const char16_t* threadName,
                                                       const char16_t* /*ownerName*/) {
  if (!procedure) return {};
  return quarlin::platform::createThread(procedure, argument, threadName);
}

}  // namespace Kelso::ThreadManager
