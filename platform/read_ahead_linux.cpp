#include "platform/read_ahead_linux.h"

#include <linux/aio_abi.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

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

struct ReadAhead {
  int fd = -1;
  void* buffer = nullptr;
  uint32_t capacity = 0;
  bool pending = false;    // started and not yet taken or dropped
  bool inFlight = false;   // submitted and its completion not yet reaped
  long result = -1;        // bytes read, or -1, once reaped
  uint64_t generation = 0;  // the shared generation when it was submitted
  int64_t offset = 0;
  uint32_t length = 0;
  iocb request{};
};

namespace {

// One kernel context serves every file of the process: setting one up is
// cheap, but tearing one down waits for the kernel (tens of milliseconds),
// which would make every file close that slow. Each request carries its
// read-ahead's address, and whichever thread waits for the kernel hands
// every completion it reaps to that read-ahead, so each file gets exactly
// its own reads. A read-ahead is freed only once its read has completed, so
// no completion can name one that is gone or reused. Set up at first use;
// never destroyed, so that a thread still closing a file while the process
// ends finds it intact.
struct SharedContext {
  pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t reaped = PTHREAD_COND_INITIALIZER;
  aio_context_t context = 0;  // 0 until set up
  uint64_t generation = 0;    // counts the forks this process came from
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

// Hands reaped completions to their read-aheads; under the lock.
void deliver(const io_event* events, long count) {
  for (long i = 0; i < count; ++i) {
    auto* owner = reinterpret_cast<ReadAhead*>(static_cast<uintptr_t>(events[i].data));
    owner->inFlight = false;
    owner->result = events[i].res < 0 ? -1 : static_cast<long>(events[i].res);
  }
}

// Waits until the read of `ahead` has completed; the bytes read, or -1.
// One waiting thread at a time collects completions from the kernel (its
// own read is among those outstanding, so the wait ends); the others wait
// for it to hand theirs over.
long finish(ReadAhead* ahead) {
  Hold hold;
  ahead->pending = false;
  if (ahead->inFlight && ahead->generation != shared.generation) {
    ahead->inFlight = false;  // submitted before a fork
    ahead->result = -1;
  }
  while (ahead->inFlight) {
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
      ahead->inFlight = false;
      ahead->result = -1;
    }
    pthread_cond_broadcast(&shared.reaped);
  }
  return ahead->result;
}

}  // namespace

ReadAhead* createReadAhead(int fd) {
  Hold hold;
  if (shared.context == 0 && ioSetup(kQueueDepth, &shared.context) != 0) {
    shared.context = 0;
    return nullptr;
  }
  auto* ahead = new ReadAhead;
  ahead->fd = fd;
  ++shared.liveReadAheads;
  return ahead;
}

void destroyReadAhead(ReadAhead* ahead) {
  if (!ahead) return;
  // The kernel cannot cancel a file read: the one in flight is waited for,
  // so that it lands before its buffer is freed.
  finish(ahead);
  {
    Hold hold;
    --shared.liveReadAheads;
  }
  std::free(ahead->buffer);
  delete ahead;
}

bool takeReadAhead(ReadAhead* ahead, int64_t offset, void* destination, uint32_t length, uint32_t& got) {
  if (!ahead || !ahead->pending) return false;
  const bool match = ahead->offset == offset && ahead->length == length;
  const long result = finish(ahead);
  if (!match || result < 0) return false;
  got = static_cast<uint32_t>(result);
  std::memcpy(destination, ahead->buffer, got);
  return true;
}

void startReadAhead(ReadAhead* ahead, int64_t offset, uint32_t length) {
  if (!ahead) return;
  if (ahead->pending) finish(ahead);
  if (length > ahead->capacity) {
    std::free(ahead->buffer);
    ahead->buffer = nullptr;
    ahead->capacity = 0;
    if (posix_memalign(&ahead->buffer, kAlignment, length) != 0) {
      ahead->buffer = nullptr;
      return;
    }
    ahead->capacity = length;
  }
  aio_context_t context;
  {
    // Marked before it is submitted: another thread may reap it at once.
    Hold hold;
    if (shared.context == 0) return;  // a forked child that has not set one up
    context = shared.context;
    ahead->generation = shared.generation;
    ahead->inFlight = true;
  }
  ahead->request = iocb{};
  ahead->request.aio_data = reinterpret_cast<uintptr_t>(ahead);
  ahead->request.aio_lio_opcode = IOCB_CMD_PREAD;
  ahead->request.aio_fildes = static_cast<uint32_t>(ahead->fd);
  ahead->request.aio_buf = reinterpret_cast<uint64_t>(ahead->buffer);
  ahead->request.aio_nbytes = length;
  ahead->request.aio_offset = offset;
  iocb* requests[1] = {&ahead->request};
  if (ioSubmit(context, 1, requests) != 1) {
    Hold hold;
    ahead->inFlight = false;
    return;
  }
  ahead->pending = true;
  ahead->offset = offset;
  ahead->length = length;
}

}  // namespace quarlin::platform
