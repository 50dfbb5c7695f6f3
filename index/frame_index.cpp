#include "index/frame_index.h"

#include <cstdint>

namespace quarlin {

void FrameIndex::addFrame(const FrameCandidate& c) {
  FrameIndexEntry e;
  e.streamPosition = c.streamPosition;
  e.codedSize = c.codedSize;
  e.displayNumber = c.displayNumber;
  // The last anchor is the backward reference when it is displayed later
  // than the picture (then the one before it is the forward reference);
  // otherwise it is the forward reference.
  if (!c.anchors.empty()) {
    const int32_t last = c.anchors.back();
    if (last > c.displayNumber) {
      e.backwardRef = last;
      e.forwardRef = c.anchors.size() > 1 ? c.anchors[c.anchors.size() - 2] : -1;
    } else {
      e.forwardRef = last;
    }
  }
  e.pictureFlags = static_cast<uint8_t>(c.pictureType | (c.key ? kKeyFlag : 0));
  e.sequenceLocator = c.sequenceLocator;
  all_.emplace(e.displayNumber, e);
  if (c.key) keys_.emplace(e.displayNumber, e);
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
  forwardRef = -1;
  backwardRef = -1;
  const FrameIndexEntry* e = findEntry(frame);
  if (!e) return -8;
  if (e->forwardRef != -1) forwardRef = e->forwardRef;
  if (e->backwardRef != -1) backwardRef = e->backwardRef;
  return 0;
}

void FrameIndex::setStartFrameOffset(int32_t value) {
  startFrameOffset_ = startFrameOffsetCopy_ = value >= 0 ? value : 0;
}

// The frame count is the number of entries, less the start offset and less
// the topmost entries numbered at or beyond that number (pictures missing
// or numbered past the end), capped by `limit` (-1: no cap).
void FrameIndex::finalise(int32_t limit) {
  const int32_t n = static_cast<int32_t>(all_.size());
  const uint32_t cap = limit == -1 ? static_cast<uint32_t>(n) : static_cast<uint32_t>(limit);
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

}  // namespace quarlin
