#include "decode/slice_worker_pool.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <type_traits>

#include "decode/decode_state.h"
#include "foundation/kelso/thread_manager.h"
#include "platform/fault_guard.h"

namespace quarlin {

namespace {
// Each worker's working stack starts this much lower than the previous
// worker's, so the workers' hot stack data do not share cache sets.
constexpr int32_t kStackStagger = 24576;
constexpr int32_t kUnloadWaitMs = 1000;
// More parts than this would not pay for themselves on any picture size.
constexpr int32_t kMaxWorkers = 64;
// The result of a run that a processor fault ended (no run returns it).
constexpr int32_t kFaultedRun = INT32_MIN;

// A run that cannot be decoded (no memory for a slice's references) fails
// like a damaged slice; nothing may end the thread, or the dispatcher would
// wait for ever.
int32_t decodeSlot(void* raw) {
  auto* slot = static_cast<SliceWorkerSlot*>(raw);
  slot->runsTaken = 0;
  try {
    return decodeSliceRuns(*slot->session, *slot->forwardFrame, *slot->backwardFrame, *slot->outputFrame,
                           slot->runsTaken);
  } catch (...) {
    return -1;
  }
}
}  // namespace

struct SliceWorkerPool::Worker {
  SliceWorkerSlot slot;  // first: the thread's argument is the slot's address
  platform::Event start;
  platform::Event done;
  platform::ThreadHandle thread;
};

namespace {
// Pools are never destroyed: workers that outlive the unload wait keep their
// slots, and a pool left behind by a fork stays as it was.
std::atomic<SliceWorkerPool*> currentPool{nullptr};
std::atomic<bool> forkedSinceLoad{false};
std::mutex replacement;

// In the child of a fork only the forking thread exists: the pool's workers
// are gone, and a picture handed to them would wait for ever. The child
// gets a pool of its own at its next use.
void afterFork() { forkedSinceLoad.store(true, std::memory_order_relaxed); }
}  // namespace

SliceWorkerPool& SliceWorkerPool::instance() {
  SliceWorkerPool* pool = currentPool.load(std::memory_order_acquire);
  if (pool && !forkedSinceLoad.load(std::memory_order_relaxed)) return *pool;
  std::lock_guard<std::mutex> hold(replacement);
  pool = currentPool.load(std::memory_order_acquire);
  if (!pool) {
    pool = new SliceWorkerPool;
    currentPool.store(pool, std::memory_order_release);
    platform::onForkChild(afterFork);
  } else if (forkedSinceLoad.exchange(false)) {
    const bool hadWorkers = pool->workerCount_ != 0;
    pool = new SliceWorkerPool;
    if (hadWorkers) pool->create();
    currentPool.store(pool, std::memory_order_release);
  }
  return *pool;
}

void SliceWorkerPool::create(int32_t count) {
  if (workerCount_ != 0) return;
  if (count <= 0) count = platform::processorCount();
  if (count > kMaxWorkers) count = kMaxWorkers;
  workers_ = new Worker[static_cast<size_t>(count)];
  // The dispatching thread is part 0: slot 0 has no thread of its own.
  int32_t started = 1;
  for (int32_t i = 1; i < count; ++i) {
    Worker& w = workers_[i];
    w.slot.threadIndex = i;
    w.thread = Kelso::ThreadManager::CreateRegisteredThread(workerProcedure, &w.slot,
                                                            u"SliceDecoderThread", u"Quarlin");
    // A worker that could not start is never dispatched to.
    if (!w.thread.valid()) break;
    ++started;
  }
  workerCount_ = started;
}

void SliceWorkerPool::destroy() {
  if (workerCount_ == 0) return;
  platform::ThreadHandle threads[kMaxWorkers];
  int32_t n = 0;
  bool endingInWaits = false;  // Windows: the unload ends the workers inside their waits
  for (int32_t i = 1; i < workerCount_; ++i) {
    workers_[i].slot.quit = 1;
    if (platform::endingWithUnload(workers_[i].thread))
      endingInWaits = true;  // not woken: it would run code about to be unmapped
    else
      workers_[i].start.set();
    threads[n++] = workers_[i].thread;
  }
  const bool ended = n == 0 || platform::waitForThreads(threads, n, kUnloadWaitMs);
  for (int32_t i = 1; i < workerCount_; ++i) platform::closeThread(workers_[i].thread);
  // Workers still running would touch their slots and events, and workers
  // the unload ends inside their waits still wait on their events (closing
  // an event a thread waits on can end the wait, back into the unmapped
  // code): keep them, two events per worker and unload.
  if (ended && !endingInWaits) delete[] workers_;
  workers_ = nullptr;
  workerCount_ = 0;
}

uint32_t SliceWorkerPool::workerProcedure(void* raw) {
  auto* slot = static_cast<SliceWorkerSlot*>(raw);
  // Stagger the working stack (its depth never matters: it is the next
  // frame's starting point). The compiler's alloca: no header declares it
  // on every system.
  const size_t stagger = static_cast<size_t>(slot->threadIndex) * kStackStagger + 16;
  volatile char* offset = static_cast<char*>(__builtin_alloca(stagger));
  offset[0] = 0;
  // The worker's events are reached from its own slot, never through the
  // pool's array: a thread that starts late may find that array given up
  // (the unload wait timed out) or replaced by a later pool.
  static_assert(std::is_standard_layout_v<Worker> && offsetof(Worker, slot) == 0);
  Worker* worker = reinterpret_cast<Worker*>(slot);
  worker->start.wait();
  for (;;) {
    if (slot->quit) return 0;
    // Nor may a processor fault (planes the host passed that cannot be
    // written, where faults can be caught): run() reports it to the caller.
    slot->result = platform::runCatchingFaults(decodeSlot, slot, kFaultedRun);
    const uint32_t job = slot->job.load(std::memory_order_relaxed);
    const bool tookRuns = slot->runsTaken > 0;
    slot->finishedJob.store(job, std::memory_order_release);
    // Done and waiting again in one step where an unload needs it (Windows:
    // once the caller sees the run done, this thread runs no more of the
    // library's code until the next start, so a host that unloads the
    // library right away finds it in its wait). Elsewhere, after a job it
    // took runs of, it first watches for the next picture's job, which
    // sequential decoding sends within tens of microseconds, so that the
    // worker needs no wake-up for it. After a job whose runs were all gone
    // it sleeps at once: it woke late, or it shares the dispatcher's
    // processor, where watching (yielding to the dispatcher) would keep it
    // for good, never taking a run; the next wake-up may place it on an idle
    // one.
    if (tookRuns)
      platform::setAndWaitSpinning(worker->done, worker->start, slot->job, job, kNextPictureWait);
    else
      platform::setAndWait(worker->done, worker->start);
  }
}

// The last runs of a picture are short, so the workers are usually a few
// microseconds from done when the dispatcher runs out of runs: it watches
// their job numbers for up to kBriefWait before sleeping on their events. A
// thread put to sleep wakes tens of microseconds after it is signalled on a
// virtual machine, a delay every picture would pay.
void SliceWorkerPool::awaitBriefly(uint32_t job, int32_t parts) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point until = Clock::now() + kBriefWait;
  for (int32_t k = 1; k < parts;) {
    if (workers_[k].slot.finishedJob.load(std::memory_order_acquire) == job) {
      ++k;
    } else if (Clock::now() > until) {
      return;
    } else {
      platform::pauseProcessor();
    }
  }
}

