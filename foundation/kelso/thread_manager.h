// Thread creation through the foundation library, which names each thread
// after the component that owns it.
#pragma once
#include <cstdint>

#include "platform/thread.h"

namespace Kelso::ThreadManager {

// Starts a thread running procedure(argument) at normal priority. The
// thread carries `threadName` (UTF-16, may be null) for debuggers and system
// tools; `ownerName` says which component asked for it. The handle can be
// waited on (quarlin::platform::waitForThreads) and must be closed
// (quarlin::platform::closeThread). Invalid when the thread could not start.
quarlin::platform::ThreadHandle CreateRegisteredThread(uint32_t (*procedure)(void*),
                                                       void* argument,
                                                       const char16_t* threadName,
                                                       const char16_t* ownerName);

}  // namespace Kelso::ThreadManager
