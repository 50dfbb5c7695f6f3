// Background read of the next block of a file opened for unbuffered reads,
// with the kernel's asynchronous I/O (io_submit), which is truly
// asynchronous for direct I/O. Every read-ahead of the process shares one
// kernel context; each is used by one thread at a time, different ones from
// any threads at once.
#pragma once
#include <cstdint>

namespace quarlin::platform {

struct ReadAhead;

// Null when the kernel offers no asynchronous I/O; reads then stay plain.
ReadAhead* createReadAhead(int fd);
// Waits for the read in flight, if any, and frees the read-ahead.
void destroyReadAhead(ReadAhead* ahead);
// When the block at `offset` of `length` bytes was read ahead, waits for it,
// copies it out and returns true (got = bytes read, short at the end of the
// file); false when it was not (the caller reads it itself). Any other
// block read ahead is dropped.
bool takeReadAhead(ReadAhead* ahead, int64_t offset, void* destination, uint32_t length, uint32_t& got);
// Starts reading `length` bytes at `offset` in the background.
void startReadAhead(ReadAhead* ahead, int64_t offset, uint32_t length);

}  // namespace quarlin::platform
