// The process-wide set of decode tables: built by the first holder, freed by
// the last, both under one lock.
#include "primitives/vlc_table_set.h"

#include "platform/sync.h"
#include "primitives/vlc_descriptions.h"

namespace quarlin {
namespace {

struct SharedTables {
  platform::CriticalSection lock;
  VlcTableSet set = {};
  int holders = 0;  // protected by lock
};

SharedTables& sharedTables() {
  static SharedTables shared;
  return shared;
}

// Build failures leave the slot null; decoding with it then reports a null
// pointer, which the callers treat as a decoding error.
void buildAll(VlcTableSet& set) {
  for (int slot = 0; slot < kVlcSlotCount; ++slot) {
    const VlcSlotDescription& d = kVlcSlotDescriptions[slot];
    if (d.runLevel) {
      ippiVCHuffmanInitAllocRL_32s(d.codes, &set.table[slot]);
    } else {
      ippiVCHuffmanInitAlloc_32s(d.codes, &set.table[slot]);
    }
  }
}

void freeAll(VlcTableSet& set) {
  for (IppVCHuffmanSpec_32s*& table : set.table) ippiVCHuffmanFree_32s(&table);
}

}  // namespace

VlcTableSet* acquireVlcTableSet() {
  SharedTables& shared = sharedTables();
  shared.lock.enter();
  if (shared.holders == 0) buildAll(shared.set);
  ++shared.holders;
  shared.lock.leave();
  return &shared.set;
}

void releaseVlcTableSet() {
  SharedTables& shared = sharedTables();
  shared.lock.enter();
  if (shared.holders > 0 && --shared.holders == 0) freeAll(shared.set);
  shared.lock.leave();
}

}  // namespace quarlin
