// The kernel's queue of background reads: io_uring where the kernel offers it
// (Linux 5.6 and later, unless a sandbox forbids it), else the older
// asynchronous I/O (io_submit), which is as asynchronous for direct I/O but
// whose teardown waits for the kernel: io_destroy, or the process's exit
// with a context still set up, takes 30 to 40 ms here. Tearing a ring down
// does not wait.
//
// Not thread-safe by itself: the caller serialises setUp, submit and
// tearDown, and lets one thread at a time wait; submissions may run while
// that thread waits.
#pragma once
#include <cstdint>

namespace quarlin::platform {

enum class KernelQueueKind { None, Ring, Aio };

// A finished read: the `owner` given to submit and the bytes read, or -1.
struct KernelCompletion {
  void* owner;
  long result;
};

class KernelReadQueue {
 public:
  // Sets up a queue of `depth` reads in flight, of `kind` or, for Ring, of
  // either kind; false when none is available.
  bool setUp(unsigned depth, KernelQueueKind kind);
  KernelQueueKind kind() const { return kind_; }
  bool active() const { return kind_ != KernelQueueKind::None; }
  // Starts reading `length` bytes at `offset` of `fd` into `buffer`; its
  // completion carries `owner`. False when the kernel refused it.
  bool submit(void* owner, int fd, void* buffer, uint32_t length, int64_t offset);
  // Waits for at least one completion and gives up to `maximum` of them;
  // the count, or -1 when the queue failed.
  long wait(KernelCompletion* out, long maximum);
  void tearDown();
  // In a forked child: lets go of the parent's queue, which stays the
  // parent's (the child's mappings and descriptor of it are released).
  void release();

 private:
  bool setUpRing(unsigned depth);
  KernelQueueKind kind_ = KernelQueueKind::None;
  // io_uring: its descriptor and the three shared mappings.
  int ring_ = -1;
  void* sqMap_ = nullptr;
  void* cqMap_ = nullptr;  // sqMap_ when the kernel maps both rings at once
  void* sqes_ = nullptr;
  uint64_t sqMapBytes_ = 0, cqMapBytes_ = 0, sqesBytes_ = 0;
  unsigned *sqTail_ = nullptr, *sqMask_ = nullptr, *sqArray_ = nullptr;
  unsigned *cqHead_ = nullptr, *cqTail_ = nullptr, *cqMask_ = nullptr;
  void* cqes_ = nullptr;
  // Reads submitted and not yet reaped; beyond the depth the completion
  // ring could overflow, so submit refuses.
  unsigned inFlight_ = 0;
  unsigned depth_ = 0;
  // io_submit: the context.
  unsigned long aio_ = 0;
};

}  // namespace quarlin::platform
