// The host's memory, handle and cache tables as the file readers see them:
// one set for the whole process, replaced by every reader construction, so
// that the completion thread (which serves all readers) has tables to call.
// Each reader keeps its own cache object.
#pragma once
#include "quarlin/quarlin.h"

namespace quarlin::reader_tables {

// Makes the three tables of `services` the ones every reader uses.
void store(const HostServices& services);
// The stored tables with `cacheRef` as the cache object.
HostServices with(void* cacheRef);

}  // namespace quarlin::reader_tables
