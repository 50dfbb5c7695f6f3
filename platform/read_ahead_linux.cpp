#include "platform/read_ahead_linux.h"

#include <linux/aio_abi.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace quarlin::platform {

namespace {
constexpr size_t kAlignment = 4096;  // suits every sector size up to 4 KiB and page-sized blocks

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
  aio_context_t context = 0;
  int fd = -1;
  void* buffer = nullptr;
  uint32_t capacity = 0;
  bool pending = false;
  int64_t offset = 0;
  uint32_t length = 0;
  iocb request{};
};

ReadAhead* createReadAhead(int fd) {
  auto* ahead = new ReadAhead;
  ahead->fd = fd;
  if (ioSetup(1, &ahead->context) != 0) {
    delete ahead;
    return nullptr;
  }
  return ahead;
}

namespace {
// Waits for the read in flight; the number of bytes read, or -1.
long finish(ReadAhead* ahead) {
  ahead->pending = false;
  io_event event{};
  for (;;) {
    const long n = ioGetEvents(ahead->context, 1, 1, &event);
    if (n == 1) return static_cast<long>(event.res);
    if (n < 0 && errno == EINTR) continue;
    return -1;
  }
}
}  // namespace

void destroyReadAhead(ReadAhead* ahead) {
  if (!ahead) return;
  if (ahead->pending) finish(ahead);
  ioDestroy(ahead->context);
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
  ahead->request = iocb{};
  ahead->request.aio_lio_opcode = IOCB_CMD_PREAD;
  ahead->request.aio_fildes = static_cast<uint32_t>(ahead->fd);
  ahead->request.aio_buf = reinterpret_cast<uint64_t>(ahead->buffer);
  ahead->request.aio_nbytes = length;
  ahead->request.aio_offset = offset;
  iocb* requests[1] = {&ahead->request};
  if (ioSubmit(ahead->context, 1, requests) != 1) return;
  ahead->pending = true;
  ahead->offset = offset;
  ahead->length = length;
}

}  // namespace quarlin::platform
