// Library load and unload. The platform's entry point (a DLL entry point on
// Windows, ELF constructor and destructor functions here) calls these once
// per process; thread attach and detach are not reported.
#pragma once

namespace quarlin {
void onProcessAttach();  // defined by the library
void onProcessDetach();  // defined by the library
}  // namespace quarlin
