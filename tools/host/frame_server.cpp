#include "tools/host/frame_server.h"

#include <utility>

#include "quarlin/quarlin.h"

namespace quarlin::tool {
namespace {

std::string decodeFailureText(int32_t frame, int32_t request, int32_t result) {
  std::string text = "frame " + std::to_string(frame);
  if (frame != request) text += " (a reference of frame " + std::to_string(request) + ")";
  switch (result) {
    case QUARLIN_NOT_FOUND: return text + ": its picture was not found in the file";
    case QUARLIN_INDEX_INCOMPLETE: return text + ": the index is not complete";
    case QUARLIN_FAULT: return text + ": the decoder caught a fault";
    default: return text + ": decoding failed";
  }
}

}  // namespace

FrameError::FrameError(int32_t frame, int32_t result, const std::string& what)
    : std::runtime_error(what), frame_(frame), result_(result) {}

FrameServer::FrameServer(FrameDecoder& decoder, const FrameGeometry& geometry, DecodeScale scale,
                         std::size_t budgetBytes)
    : decoder_(decoder), layout_(planeLayout(geometry, scale)), scale_(scale), budgetBytes_(budgetBytes) {}

std::shared_ptr<const Picture> FrameServer::frame(int32_t frame) {
  if (Entry* entry = find(frame)) {
    touch(*entry);
    return entry->picture;
  }
  // Depth-first over the references, without recursion: a long chain of
  // P-pictures must not exhaust the call stack.
  std::vector<Work> stack;
  stack.emplace_back(frame, -1);
  std::shared_ptr<Picture> requested;
  inProgress_.clear();
  try {
    while (!stack.empty()) {
      const Work& top = stack.back();
      if (!top.expanded && !isCached(top.frame)) {
        expand(stack);
      } else if (auto picture = resolve(stack)) {
        requested = std::move(picture);
      }
    }
  } catch (...) {
    unpinAll(stack);
    throw;
  }
  return requested;
}

void FrameServer::expand(std::vector<Work>& stack) {
  Work& work = stack.back();
  int32_t forward = -1;
  int32_t backward = -1;
  const int32_t result = decoder_.dependencies(work.frame, forward, backward);
  if (result != 0) {
    if (work.parent < 0) {
      throw FrameError(work.frame, result, "frame " + std::to_string(work.frame) + " is not in the index");
    }
    // A reference the index does not hold: the frame that needs it is
    // decoded without it, as when it has no such reference at all.
    stack.pop_back();
    return;
  }
  work.expanded = true;
  work.forward = usableReference(forward, work.frame);
  work.backward = usableReference(backward, work.frame);
  inProgress_.insert(work.frame);
  const int self = static_cast<int>(stack.size()) - 1;
  const int32_t first = work.forward;
  const int32_t second = work.backward;
  // Pushed backward first so that the forward reference, normally the
  // earlier picture, is decoded first.
  if (second != -1) stack.emplace_back(second, self);
  if (first != -1) stack.emplace_back(first, self);
}

int32_t FrameServer::usableReference(int32_t reference, int32_t frame) const {
  // A frame that (through a damaged index) depends on itself or on a frame
  // still waiting for it would never finish: treat the reference as absent.
  if (reference < 0 || reference == frame || inProgress_.count(reference) != 0) return -1;
  return reference;
}

std::shared_ptr<Picture> FrameServer::resolve(std::vector<Work>& stack) {
  std::shared_ptr<Picture> picture;
  const bool neededByParent = stack.back().parent >= 0;
  const bool decoded = find(stack.back().frame) == nullptr;
  if (!decoded) {
    Entry* entry = find(stack.back().frame);
    picture = entry->picture;
    touch(*entry);
    if (neededByParent) ++entry->pins;
  } else {
    // Decoded while still on the stack, so that a failure leaves its pinned
    // references where unpinAll finds them.
    picture = decodeWith(stack.back(), stack.front().frame);
  }
  Work work = std::move(stack.back());
  stack.pop_back();
  for (int32_t reference : work.pinned) unpin(reference);
  if (decoded) insert(work.frame, picture, neededByParent ? 1 : 0);
  inProgress_.erase(work.frame);
  if (neededByParent) {
    stack[work.parent].pinned.push_back(work.frame);
    return nullptr;
  }
  return picture;
}

std::shared_ptr<Picture> FrameServer::decodeWith(const Work& work, int32_t request) {
  auto picture = newPicture();
  const Entry* forwardEntry = work.forward != -1 ? find(work.forward) : nullptr;
  const Entry* backwardEntry = work.backward != -1 ? find(work.backward) : nullptr;
  const Picture* forward = forwardEntry ? forwardEntry->picture.get() : nullptr;
  const Picture* backward = backwardEntry ? backwardEntry->picture.get() : nullptr;
  // The leading B-pictures of a stream that opens with an open group have
  // only their backward reference; it stands in for the forward one too.
  if (!forward) forward = backward;
  if (!backward) backward = forward;
  const PlaneSet output = picture->planeSet();
  PlaneSet forwardPlanes{};  // a null Y address: predict from the output planes
  // Those start black, unless the picture reads nothing of them (an
  // I-picture; the P field of an I/P frame reads its I field, decoded first):
  // sequential decoding clears no planes.
  if (forward) {
    forwardPlanes = forward->planeSet();
  } else if (!decoder_.isIntra(work.frame)) {
    picture->fillBlack();
  }
  const PlaneSet backwardPlanes = backward ? backward->planeSet() : output;
  ++decodes_;
  const int32_t result = decoder_.decode(work.frame, forwardPlanes, backwardPlanes, output, scale_);
  if (result != 0) {
    if (!tolerateFailures_) throw FrameError(work.frame, result, decodeFailureText(work.frame, request, result));
    ++failures_;
    failed_.push_back(FrameError(work.frame, result, decodeFailureText(work.frame, request, result)));
  }
  return picture;
}

std::shared_ptr<Picture> FrameServer::newPicture() {
  if (spare_.empty()) return ++allocations_, std::make_shared<Picture>(layout_, scale_, allocate_);
  std::shared_ptr<Picture> picture = std::move(spare_.back());
  spare_.pop_back();
  return picture;
}

FrameServer::Entry* FrameServer::find(int32_t frame) {
  auto it = cache_.find(frame);
  return it == cache_.end() ? nullptr : &it->second;
}

void FrameServer::touch(Entry& entry) { recency_.splice(recency_.begin(), recency_, entry.recency); }

void FrameServer::insert(int32_t frame, std::shared_ptr<Picture> picture, int pins) {
  recency_.push_front(frame);
  cachedBytes_ += picture->totalBytes();
  cache_[frame] = Entry{std::move(picture), recency_.begin(), pins};
  evictOverBudget();
}

void FrameServer::evictOverBudget() {
  auto it = recency_.end();
  while (cachedBytes_ > budgetBytes_ && it != recency_.begin()) {
    --it;
    auto entry = cache_.find(*it);
    if (entry->second.pins > 0) continue;  // a reference of a frame being decoded
    ++it;
    drop(entry);
  }
}

void FrameServer::release(int32_t frame) {
  auto entry = cache_.find(frame);
  if (entry != cache_.end() && entry->second.pins == 0 && entry->second.picture.use_count() == 1) drop(entry);
}

void FrameServer::drop(std::unordered_map<int32_t, Entry>::iterator entry) {
  cachedBytes_ -= entry->second.picture->totalBytes();
  if (entry->second.picture.use_count() == 1 && spare_.size() < kSparePictures) {
    spare_.push_back(std::move(entry->second.picture));
  }
  recency_.erase(entry->second.recency);
  cache_.erase(entry);
}

void FrameServer::unpin(int32_t frame) {
  if (Entry* entry = find(frame)) {
    if (entry->pins > 0) --entry->pins;
  }
  evictOverBudget();
}

void FrameServer::unpinAll(std::vector<Work>& stack) {
  for (Work& work : stack) {
    for (int32_t reference : work.pinned) unpin(reference);
    work.pinned.clear();
  }
  inProgress_.clear();
}

}  // namespace quarlin::tool
