// The host service tables a host hands to Quarlin_OpenFile: a memory manager
// (allocate with the alignment asked for; lock gives the block's stable
// address; release frees it) and a block cache that never holds anything.
#pragma once
#include "quarlin/quarlin.h"

namespace quarlin::tool {

// One set of tables for the whole process; safe to use from any thread (the
// library may release memory on its worker threads).
const HostServices& hostServices();

// Blocks allocated and not yet released, for leak checks.
long liveMemoryBlocks();

}  // namespace quarlin::tool
