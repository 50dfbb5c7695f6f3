// The process-wide slice workers: one decoding part per processor, created
// when the library is loaded and stopped when it is unloaded. A picture (a
// frame or one field) is cut into contiguous runs of whole macroblock rows
// that the parts decode. The dispatching thread is part 0: it decodes runs
// too rather than sleeping while a thread of ours takes its processor, so
// the pool starts one thread fewer than it has parts. The pool serves one
// picture at a time; a picture that finds it busy is decoded on its own
// thread instead of waiting.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>

#include "slice/frame_buffer.h"
#include "platform/sync.h"
#include "platform/thread.h"

namespace quarlin {

struct DecodeState;

struct SliceWorkerSlot {
  int32_t threadIndex = 0;  // selects the worker's events and stack offset
  int32_t part = 0;         // index into the session's dispatch arrays
  DecodeState* session = nullptr;
  const FrameBuffer* forwardFrame = nullptr;
  const FrameBuffer* backwardFrame = nullptr;
  const FrameBuffer* outputFrame = nullptr;
  volatile int32_t quit = 0;
  int32_t result = 0;  // OR of the slice results of the last job
  int32_t runsTaken = 0;  // runs it decoded in the last job
  // The number of the job it was started for: written before the start
  // event is set, and watched by a worker that has just finished a job.
  std::atomic<uint32_t> job{0};
  // The number of the last job this worker finished: the dispatcher looks
  // at it while it waits briefly before sleeping on the done event.
  std::atomic<uint32_t> finishedJob{0};
};

class SliceWorkerPool {
 public:
  static SliceWorkerPool& instance();

  // At library load: `count` parts (0: one per processor), so count - 1
  // threads. Does nothing more when a pool already exists.
  void create(int32_t count = 0);
  // At library unload: workers are told to quit and waited for at most
  // 1000 ms.
  void destroy();
  // Parts a picture can be decoded in at once: the threads started, plus
  // the dispatching thread; 0 while no pool exists.
  int32_t workerCount() const { return workerCount_; }

  // Takes the pool for one picture without waiting; false when another
  // picture is using it.
  bool tryAcquire();
  void release() { poolLock_.leave(); }
  // With the pool held: wakes workers 1..parts-1 and decodes as part 0 on
  // the calling thread, runs of the session's dispatch arrays, until none is
  // left; returns when every part has finished, with the OR of the results.
  int32_t run(DecodeState& session, int32_t parts, const FrameBuffer& forward,
              const FrameBuffer& backward, const FrameBuffer& output);

  // Since the process started: pictures handed to the workers, and
  // try-enters refused because another picture held the pool. Diagnostics
  // that show whether pictures really reach the workers.
  int64_t picturesDispatched() const { return dispatched_.load(std::memory_order_relaxed); }
  int64_t busyRefusals() const { return refused_.load(std::memory_order_relaxed); }

 private:
  static uint32_t workerProcedure(void* slot);
  void awaitBriefly(uint32_t job, int32_t parts);
  struct Worker;
  static constexpr std::chrono::microseconds kBriefWait{100};
  // How long a worker that finished a run watches for the next picture
  // before it sleeps: longer than the dispatcher's work between pictures.
  static constexpr std::chrono::microseconds kNextPictureWait{200};

  platform::CriticalSection poolLock_;
  int32_t workerCount_ = 0;
  Worker* workers_ = nullptr;
  std::atomic<int64_t> dispatched_{0};
  std::atomic<int64_t> refused_{0};
};

// Decodes runs of the session's dispatch arrays (run k: sliceTotal[k]
// slices from the view partBuffer[k]) as the sequential loop does, taking
// the next run no worker has taken until none is left; returns the OR of
// the slice results; `runsTaken` counts the runs it took. Every run is
// decoded whole by one worker, so which worker takes which run does not
// change a byte.
int32_t decodeSliceRuns(DecodeState& session, const FrameBuffer& forward, const FrameBuffer& backward,
                        const FrameBuffer& output, int32_t& runsTaken);

}  // namespace quarlin
