// Win32 backend of the completion port: an I/O completion port with a
// concurrency of one. Files bound to it deliver their overlapped reads'
// completions there; posts carry the library's own requests.
#include <windows.h>

#include "platform/completion_port.h"
#include "platform/file.h"

namespace quarlin::platform {

struct CompletionPort::Impl {
  HANDLE port;
};

CompletionPort::CompletionPort()
    : impl_(new Impl{CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1)}) {}

CompletionPort::~CompletionPort() {
  if (impl_->port) CloseHandle(impl_->port);
  delete impl_;
}

bool CompletionPort::bind(const FileHandle& file, void* key) {
  if (!file.valid() || !impl_->port) return false;
  // FileHandle keeps the handle's value in `fd` (file_win32.cpp).
  HANDLE handle = reinterpret_cast<HANDLE>(static_cast<intptr_t>(file.fd));
  return CreateIoCompletionPort(handle, impl_->port, reinterpret_cast<ULONG_PTR>(key), 0) != nullptr;
}

void CompletionPort::post(uint32_t bytes, void* key, void* request) {
  PostQueuedCompletionStatus(impl_->port, bytes, reinterpret_cast<ULONG_PTR>(key),
                             static_cast<OVERLAPPED*>(request));
}

bool CompletionPort::wait(uint32_t& bytes, void*& key, void*& request) {
  // Alertable, so that unloading can end the waiting thread
  // (library_entry_win32.h); an alert is a failed wait.
  OVERLAPPED_ENTRY entry{};
  ULONG removed = 0;
  if (!GetQueuedCompletionStatusEx(impl_->port, &entry, 1, &removed, INFINITE, TRUE) || removed != 1)
    return false;
  bytes = entry.dwNumberOfBytesTransferred;
  key = reinterpret_cast<void*>(entry.lpCompletionKey);
  request = entry.lpOverlapped;
  return true;
}

}  // namespace quarlin::platform