bool SliceWorkerPool::tryAcquire() {
  if (poolLock_.tryEnter()) return true;
  refused_.fetch_add(1, std::memory_order_relaxed);
  return false;
}

int32_t SliceWorkerPool::run(DecodeState& session, int32_t parts, const FrameBuffer& forward,
                             const FrameBuffer& backward, const FrameBuffer& output) {
  platform::Event* done[kMaxWorkers] = {};
  for (int32_t k = 0; k < parts; ++k) {
    SliceWorkerSlot& s = workers_[k].slot;
    s.part = k;
    s.session = &session;
    s.forwardFrame = &forward;
    s.backwardFrame = &backward;
    s.outputFrame = &output;
    done[k] = &workers_[k].done;
  }
  const uint32_t job = static_cast<uint32_t>(dispatched_.fetch_add(1, std::memory_order_relaxed)) + 1;
  for (int32_t k = 1; k < parts; ++k) {
    workers_[k].slot.job.store(job, std::memory_order_relaxed);
    workers_[k].start.set();
  }
  // A fault here must not leave before the workers are done with the planes.
  workers_[0].slot.result = platform::runCatchingFaults(decodeSlot, &workers_[0].slot, kFaultedRun);
  if (parts > 1) {
    awaitBriefly(job, parts);
    platform::waitForAll(done + 1, parts - 1, -1);
  }
  int32_t result = 0;
  bool faulted = false;
  for (int32_t k = 0; k < parts; ++k) {
    faulted = faulted || workers_[k].slot.result == kFaultedRun;
    result |= workers_[k].slot.result;
  }
  // Every worker has finished: the fault goes on as an exception on the
  // caller's thread, whose export returns what it returns for a fault there.
  if (faulted) throw std::runtime_error("processor fault in a slice worker");
  return result;
}

}  // namespace quarlin
