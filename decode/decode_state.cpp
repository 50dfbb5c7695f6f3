#include "decode/decode_state.h"

#include <memory>

#include "decode/slice_worker_pool.h"

namespace quarlin {

DecodeState::DecodeState(const char16_t* path, const HostServices& services) : SessionState(path, services) {
  maxParts = SliceWorkerPool::instance().workerCount();
  if (maxParts < 1) maxParts = 1;
  const int32_t runs = maxParts > 1 ? maxParts * kRunsPerWorker : 1;
  sliceStart.resize(static_cast<size_t>(runs));
  sliceTotal.resize(static_cast<size_t>(runs));
  partBuffer.reserve(static_cast<size_t>(runs));
  for (int32_t k = 0; k < runs; ++k) {
    // Owned here until its reference count exists.
    auto view = std::make_unique<StreamBuffer>();
    view->isView = true;
    partBuffer.emplace_back(view.get());
    view.release();
  }
}

}  // namespace quarlin
