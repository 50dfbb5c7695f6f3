// An I/O completion queue served by one waiting thread: the shape of a Win32
// completion port. Completions carry a byte count, a key and an opaque
// overlapped-request pointer; an empty post (no request) wakes the waiter.
#pragma once
#include <cstdint>

namespace quarlin::platform {

struct FileHandle;

class CompletionPort {
 public:
  CompletionPort();
  ~CompletionPort();
  CompletionPort(const CompletionPort&) = delete;
  CompletionPort& operator=(const CompletionPort&) = delete;

  // Associates a file opened for overlapped access with this port; its
  // completions will carry `key`.
  bool bind(const FileHandle& file, void* key);
  void post(uint32_t bytes, void* key, void* request);
  // Blocks until a completion is queued. False when the wait failed.
  bool wait(uint32_t& bytes, void*& key, void*& request);

 private:
  struct Impl;
  Impl* impl_;
};

}  // namespace quarlin::platform
