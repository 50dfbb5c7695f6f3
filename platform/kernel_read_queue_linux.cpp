#include "platform/kernel_read_queue_linux.h"

#include <linux/aio_abi.h>
#include <linux/io_uring.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace quarlin::platform {

namespace {

long ringEnter(int ring, unsigned toSubmit, unsigned minComplete, unsigned flags) {
  return syscall(__NR_io_uring_enter, ring, toSubmit, minComplete, flags, nullptr, 0);
}

void* mapRing(int ring, uint64_t bytes, long long offset) {
  void* at = mmap(nullptr, static_cast<size_t>(bytes), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE,
                  ring, static_cast<off_t>(offset));
  return at == MAP_FAILED ? nullptr : at;
}

unsigned* field(void* map, uint32_t offset) {
  return reinterpret_cast<unsigned*>(static_cast<char*>(map) + offset);
}

}  // namespace

bool KernelReadQueue::setUp(unsigned depth, KernelQueueKind kind) {
  if (kind == KernelQueueKind::Ring && setUpRing(depth)) return true;
  aio_context_t context = 0;
  if (syscall(SYS_io_setup, depth, &context) != 0) return false;
  aio_ = context;
  kind_ = KernelQueueKind::Aio;
  return true;
}

bool KernelReadQueue::setUpRing(unsigned depth) {
  io_uring_params p{};
  const long fd = syscall(__NR_io_uring_setup, depth, &p);
  if (fd < 0) return false;  // no io_uring, or forbidden
  ring_ = static_cast<int>(fd);
  depth_ = p.sq_entries;
  // IORING_OP_READ came with the same kernel (5.6) as this feature.
  if ((p.features & IORING_FEAT_RW_CUR_POS) == 0) {
    tearDown();
    return false;
  }
  sqMapBytes_ = p.sq_off.array + uint64_t{p.sq_entries} * sizeof(unsigned);
  cqMapBytes_ = p.cq_off.cqes + uint64_t{p.cq_entries} * sizeof(io_uring_cqe);
  const bool single = (p.features & IORING_FEAT_SINGLE_MMAP) != 0;
  if (single) sqMapBytes_ = cqMapBytes_ = std::max(sqMapBytes_, cqMapBytes_);
  kind_ = KernelQueueKind::Ring;  // from here tearDown unmaps what was mapped
  sqMap_ = mapRing(ring_, sqMapBytes_, IORING_OFF_SQ_RING);
  cqMap_ = single ? sqMap_ : mapRing(ring_, cqMapBytes_, IORING_OFF_CQ_RING);
  sqesBytes_ = uint64_t{p.sq_entries} * sizeof(io_uring_sqe);
  sqes_ = mapRing(ring_, sqesBytes_, IORING_OFF_SQES);
  if (!sqMap_ || !cqMap_ || !sqes_) {
    tearDown();
    return false;
  }
  sqTail_ = field(sqMap_, p.sq_off.tail);
  sqMask_ = field(sqMap_, p.sq_off.ring_mask);
  sqArray_ = field(sqMap_, p.sq_off.array);
  cqHead_ = field(cqMap_, p.cq_off.head);
  cqTail_ = field(cqMap_, p.cq_off.tail);
  cqMask_ = field(cqMap_, p.cq_off.ring_mask);
  cqes_ = field(cqMap_, p.cq_off.cqes);
  return true;
}

