#include "platform/read_ahead_linux.h"

#include <linux/aio_abi.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/read_ahead_spans.h"

namespace quarlin::platform {

namespace {
constexpr size_t kAlignment = 4096;  // suits every sector size up to 4 KiB and page-sized blocks
// Reads in flight at once across the process; a read-ahead the full queue
// refuses is simply not started.
constexpr unsigned kQueueDepth = 256;
constexpr long kEventsPerWait = 16;

long ioSetup(unsigned events, aio_context_t* context) { return syscall(SYS_io_setup, events, context); }
long ioDestroy(aio_context_t context) { return syscall(SYS_io_destroy, context); }
long ioSubmit(aio_context_t context, long count, iocb** requests) {
  return syscall(SYS_io_submit, context, count, requests);
}
long ioGetEvents(aio_context_t context, long minimum, long maximum, io_event* events) {
  return syscall(SYS_io_getevents, context, minimum, maximum, events, nullptr);
}
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
  iocb request{};
};

struct ReadAhead {
  int fd = -1;
  ReadAheadSpan spans[kMaxReadAheadSpans];
};

namespace {

// One kernel context serves every file of the process: setting one up is
// cheap, but tearing one down waits for the kernel (tens of milliseconds),
// which would make every file close that slow. Each request carries its
// span's address, and whichever thread waits for the kernel hands every
// completion it reaps to that span, so each file gets exactly its own
// reads. A span is dropped or reused only once its read has completed, so
// no completion can name one that is gone or reused. Set up by the first
// read started (a process that only seeks, as a frame request does, never
// pays for setting one up and tearing it down: io_destroy waits for the
// kernel, 40 ms here, even at exit); destroyed only as below, so that a
// thread still closing a file while the process ends finds it intact.
struct SharedContext {
  pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t reaped = PTHREAD_COND_INITIALIZER;
  aio_context_t context = 0;  // 0 until set up
  uint64_t generation = 0;    // counts the forks this process came from
  bool unavailable = false;   // io_setup failed: no context is asked for again
  bool reaping = false;       // a thread waits for completions in the kernel
  int64_t liveReadAheads = 0;
};
constinit SharedContext shared;

class Hold {
 public:
  Hold() { pthread_mutex_lock(&shared.mutex); }
  ~Hold() { pthread_mutex_unlock(&shared.mutex); }
};

// A forked child has none of the parent's contexts, threads or reads in
// flight: it starts afresh (nothing else runs there yet), and a read the
// parent submitted counts as failed there.
void renewAfterFork() {
  shared.mutex = PTHREAD_MUTEX_INITIALIZER;
  shared.reaped = PTHREAD_COND_INITIALIZER;
  shared.context = 0;
  ++shared.generation;
  shared.reaping = false;
}
[[maybe_unused]] const int renewRegistered = pthread_atfork(nullptr, nullptr, renewAfterFork);

// When the library is unloaded (or the process ends) with no read-ahead
// left, the kernel context goes too; one still in use (a session the host
// never closed) keeps it until the process ends.
struct Teardown {
  ~Teardown() {
    Hold hold;
    if (shared.context != 0 && shared.liveReadAheads == 0) {
      ioDestroy(shared.context);
      shared.context = 0;
    }
  }
} teardown;

// Hands reaped completions to their spans; under the lock.
void deliver(const io_event* events, long count) {
  for (long i = 0; i < count; ++i) {
    auto* owner = reinterpret_cast<ReadAheadSpan*>(static_cast<uintptr_t>(events[i].data));
    owner->inFlight = false;
    owner->result = events[i].res < 0 ? -1 : static_cast<long>(events[i].res);
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
    const aio_context_t context = shared.context;
    pthread_mutex_unlock(&shared.mutex);
    io_event events[kEventsPerWait];
    long n;
    do {
      n = ioGetEvents(context, 1, kEventsPerWait, events);
    } while (n < 0 && errno == EINTR);
    pthread_mutex_lock(&shared.mutex);
    shared.reaping = false;
    if (n > 0) {
      deliver(events, n);
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
  aio_context_t context;
  {
    // Marked before it is submitted: another thread may reap it at once.
    Hold hold;
    if (shared.context == 0) {
      // Without asynchronous I/O reads stay plain; asked once per process.
      if (shared.unavailable || ioSetup(kQueueDepth, &shared.context) != 0) {
        shared.context = 0;
        shared.unavailable = true;
        return false;
      }
    }
    context = shared.context;
    span.generation = shared.generation;
    span.inFlight = true;
  }
  span.request = iocb{};
  span.request.aio_data = reinterpret_cast<uintptr_t>(&span);
  span.request.aio_lio_opcode = IOCB_CMD_PREAD;
  span.request.aio_fildes = static_cast<uint32_t>(ahead.fd);
  span.request.aio_buf = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(span.buffer));  // zero-extended on 32-bit
  span.request.aio_nbytes = length;
  span.request.aio_offset = offset;
  iocb* requests[1] = {&span.request};
  if (ioSubmit(context, 1, requests) != 1) {
    Hold hold;
    span.inFlight = false;
    return false;
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
