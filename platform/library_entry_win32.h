// What the DLL entry point asks of the Win32 backend beyond the library's
// own load and unload hooks.
#pragma once

namespace quarlin::platform::win32 {

// Process attach: installs the handler that turns processor faults into
// results (fault_guard.h).
void startFaultContainment();
// Process detach: removes it again, so that no fault of the host reaches
// the unloaded library.
void stopFaultContainment();
// Process detach. The loader holds its lock while the entry point runs,
// and a thread cannot end while it is held, so waiting for the library's
// threads there would time out. Instead each thread the library started is
// made to end inside the system (it exits from its wait, in an
// asynchronous procedure call to the system's thread exit, without running
// another instruction of the library), and counts as ended for
// waitForThreads. A thread that has not started yet ends the same way
// before its procedure runs.
void endLibraryThreads();
// True on a thread the library started (their waits let the exit above in).
bool onLibraryThread();

}  // namespace quarlin::platform::win32
