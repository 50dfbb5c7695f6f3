// What the library does when the process loads and unloads it.
#include "decode/slice_worker_pool.h"
#include "platform/library_hooks.h"
#include "primitives/cpu_dispatch.h"

namespace quarlin {

void onProcessAttach() {
  // The primitives are chosen first; the pool is created only after a
  // successful selection.
  const IppStatus status = selectPrimitives();
  if (status == 0) SliceWorkerPool::instance().create();
}

void onProcessDetach() { SliceWorkerPool::instance().destroy(); }

}  // namespace quarlin
