#include "index/frame_index.h"

#include <cstdint>

namespace quarlin {

namespace {
// States are compared with the most recent ones only: a stream changes its
// matrices now and then, not back and forth over hundreds of states, and a
// state stored twice costs only its bytes.
constexpr size_t kStatesCompared = 8;
}  // namespace

void referencesFromAnchors(const AnchorList& anchors, int32_t displayNumber, int32_t& forwardRef,
                           int32_t& backwardRef) {
  forwardRef = backwardRef = kNoReference;
  if (anchors.empty()) return;
  const int32_t last = anchors.back();
  if (last > displayNumber) {
    backwardRef = last;
    forwardRef = anchors.size() > 1 ? anchors[anchors.size() - 2] : kNoReference;
  } else {
    forwardRef = last;
  }
}

void FrameIndex::addFrame(const FrameIndexEntry& e) {
  all_.emplace(e.displayNumber, e);
  if (e.isKey()) keys_.emplace(e.displayNumber, e);
}

const FrameIndexEntry* FrameIndex::findEntry(int32_t frame) const {
  auto it = all_.find(frame);
  return it == all_.end() ? nullptr : &it->second;
}

int32_t FrameIndex::keyDistance(int32_t frame) const {
  auto it = keys_.upper_bound(frame);
  if (it == keys_.begin()) return kNoTemporalReference;
  --it;
  // Display numbers from a damaged seek-data block may lie anywhere in the
  // 32-bit range; a distance that does not fit matches no temporal_reference.
  const int64_t distance = int64_t{frame} - it->first;  // >= 0: the key is <= frame
  return distance > INT32_MAX ? kNoTemporalReference : static_cast<int32_t>(distance);
}

int32_t FrameIndex::dependencies(int32_t frame, int32_t& forwardRef, int32_t& backwardRef) const {
  forwardRef = kNoReference;
  backwardRef = kNoReference;
  const FrameIndexEntry* e = findEntry(frame);
  if (!e) return kFrameNotIndexed;
  if (e->forwardRef != kNoReference) forwardRef = e->forwardRef;
  if (e->backwardRef != kNoReference) backwardRef = e->backwardRef;
  return 0;
}

void FrameIndex::setStartFrameOffset(int32_t value) {
  startFrameOffset_ = startFrameOffsetCopy_ = value >= 0 ? value : 0;
}

// The frame count is the number of entries, less the start offset and less
// the topmost entries numbered at or beyond that number (pictures missing
// or numbered past the end, from seek data of other writers), capped by
// `limit` (-1: no cap).
void FrameIndex::finalise(int32_t limit) {
  const int32_t n = static_cast<int32_t>(all_.size());
  const uint32_t cap = limit == kNoFrameLimit ? static_cast<uint32_t>(n) : static_cast<uint32_t>(limit);
  frameCount_ = cap;
  int32_t beyond = 0;
  if (!all_.empty()) {
    auto it = all_.end();
    --it;
    while (it != all_.begin() && it->first >= n) {
      ++beyond;
      --it;
    }
  }
  const uint32_t remaining = static_cast<uint32_t>(n - beyond - startFrameOffset_);
  if (remaining < cap) frameCount_ = remaining;
}

int32_t FrameIndex::internCodingState(const CodingState& state) {
  const size_t n = states_.size();
  for (size_t k = 0; k < kStatesCompared && k < n; ++k)
    if (states_[n - 1 - k] == state) return static_cast<int32_t>(n - 1 - k);
  states_.push_back(state);
  return static_cast<int32_t>(n);
}

const CodingState* FrameIndex::codingState(int32_t index) const {
  if (index < 0 || static_cast<size_t>(index) >= states_.size()) return nullptr;
  return &states_[static_cast<size_t>(index)];
}

void FrameIndex::clear() {
  all_.clear();
  keys_.clear();
  states_.clear();
  startFrameOffset_ = startFrameOffsetCopy_ = 0;
  frameCount_ = 0;
}

}  // namespace quarlin
