// Random access to decoded frames: asks the decoder what a frame depends
// on, decodes the references first (each at most once while it stays
// cached) and keeps decoded frames in a cache bounded by memory, dropping
// the least recently used first. Besides the budget it keeps at most two
// evicted pictures for reuse.
#pragma once
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "tools/host/frame_decoder.h"
#include "tools/host/picture.h"

namespace quarlin::tool {

// A frame could not be served: its dependencies could not be asked for or
// the decoder failed on it (or on one of its references).
class FrameError : public std::runtime_error {
 public:
  FrameError(int32_t frame, int32_t result, const std::string& what);
  int32_t frame() const { return frame_; }
  int32_t result() const { return result_; }

 private:
  int32_t frame_;
  int32_t result_;
};

class FrameServer {
 public:
  static constexpr std::size_t kDefaultBudgetBytes = std::size_t{512} << 20;

  // Every frame, references included, is decoded at `scale`.
  FrameServer(FrameDecoder& decoder, const FrameGeometry& geometry, DecodeScale scale,
              std::size_t budgetBytes = kDefaultBudgetBytes);

  // Frame `frame` decoded; throws FrameError. The picture stays valid while
  // the caller holds it, whether or not the cache keeps it.
  std::shared_ptr<const Picture> frame(int32_t frame);

  // With tolerance on, a decoder failure does not throw: the frame keeps
  // whatever the decoder wrote and the failure is counted and kept until
  // taken.
  void setTolerateFailures(bool tolerate) { tolerateFailures_ = tolerate; }
  uint64_t failureCount() const { return failures_; }
  std::vector<FrameError> takeFailures() { return std::exchange(failed_, {}); }

  // Gives `frame`'s picture back for the next frames when nothing else holds
  // it: for a frame no later request needs (a B-frame once shown in display
  // order), so that the next picture is written where the last one was,
  // while its lines are still in the processor's caches.
  void release(int32_t frame);

  // Planes of the pictures decoded from now on come from `allocate`.
  void setPlaneAllocator(PlaneAllocator allocate) { allocate_ = std::move(allocate); }

  DecodeScale scale() const { return scale_; }
  bool isCached(int32_t frame) const { return cache_.count(frame) != 0; }
  std::size_t cachedFrames() const { return cache_.size(); }
  std::size_t cachedBytes() const { return cachedBytes_; }
  uint64_t decodeCount() const { return decodes_; }
  uint64_t picturesAllocated() const { return allocations_; }

 private:
  struct Entry {
    std::shared_ptr<Picture> picture;
    std::list<int32_t>::iterator recency;
    int pins = 0;
  };
  // One frame waiting on the work stack of a request.
  struct Work {
    Work(int32_t frameNumber, int parentIndex) : frame(frameNumber), parent(parentIndex) {}
    int32_t frame;
    int parent;             // index of the frame that needs this one, -1 for the request
    bool expanded = false;  // its dependencies have been asked for
    int32_t forward = -1;
    int32_t backward = -1;
    std::vector<int32_t> pinned;  // references resolved and pinned for it
  };

  void expand(std::vector<Work>& stack);
  // Takes the top frame off the stack, decoding it unless cached, and pins
  // it for the frame that needs it; returns it when it is the request.
  std::shared_ptr<Picture> resolve(std::vector<Work>& stack);
  std::shared_ptr<Picture> decodeWith(const Work& work, int32_t request);
  int32_t usableReference(int32_t reference, int32_t frame) const;

  std::shared_ptr<Picture> newPicture();
  Entry* find(int32_t frame);
  void touch(Entry& entry);
  void insert(int32_t frame, std::shared_ptr<Picture> picture, int pins);
  void evictOverBudget();
  // Takes the entry out of the cache; its picture becomes a spare when
  // nobody else holds it and there is room.
  void drop(std::unordered_map<int32_t, Entry>::iterator entry);
  void pin(int32_t frame);
  void unpin(int32_t frame);
  void unpinAll(std::vector<Work>& stack);

  FrameDecoder& decoder_;
  PlaneLayout layout_;
  DecodeScale scale_;
  std::size_t budgetBytes_;
  PlaneAllocator allocate_;
  bool tolerateFailures_ = false;
  uint64_t failures_ = 0;
  std::vector<FrameError> failed_;
  uint64_t decodes_ = 0;
  uint64_t allocations_ = 0;
  std::unordered_map<int32_t, Entry> cache_;
  std::list<int32_t> recency_;  // most recently used first
  std::size_t cachedBytes_ = 0;
  std::unordered_set<int32_t> inProgress_;  // frames of the request waiting for references
  // Evicted pictures nobody else holds, reused for the next frames: fresh
  // multi-megabyte allocations cost a page fault per 4 KiB each time.
  std::vector<std::shared_ptr<Picture>> spare_;
  static constexpr std::size_t kSparePictures = 2;
};

}  // namespace quarlin::tool
