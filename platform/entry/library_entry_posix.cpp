// The library's entry point on ELF systems: the loader runs the constructor
// when the library is loaded into the process and the destructor when it is
// unloaded (dlclose or process exit).
#include "platform/library_hooks.h"

namespace {
__attribute__((constructor)) void quarlinLibraryLoaded() { quarlin::onProcessAttach(); }
__attribute__((destructor)) void quarlinLibraryUnloaded() { quarlin::onProcessDetach(); }
}  // namespace
