#include "platform/read_ahead_linux.h"

#include <pthread.h>

#include <cstdlib>
#include <cstring>

#include "platform/kernel_read_queue_linux.h"
#include "platform/read_ahead_spans.h"

namespace quarlin::platform {

namespace {
constexpr size_t kAlignment = 4096;  // suits every sector size up to 4 KiB and page-sized blocks
// Reads in flight at once across the process; a read-ahead the full queue
// refuses is simply not started.
constexpr unsigned kQueueDepth = 256;
constexpr long kEventsPerWait = 16;
}  // namespace

// One span of the file read in the background.
struct ReadAheadSpan {
  void* buffer = nullptr;  // `capacity` bytes, aligned for direct I/O
  uint32_t capacity = 0;
  bool held = false;        // started and not yet dropped
  bool inFlight = false;    // submitted and its completion not yet reaped
  long result = -1;         // bytes read, or -1, once reaped
  uint64_t generation = 0;  // the shared generation when it was submitted
  int64_t offset = 0;
  uint32_t length = 0;
};

struct ReadAhead {
  int fd = -1;
  ReadAheadSpan spans[kMaxReadAheadSpans];
};

namespace {

// One kernel queue serves every file of the process: setting one up is
// cheap, but tearing down the older kind waits for the kernel (tens of
// milliseconds), which would make every file close that slow. Each request
// carries its span's address, and whichever thread waits for the kernel
// hands every completion it reaps to that span, so each file gets exactly
// its own reads. A span is dropped or reused only once its read has
// completed, so no completion can name one that is gone or reused. Set up
// by the first read started (a process that only seeks, as a frame request
// does, never sets one up); torn down only as below, so that a thread still
// closing a file while the process ends finds it intact.
struct SharedContext {
  pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t reaped = PTHREAD_COND_INITIALIZER;
  KernelReadQueue queue;      // inactive until set up
  uint64_t generation = 0;    // counts the forks this process came from
  bool unavailable = false;   // no queue could be set up: none is asked for again
  bool reaping = false;       // a thread waits for completions in the kernel
  int64_t liveReadAheads = 0;
};
constinit SharedContext shared;

class Hold {
 public:
  Hold() { pthread_mutex_lock(&shared.mutex); }
  ~Hold() { pthread_mutex_unlock(&shared.mutex); }
};

// A forked child has none of the parent's threads or reads in flight, and
// must not share its queue (it holds the parent's ring mapped, and none of
// its older kind): it lets go of it and starts afresh (nothing else runs
// there yet), and a read the parent submitted counts as failed there.
void renewAfterFork() {
  shared.mutex = PTHREAD_MUTEX_INITIALIZER;
  shared.reaped = PTHREAD_COND_INITIALIZER;
  shared.queue.release();
  ++shared.generation;
  shared.reaping = false;
}
[[maybe_unused]] const int renewRegistered = pthread_atfork(nullptr, nullptr, renewAfterFork);

// When the library is unloaded (or the process ends) with no read-ahead
// left, the kernel queue goes too; one still in use (a session the host
// never closed) keeps it until the process ends.
struct Teardown {
  ~Teardown() {
    Hold hold;
    if (shared.liveReadAheads == 0) shared.queue.tearDown();
  }
} teardown;

// Hands reaped completions to their spans; under the lock.
void deliver(const KernelCompletion* completions, long count) {
  for (long i = 0; i < count; ++i) {
    auto* owner = static_cast<ReadAheadSpan*>(completions[i].owner);
    owner->inFlight = false;
    owner->result = completions[i].result;
  }
}

// Waits until the read of `span` has completed; the bytes read, or -1.
// One waiting thread at a time collects completions from the kernel (its
// own read is among those outstanding, so the wait ends); the others wait
// for it to hand theirs over.
long finish(ReadAheadSpan& span) {
  Hold hold;
  if (span.inFlight && span.generation != shared.generation) {
    span.inFlight = false;  // submitted before a fork
    span.result = -1;
  }
  while (span.inFlight) {
    if (shared.reaping) {
      pthread_cond_wait(&shared.reaped, &shared.mutex);
      continue;
    }
    shared.reaping = true;
    pthread_mutex_unlock(&shared.mutex);
    KernelCompletion completions[kEventsPerWait];
    const long n = shared.queue.wait(completions, kEventsPerWait);
    pthread_mutex_lock(&shared.mutex);
    shared.reaping = false;
    if (n > 0) {
      deliver(completions, n);
    } else {
      // The context is unusable, so no read runs in it; the other waiters
      // find the same.
      span.inFlight = false;
      span.result = -1;
    }
    pthread_cond_broadcast(&shared.reaped);
  }
  return span.result;
}

// Forgets a span once its read has landed (the kernel cannot cancel one).
void drop(ReadAheadSpan& span) {
  if (!span.held) return;
  finish(span);
  span.held = false;
}

bool submit(ReadAhead& ahead, ReadAheadSpan& span, int64_t offset, uint32_t length) {
  if (length > span.capacity) {
    std::free(span.buffer);
    span.buffer = nullptr;
    span.capacity = 0;
    if (posix_memalign(&span.buffer, kAlignment, length) != 0) {
      span.buffer = nullptr;
      return false;
    }
    span.capacity = length;
  }
  {
    // Submitted under the lock (the queue takes one submitter at a time),
    // and marked before: another thread may reap it at once.
    Hold hold;
    if (!shared.queue.active()) {
      // Without asynchronous I/O reads stay plain; asked once per process.
      if (shared.unavailable || !shared.queue.setUp(kQueueDepth, KernelQueueKind::Ring)) {
        shared.unavailable = true;
        return false;
      }
    }
    span.generation = shared.generation;
    span.inFlight = true;
    if (!shared.queue.submit(&span, ahead.fd, span.buffer, length, offset)) {
      span.inFlight = false;
      return false;
    }
  }
  span.held = true;
  span.offset = offset;
  span.length = length;
  return true;
}

}  // namespace

ReadAhead* createReadAhead(int fd) {
  Hold hold;
  auto* ahead = new ReadAhead;
  ahead->fd = fd;
  ++shared.liveReadAheads;
  return ahead;
}

void destroyReadAhead(ReadAhead* ahead) {
  if (!ahead) return;
  // The reads in flight are waited for, so that they land before their
  // buffers are freed.
  dropReadAhead(ahead);
  {
    Hold hold;
    --shared.liveReadAheads;
  }
  for (ReadAheadSpan& span : ahead->spans) std::free(span.buffer);
  delete ahead;
}

void dropReadAhead(ReadAhead* ahead) {
  if (!ahead) return;
  for (ReadAheadSpan& span : ahead->spans) drop(span);
}

bool viewReadAhead(ReadAhead* ahead, int64_t offset, const uint8_t*& bytes, int64_t& start, uint32_t& count) {
  if (!ahead) return false;
  for (ReadAheadSpan& span : ahead->spans) {
    if (!span.held || offset < span.offset || offset >= span.offset + span.length) continue;
    const long result = finish(span);
    if (result <= offset - span.offset) {  // failed, or short of `offset`
      span.held = false;
      return false;
    }
    bytes = static_cast<const uint8_t*>(span.buffer);
    start = span.offset;
    count = static_cast<uint32_t>(result);
    return true;
  }
  return false;
}

int64_t startReadAhead(ReadAhead* ahead, int64_t offset, int64_t length, uint32_t span) {
  if (!ahead) return 0;
  return startSpans(
      ahead->spans, offset, length, span, [](ReadAheadSpan& s) { drop(s); },
      [ahead](ReadAheadSpan& s, int64_t at, uint32_t bytes) { return submit(*ahead, s, at, bytes); });
}

}  // namespace quarlin::platform
