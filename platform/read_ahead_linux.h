// Background reads of a file opened for unbuffered reads, through the
// kernel's queue of reads (kernel_read_queue_linux.h), truly asynchronous
// for direct I/O.
// A read-ahead holds up to kMaxReadAheadSpans spans of the file, each read
// (or being read) in one request, so that several reads are in flight ahead
// of the reader. Every read-ahead of the process shares one kernel context;
// each is used by one thread at a time, different ones from any threads at
// once.
#pragma once
#include <cstdint>

namespace quarlin::platform {

struct ReadAhead;

inline constexpr int kMaxReadAheadSpans = 8;

// The kernel context is set up by the first read started; without
// asynchronous I/O no read starts and reads stay plain.
ReadAhead* createReadAhead(int fd);
// Waits for the reads in flight, if any, and frees the read-ahead.
void destroyReadAhead(ReadAhead* ahead);
// When a span holds the byte at `offset`, waits for its read and gives its
// bytes read (`count` of them from file offset `start`), which stay valid
// until the next startReadAhead or dropReadAhead; false when none does, or
// its read failed or ended before `offset` (the caller reads it itself).
bool viewReadAhead(ReadAhead* ahead, int64_t offset, const uint8_t*& bytes, int64_t& start, uint32_t& count);
// Starts reading, in the background, the spans of `span` bytes that begin
// at multiples of `span` in [offset, offset + length) and are not held yet;
// spans that end at or before `offset` are dropped first, and others outside
// the range only when a span is needed. Returns the bytes asked of the
// kernel. `span` must be a multiple of the sector size.
int64_t startReadAhead(ReadAhead* ahead, int64_t offset, int64_t length, uint32_t span);
// Waits for every read in flight and forgets every span.
void dropReadAhead(ReadAhead* ahead);

}  // namespace quarlin::platform
