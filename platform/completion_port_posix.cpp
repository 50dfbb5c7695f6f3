// POSIX backend of the completion port: a queue guarded by a mutex and a
// condition variable. Files opened here complete their reads synchronously,
// so binding records nothing; the queue carries posted completions.
#include "platform/completion_port.h"

#include <pthread.h>

#include <deque>

#include "platform/file.h"

namespace quarlin::platform {

struct CompletionPort::Impl {
  struct Completion {
    uint32_t bytes;
    void* key;
    void* request;
  };
  pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t queued = PTHREAD_COND_INITIALIZER;
  std::deque<Completion> queue;
};

CompletionPort::CompletionPort() : impl_(new Impl) {}
CompletionPort::~CompletionPort() { delete impl_; }

bool CompletionPort::bind(const FileHandle& file, void*) { return file.valid(); }

void CompletionPort::post(uint32_t bytes, void* key, void* request) {
  pthread_mutex_lock(&impl_->mutex);
  impl_->queue.push_back({bytes, key, request});
  pthread_cond_signal(&impl_->queued);
  pthread_mutex_unlock(&impl_->mutex);
}

bool CompletionPort::wait(uint32_t& bytes, void*& key, void*& request) {
  pthread_mutex_lock(&impl_->mutex);
  while (impl_->queue.empty()) pthread_cond_wait(&impl_->queued, &impl_->mutex);
  const Impl::Completion c = impl_->queue.front();
  impl_->queue.pop_front();
  pthread_mutex_unlock(&impl_->mutex);
  bytes = c.bytes;
  key = c.key;
  request = c.request;
  return true;
}

}  // namespace quarlin::platform
