#include "decode/decode_state.h"

#include "decode/slice_worker_pool.h"

namespace quarlin {

DecodeState::DecodeState(const char16_t* path, const HostServices& services) : SessionState(path, services) {
  maxParts = SliceWorkerPool::instance().workerCount();
  if (maxParts < 1) maxParts = 1;
  sliceStart.resize(static_cast<size_t>(maxParts));
  sliceTotal.resize(static_cast<size_t>(maxParts));
  partBuffer.resize(static_cast<size_t>(maxParts));
}

}  // namespace quarlin
