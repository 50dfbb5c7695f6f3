// The shared completion service. One Kelso::CriticalSection guards the
// service's existence, its counts and both request lists; the completion
// thread takes it only for a delivered completion. Stopping detaches the
// service under the lock and then waits for its thread outside the lock, so
// the wait can never block a thread that is waiting for the lock.
#include "io/completion_service.h"

#include <atomic>
#include <memory>
#include <new>

#include "foundation/host/host_services.h"
#include "foundation/kelso/allocator.h"
#include "foundation/kelso/critical_section.h"
#include "io/async_file_reader.h"
#include "io/reader_host_tables.h"
#include "platform/completion_port.h"
#include "platform/sync.h"
#include "platform/thread.h"

namespace quarlin::completion_service {
namespace {

// One started service: a port, its thread and the request pool.
struct Service {
  platform::CompletionPort port;
  platform::ThreadHandle thread;
  std::atomic<bool> running{true};
  ReadRequest* requests = nullptr;  // kReadRequestCount records
  ReadRequest* freeHead = nullptr;  // used last-in, first-out
  ReadRequest* pendingHead = nullptr;
  ReadRequest* pendingTail = nullptr;
};

struct Shared {
  Kelso::CriticalSection lock;
  Service* current = nullptr;
  // Changed by interlocked operations, and under the lock as well: a reader
  // opening while the last one closes then either keeps the old service
  // alive or starts a new one, never joins one that is being stopped.
  volatile int32_t openReaders = 0;
  int32_t starts = 0;
  int32_t stops = 0;
};

// In the child of a fork the service's thread does not exist: the child
// leaves the inherited service alone (stopping it would wait for ever) and
// starts one of its own when a reader opens there. Readers inherited from
// the parent then leave without stopping anything.
void forgetAfterFork();

Shared& shared() {
  static Shared* state = [] {
    platform::onForkChild(forgetAfterFork);
    return new Shared;  // lives as long as the process
  }();
  return *state;
}

void forgetAfterFork() {
  Shared& state = shared();
  new (&state.lock) Kelso::CriticalSection;  // a parent's thread may have held it; its memory is left
  state.current = nullptr;
  state.openReaders = 0;
}

// Releases the request's block (if any) through the host tables.
void releaseRequestBlock(ReadRequest& request) {
  if (!request.blockHandle) return;
  host::release(reader_tables::with(nullptr), request.blockHandle);
  request.blockHandle = nullptr;
}

// Unlinks `request` from the pending list; false when it is not there.
bool unlinkPending(Service& service, const ReadRequest* request) {
  ReadRequest* previous = nullptr;
  for (ReadRequest* r = service.pendingHead; r; previous = r, r = r->next) {
    if (r != request) continue;
    (previous ? previous->next : service.pendingHead) = r->next;
    if (service.pendingTail == r) service.pendingTail = previous;
    r->next = nullptr;
    return true;
  }
  return false;
}

void pushFree(Service& service, ReadRequest* request) {
  request->next = service.freeHead;
  service.freeHead = request;
}

// A completed read: offer the block to the owner's cache, release it, and
// return the request to the front of the free list. Completions that match
// no pending request (already dropped by a stop) are ignored.
void deliver(Service& service, const void* overlapped, AsyncFileReader* key) {
  Kelso::CriticalSectionLock hold(shared().lock);
  ReadRequest* request = nullptr;
  for (ReadRequest* r = service.pendingHead; r && !request; r = r->next)
    if (&r->overlapped == overlapped) request = r;
  if (!request) return;
  if (!request->cancelled && key)
    host::cacheInsert(reader_tables::with(key->cacheRef()), request->blockHandle,
                      request->blockIndex);
  releaseRequestBlock(*request);
  unlinkPending(service, request);
  pushFree(service, request);
}

uint32_t completionThread(void* argument) {
  auto& service = *static_cast<Service*>(argument);
  while (service.running.load(std::memory_order_acquire)) {
    uint32_t bytes = 0;
    void* key = nullptr;
    void* overlapped = nullptr;
    // A failed wait or an empty completion (the stop signal) only makes
    // the loop test `running` again.
    if (!service.port.wait(bytes, key, overlapped) || !overlapped) continue;
    deliver(service, overlapped, static_cast<AsyncFileReader*>(key));
  }
  return 0;
}

void destroyService(Service* service) {
  for (int32_t i = 0; i < kReadRequestCount; ++i) service->requests[i].~ReadRequest();
  Kelso::Allocator::Dispose(service->requests, sizeof(ReadRequest) * kReadRequestCount);
  delete service;
}

// Port, request pool (record 0 at the front of the free list) and thread;
// null when the thread cannot be started.
Service* startService() {
  auto service = std::make_unique<Service>();
  service->requests = static_cast<ReadRequest*>(
      Kelso::Allocator::Allocate(sizeof(ReadRequest) * kReadRequestCount));
  for (int32_t i = kReadRequestCount - 1; i >= 0; --i)
    pushFree(*service, new (&service->requests[i]) ReadRequest);
  service->thread = platform::createThread(completionThread, service.get(), u"QuarlinIoWait",
                                           platform::ThreadPriority::BelowNormal);
  if (!service->thread.valid()) {
    destroyService(service.release());
    return nullptr;
  }
  return service.release();
}

// Drops the pending requests of a service that is being stopped. No read
// is in flight on them: this build starts none, and a read-ahead posts its
// completion only after its read has finished.
void dropPending(Service& service) {
  while (ReadRequest* request = service.pendingHead) {
    service.pendingHead = request->next;
    releaseRequestBlock(*request);
    pushFree(service, request);
  }
  service.pendingTail = nullptr;
}

// Wakes the thread, waits for it to end, then frees the service.
void finishStop(Service* service) {
  service->port.post(0, nullptr, nullptr);
  platform::waitForThreads(&service->thread, 1, -1);
  platform::closeThread(service->thread);
  destroyService(service);
}

int32_t countList(const ReadRequest* head) {
  int32_t count = 0;
  for (; head; head = head->next) ++count;
  return count;
}

}  // namespace

bool join() {
  Shared& state = shared();
  Kelso::CriticalSectionLock hold(state.lock);
  if (!state.current) {
    state.current = startService();
    if (!state.current) return false;
    ++state.starts;
  }
  platform::interlockedIncrement(&state.openReaders);
  return true;
}

void leave() {
  Shared& state = shared();
  Service* stopping = nullptr;
  {
    Kelso::CriticalSectionLock hold(state.lock);
    if (platform::interlockedDecrement(&state.openReaders) > 0 || !state.current) return;
    state.openReaders = 0;  // readers from before a fork may leave after the child's
    stopping = state.current;
    state.current = nullptr;
    dropPending(*stopping);
    stopping->running.store(false, std::memory_order_release);
    ++state.stops;
  }
  finishStop(stopping);
}

bool bind(const platform::FileHandle& file, AsyncFileReader* reader) {
  Kelso::CriticalSectionLock hold(shared().lock);
  return shared().current && shared().current->port.bind(file, reader);
}

void cancelRequestsOf(const AsyncFileReader* owner) {
  Kelso::CriticalSectionLock hold(shared().lock);
  if (!shared().current) return;
  for (ReadRequest* r = shared().current->pendingHead; r; r = r->next)
    if (r->owner == owner) r->cancelled = true;
}

ReadRequest* startRequest(AsyncFileReader* owner, QuarlinMemoryHandle block, int32_t blockIndex,
                          int64_t offset) {
  Kelso::CriticalSectionLock hold(shared().lock);
  Service* service = shared().current;
  if (!service || !service->freeHead) return nullptr;
  ReadRequest* request = service->freeHead;
  service->freeHead = request->next;
  *request = ReadRequest{};
  request->blockHandle = block;
  request->blockIndex = blockIndex;
  request->overlapped.offset = offset;
  request->owner = owner;
  (service->pendingTail ? service->pendingTail->next : service->pendingHead) = request;
  service->pendingTail = request;
  return request;
}

void postCompletion(ReadRequest* request, uint32_t bytes) {
  Kelso::CriticalSectionLock hold(shared().lock);
  if (shared().current) shared().current->port.post(bytes, request->owner, &request->overlapped);
}

Diagnostics diagnostics() {
  Shared& state = shared();
  Kelso::CriticalSectionLock hold(state.lock);
  Diagnostics d;
  d.starts = state.starts;
  d.stops = state.stops;
  d.openReaders = state.openReaders;
  d.running = state.current != nullptr;
  if (state.current) {
    d.freeRequests = countList(state.current->freeHead);
    d.pendingRequests = countList(state.current->pendingHead);
  }
  return d;
}

}  // namespace quarlin::completion_service
