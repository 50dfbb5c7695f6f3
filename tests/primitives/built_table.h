// A decode table built through the dispatched builder and freed on scope exit.
#pragma once
#include "primitives/primitives.h"
#include "primitives/vlc_descriptions.h"

namespace quarlin::test {

class BuiltTable {
 public:
  explicit BuiltTable(VlcSlot slot) {
    const VlcSlotDescription& d = kVlcSlotDescriptions[slot];
    status_ = d.runLevel ? ippiVCHuffmanInitAllocRL_32s(d.codes, &table_)
                         : ippiVCHuffmanInitAlloc_32s(d.codes, &table_);
  }
  ~BuiltTable() { ippiVCHuffmanFree_32s(&table_); }
  BuiltTable(const BuiltTable&) = delete;
  BuiltTable& operator=(const BuiltTable&) = delete;

  IppStatus status() const { return status_; }
  const IppVCHuffmanSpec_32s* get() const { return table_; }

 private:
  IppVCHuffmanSpec_32s* table_ = nullptr;
  IppStatus status_ = ippStsNoErr;
};

}  // namespace quarlin::test
