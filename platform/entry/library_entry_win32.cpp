// The library's entry point on Windows. The loader calls it with its lock
// held, so nothing here waits for another thread: process attach selects
// the primitives and starts the slice workers (they begin to run once the
// loader lets go); an unload (FreeLibrary) ends the library's threads inside
// the system and then runs the library's unload hook, whose waits find them
// ended (library_entry_win32.h). At process exit the system has already
// ended every other thread, perhaps inside one of the library's locks:
// nothing is released or waited for then.
#include <windows.h>

#include "platform/library_entry_win32.h"
#include "platform/library_hooks.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void* processExit) {
  if (reason == DLL_PROCESS_ATTACH) {
    quarlin::platform::win32::startFaultContainment();
    quarlin::onProcessAttach();
  } else if (reason == DLL_PROCESS_DETACH) {
    if (!processExit) {
      quarlin::platform::win32::endLibraryThreads();
      quarlin::onProcessDetach();
    }
    quarlin::platform::win32::stopFaultContainment();
  }
  return TRUE;
}