bool KernelReadQueue::submit(void* owner, int fd, void* buffer, uint32_t length, int64_t offset) {
  if (kind_ == KernelQueueKind::Aio) {
    iocb request{};
    request.aio_data = reinterpret_cast<uintptr_t>(owner);
    request.aio_lio_opcode = IOCB_CMD_PREAD;
    request.aio_fildes = static_cast<uint32_t>(fd);
    request.aio_buf = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(buffer));  // zero-extended on 32-bit
    request.aio_nbytes = length;
    request.aio_offset = offset;
    iocb* requests[1] = {&request};  // the kernel copies the request at submission
    return syscall(SYS_io_submit, aio_, 1, requests) == 1;
  }
  if (kind_ != KernelQueueKind::Ring || __atomic_load_n(&inFlight_, __ATOMIC_RELAXED) >= depth_) return false;
  // Only submitters write the tail, one at a time; the kernel reads the
  // entry only inside io_uring_enter, so an entry it did not take is taken
  // back.
  const unsigned tail = *sqTail_;
  const unsigned index = tail & *sqMask_;
  io_uring_sqe& entry = static_cast<io_uring_sqe*>(sqes_)[index];
  entry = io_uring_sqe{};
  entry.opcode = IORING_OP_READ;
  entry.fd = fd;
  entry.addr = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(buffer));
  entry.len = length;
  entry.off = static_cast<uint64_t>(offset);
  entry.user_data = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(owner));
  sqArray_[index] = index;
  __atomic_store_n(sqTail_, tail + 1, __ATOMIC_RELEASE);
  // Counted before the kernel has it, so a completion reaped at once never
  // takes the count below zero.
  __atomic_add_fetch(&inFlight_, 1, __ATOMIC_RELAXED);
  long taken;
  do {
    taken = ringEnter(ring_, 1, 0, 0);
  } while (taken < 0 && errno == EINTR);
  if (taken == 1) return true;
  __atomic_sub_fetch(&inFlight_, 1, __ATOMIC_RELAXED);
  __atomic_store_n(sqTail_, tail, __ATOMIC_RELEASE);
  return false;
}

long KernelReadQueue::wait(KernelCompletion* out, long maximum) {
  if (kind_ == KernelQueueKind::Aio) {
    io_event events[16];
    long n;
    do {
      n = syscall(SYS_io_getevents, aio_, 1, std::min(maximum, 16L), events, nullptr);
    } while (n < 0 && errno == EINTR);
    for (long i = 0; i < n; ++i)
      out[i] = {reinterpret_cast<void*>(static_cast<uintptr_t>(events[i].data)),
                events[i].res < 0 ? -1 : static_cast<long>(events[i].res)};
    return n > 0 ? n : -1;
  }
  if (kind_ != KernelQueueKind::Ring) return -1;
  // Only this waiter moves the head; the kernel publishes the tail.
  unsigned head = *cqHead_;
  unsigned tail = __atomic_load_n(cqTail_, __ATOMIC_ACQUIRE);
  while (head == tail) {
    if (ringEnter(ring_, 0, 1, IORING_ENTER_GETEVENTS) < 0 && errno != EINTR) return -1;
    tail = __atomic_load_n(cqTail_, __ATOMIC_ACQUIRE);
  }
  long n = 0;
  for (; head != tail && n < maximum; ++head, ++n) {
    const io_uring_cqe& c = static_cast<const io_uring_cqe*>(cqes_)[head & *cqMask_];
    out[n] = {reinterpret_cast<void*>(static_cast<uintptr_t>(c.user_data)), c.res < 0 ? -1 : long{c.res}};
  }
  __atomic_store_n(cqHead_, head, __ATOMIC_RELEASE);
  __atomic_sub_fetch(&inFlight_, static_cast<unsigned>(n), __ATOMIC_RELAXED);
  return n;
}

void KernelReadQueue::tearDown() {
  if (kind_ == KernelQueueKind::Aio) syscall(SYS_io_destroy, aio_);
  release();
}

void KernelReadQueue::release() {
  if (sqes_) munmap(sqes_, static_cast<size_t>(sqesBytes_));
  if (cqMap_ && cqMap_ != sqMap_) munmap(cqMap_, static_cast<size_t>(cqMapBytes_));
  if (sqMap_) munmap(sqMap_, static_cast<size_t>(sqMapBytes_));
  // Closing the ring ends it in the background: nothing here waits.
  if (ring_ >= 0) close(ring_);
  *this = KernelReadQueue{};
}

}  // namespace quarlin::platform
