#include "index/session_state.h"

namespace quarlin {

SessionState::SessionState(const char16_t* path, const HostServices& services)
    : hostServices(services), stream(path, hostServices), vlcTables(acquireVlcTableSet()) {}

}  // namespace quarlin
