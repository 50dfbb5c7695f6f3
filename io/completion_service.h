// The completion service every file reader of the process shares: one
// completion port, one thread waiting on it at below-normal priority, and a
// pool of 2048 read requests. The first reader to open starts it, the last
// to close stops it, and a later open starts a fresh one.
//
// The port and the requests exist for read-ahead into the host's block
// cache. Readers do not start read-aheads in this build (their cache gate
// stays closed, see AsyncFileReader), so the pending list stays empty in
// practice; startRequest and postCompletion are the hooks such a read-ahead
// would use: take a request, read the block into its memory, post it.
#pragma once
#include <cstdint>

#include "platform/file.h"
#include "quarlin/quarlin.h"

namespace quarlin {

class AsyncFileReader;

// The file offset of an overlapped block read (no completion event).
struct ReadOverlapped {
  int64_t offset = 0;
};

// One overlapped block read.
struct ReadRequest {
  QuarlinMemoryHandle blockHandle = nullptr;  // host block being read into
  int32_t blockIndex = 0;
  ReadOverlapped overlapped;  // offset = blockIndex * blockSize
  AsyncFileReader* owner = nullptr;
  bool cancelled = false;     // the owner went away: release, do not cache
  ReadRequest* next = nullptr;  // link in the free or the pending list
};

inline constexpr int32_t kReadRequestCount = 2048;

namespace completion_service {

// Counts an opening reader in; the first one starts the service. False
// (nothing counted) when the port or the thread could not be created.
bool join();
// Counts a reader out; the last one stops the service: pending requests
// are dropped (their blocks released), the thread is woken by an empty
// completion and waited for, and the port is destroyed.
void leave();
// Associates a reader's overlapped handle with the port; completions of
// its reads carry the reader as key. False when no service is running.
bool bind(const platform::FileHandle& file, AsyncFileReader* reader);
// Marks every pending request of `owner` cancelled (the reader is being
// destroyed: the completion thread must not touch it).
void cancelRequestsOf(const AsyncFileReader* owner);

// Read-ahead hooks. startRequest takes the front of the free list, fills
// it and appends it to the pending list; null when the free list is empty
// or no service runs. postCompletion queues the request's completion on the
// port; the completion thread then offers its block to the owner's host
// cache (unless cancelled), releases the block and frees the request.
ReadRequest* startRequest(AsyncFileReader* owner, QuarlinMemoryHandle block, int32_t blockIndex,
                          int64_t offset);
void postCompletion(ReadRequest* request, uint32_t bytes);

// For tests and diagnostics.
struct Diagnostics {
  int32_t starts = 0;       // times the service was started
  int32_t stops = 0;        // times it was stopped
  int32_t openReaders = 0;  // readers counted in
  int32_t freeRequests = 0;
  int32_t pendingRequests = 0;
  bool running = false;
};
Diagnostics diagnostics();

}  // namespace completion_service
}  // namespace quarlin
