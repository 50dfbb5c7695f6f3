// Builds multi-level lookup tables from code descriptions (layout in
// vlc_table_format.h, description format in vlc_descriptions.h).
#include <algorithm>
#include <cstdint>
#include <new>

#include "primitives/generic_primitives.h"
#include "primitives/vlc_table_format.h"

namespace quarlin::generic {
namespace {

constexpr int kMaxLevels = 8;

struct Levels {
  int count = 0;
  int width[kMaxLevels] = {};
};

uint32_t lowBits(uint32_t value, int n) { return n >= 32 ? value : value & ((1u << n) - 1); }

// Reads maxLength, levelCount and the widths; advances `p` to the first count.
IppStatus readHeader(const Ipp32s*& p, Levels& levels, int& maxLength) {
  maxLength = *p++;
  levels.count = *p++;
  if (maxLength < 1 || maxLength > vlc::kMaxCodeLength) return ippStsSizeErr;
  if (levels.count < 1 || levels.count > kMaxLevels) return ippStsSizeErr;
  int total = 0;
  for (int k = 0; k < levels.count; ++k) {
    levels.width[k] = *p++;
    if (levels.width[k] < 1 || levels.width[k] > vlc::kMaxLevelWidth) return ippStsSizeErr;
    total += levels.width[k];
  }
  return total >= maxLength ? ippStsNoErr : ippStsSizeErr;
}

// Places codes into fixed-size storage already filled with markers.
class TableBuilder {
 public:
  TableBuilder(int32_t* table, size_t capacity, const Levels& levels)
      : table_(table), capacity_(capacity), levels_(levels) {}

  IppStatus start() {
    const size_t firstSize = (size_t{1} << levels_.width[0]) + 1;
    if (firstSize > capacity_) return ippStsSizeErr;
    table_[0] = levels_.width[0];
    nextFree_ = firstSize;
    return ippStsNoErr;
  }

  // Code of `length` bits with the given leaf value.
  IppStatus insert(int length, uint32_t code, int32_t value) {
    const int32_t leafTemplate = vlc::makeLeaf(value, 0);
    if (vlc::leafValue(leafTemplate) != value) return ippStsSizeErr;  // value beyond 24 bits
    size_t base = 0;
    int accumulated = 0;
    for (int k = 0; k < levels_.count; ++k) {
      const int width = levels_.width[k];
      const int before = accumulated;
      accumulated += width;
      if (accumulated < length) {
        const uint32_t slice = lowBits(code >> (length - accumulated), width);
        const IppStatus status = descend(base + 1 + slice, k + 1, base);
        if (status != ippStsNoErr) return status;
        continue;
      }
      const int unused = accumulated - length;
      const size_t first = base + 1 + (size_t{lowBits(code, length - before)} << unused);
      return fillLeaves(first, size_t{1} << unused, vlc::makeLeaf(value, length - before));
    }
    return ippStsSizeErr;
  }

 private:
  // Follows the link at `slot` into the next level, creating its sub-array.
  IppStatus descend(size_t slot, int nextLevel, size_t& base) {
    int32_t& entry = table_[slot];
    if (entry == vlc::kMarker) {
      if (nextLevel >= levels_.count) return ippStsSizeErr;
      const int width = levels_.width[nextLevel];
      const size_t size = (size_t{1} << width) + 1;
      if (nextFree_ + size > capacity_) return ippStsSizeErr;
      table_[nextFree_] = width;
      entry = vlc::makeLink(static_cast<int32_t>(nextFree_));
      nextFree_ += size;
    } else if (!vlc::isLink(entry)) {
      return ippStsVLCErr;  // a shorter code is a prefix of this one
    }
    base = static_cast<size_t>(vlc::linkOffset(entry));
    return ippStsNoErr;
  }

  IppStatus fillLeaves(size_t first, size_t count, int32_t leaf) {
    if (leaf == vlc::kMarker) return ippStsSizeErr;  // would read as "no code"
    for (size_t i = first; i < first + count; ++i) {
      if (table_[i] != vlc::kMarker) return ippStsVLCErr;  // duplicate or prefix code
      table_[i] = leaf;
    }
    return ippStsNoErr;
  }

  int32_t* table_;
  size_t capacity_;
  Levels levels_;
  size_t nextFree_ = 0;
};

// Reads the groups that follow the header, inserting each entry.
IppStatus insertGroups(const Ipp32s* p, int maxLength, bool runLevel, TableBuilder& builder) {
  for (int length = 1;; ++length) {
    const Ipp32s count = *p++;
    if (count == -1) return ippStsNoErr;
    if (count < 0 || length > maxLength) return ippStsSizeErr;
    for (Ipp32s i = 0; i < count; ++i) {
      const Ipp32s code = *p++;
      if (code < 0 || lowBits(static_cast<uint32_t>(code), length) != uint32_t(code)) {
        return ippStsVLCErr;
      }
      int32_t value = *p++;
      if (runLevel) {
        const Ipp32s level = *p++;
        if (value < 0 || value > 255 || level < INT16_MIN || level > INT16_MAX) {
          return ippStsSizeErr;
        }
        value = vlc::runLevelValue(value, level);
      }
      const IppStatus status = builder.insert(length, static_cast<uint32_t>(code), value);
      if (status != ippStsNoErr) return status;
    }
  }
}

IppStatus buildTable(const Ipp32s* description, IppVCHuffmanSpec_32s** built, size_t elements,
                     bool runLevel) {
  if (description == nullptr || built == nullptr) return ippStsNullPtrErr;
  *built = nullptr;
  const Ipp32s* p = description;
  Levels levels;
  int maxLength = 0;
  IppStatus status = readHeader(p, levels, maxLength);
  if (status != ippStsNoErr) return status;

  int32_t* table = new (std::nothrow) int32_t[elements];
  if (table == nullptr) return ippStsMemAllocErr;
  std::fill(table, table + elements, vlc::kMarker);
  TableBuilder builder(table, elements, levels);
  status = builder.start();
  if (status == ippStsNoErr) status = insertGroups(p, maxLength, runLevel, builder);
  if (status != ippStsNoErr) {
    delete[] table;
    return status;
  }
  *built = reinterpret_cast<IppVCHuffmanSpec_32s*>(table);
  return ippStsNoErr;
}

}  // namespace

IppStatus huffmanInitAlloc(const Ipp32s* pInputTable, IppVCHuffmanSpec_32s** ppVLCSpec) {
  return buildTable(pInputTable, ppVLCSpec, vlc::kPlainTableElements, false);
}

IppStatus huffmanInitAllocRL(const Ipp32s* pInputTable, IppVCHuffmanSpec_32s** ppVLCSpec) {
  return buildTable(pInputTable, ppVLCSpec, vlc::kRunLevelTableElements, true);
}

IppStatus huffmanFree(IppVCHuffmanSpec_32s** ppVLCSpec) {
  if (ppVLCSpec == nullptr) return ippStsNullPtrErr;
  delete[] reinterpret_cast<int32_t*>(*ppVLCSpec);
  *ppVLCSpec = nullptr;
  return ippStsNoErr;
}

}  // namespace quarlin::generic
