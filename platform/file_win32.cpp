// Win32 backend of unbuffered file reads. FileHandle keeps the system handle
// in `fd`: Windows handle values fit in 32 bits (64-bit Windows keeps them
// so for 32-bit processes) and are never negative, and the invalid handle
// (all ones) reads as -1. A file opened for synchronous reads without
// buffering also gets a read-ahead: a second handle opened for overlapped
// access on which up to kMaxReadAheadSpans ReadFile calls are in flight at
// once, each into its own buffer with its own event.
#include <windows.h>

#include "platform/file.h"
#include "platform/read_ahead_spans.h"

namespace quarlin::platform {

// One span of the file read in the background.
struct ReadAheadSpan {
  uint8_t* buffer = nullptr;  // `capacity` bytes, page aligned (so sector aligned)
  uint32_t capacity = 0;
  HANDLE done = nullptr;  // the read's manual-reset event
  OVERLAPPED request{};
  bool held = false;      // started and not yet dropped
  bool finished = false;  // its result has been collected
  bool ok = false;
  DWORD got = 0;
  int64_t offset = 0;
  uint32_t length = 0;
};

constexpr int kMaxReadAheadSpans = 8;

struct ReadAhead {
  HANDLE file = INVALID_HANDLE_VALUE;
  ReadAheadSpan spans[kMaxReadAheadSpans];
};

namespace {

HANDLE handleOf(int fd) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd)); }
const wchar_t* wide(const char16_t* path) { return reinterpret_cast<const wchar_t*>(path); }

HANDLE open(const char16_t* path, DWORD flags) {
  // Others may read, write and rename the file meanwhile, as on POSIX.
  return CreateFileW(wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, flags, nullptr);
}

// Waits for the span's read (a read cannot be abandoned while it may still
// write into the buffer) and keeps its result.
void finish(ReadAhead& ahead, ReadAheadSpan& span) {
  if (span.finished) return;
  DWORD bytes = 0;
  span.ok = GetOverlappedResult(ahead.file, &span.request, &bytes, TRUE) != FALSE;
  if (!span.ok && GetLastError() == ERROR_HANDLE_EOF) {  // at or past the end: nothing read
    span.ok = true;
    bytes = 0;
  }
  span.got = bytes;
  span.finished = true;
}

void drop(ReadAhead& ahead, ReadAheadSpan& span) {
  if (!span.held) return;
  finish(ahead, span);
  span.held = false;
}

bool submit(ReadAhead& ahead, ReadAheadSpan& span, int64_t offset, uint32_t length) {
  if (length > span.capacity) {
    if (span.buffer) VirtualFree(span.buffer, 0, MEM_RELEASE);
    span.buffer = static_cast<uint8_t*>(VirtualAlloc(nullptr, length, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    span.capacity = span.buffer ? length : 0;
    if (!span.buffer) return false;
  }
  if (!span.done && !(span.done = CreateEventW(nullptr, TRUE, FALSE, nullptr))) return false;
  ResetEvent(span.done);
  span.request = OVERLAPPED{};
  span.request.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset));
  span.request.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
  span.request.hEvent = span.done;
  span.finished = false;
  DWORD bytes = 0;
  if (!ReadFile(ahead.file, span.buffer, length, &bytes, &span.request)) {
    const DWORD error = GetLastError();
    if (error == ERROR_HANDLE_EOF) {
      span.finished = span.ok = true;
      span.got = 0;
    } else if (error != ERROR_IO_PENDING) {
      return false;
    }
  }
  span.held = true;
  span.offset = offset;
  span.length = length;
  return true;
}

void destroyReadAhead(ReadAhead* ahead) {
  if (!ahead) return;
  for (ReadAheadSpan& span : ahead->spans) {
    drop(*ahead, span);
    if (span.buffer) VirtualFree(span.buffer, 0, MEM_RELEASE);
    if (span.done) CloseHandle(span.done);
  }
  CloseHandle(ahead->file);
  delete ahead;
}

}  // namespace

bool openFileUnbuffered(const char16_t* path, FileAccess access, FileHandle& out) {
  out = FileHandle{};
  if (!path || !*path) return false;
  const DWORD overlapped = access == FileAccess::Overlapped ? FILE_FLAG_OVERLAPPED : 0;
  HANDLE file = open(path, FILE_FLAG_NO_BUFFERING | overlapped);
  out.unbuffered = file != INVALID_HANDLE_VALUE;
  // A file system that refuses unbuffered access is read through the cache.
  if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_INVALID_PARAMETER)
    file = open(path, overlapped);
  if (file == INVALID_HANDLE_VALUE) return false;
  // Only files on disk: a pipe or a device would block or misread.
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    out.unbuffered = false;
    return false;
  }
  out.fd = static_cast<int>(reinterpret_cast<intptr_t>(file));
  if (access == FileAccess::Synchronous && out.unbuffered) {
    HANDLE background = open(path, FILE_FLAG_NO_BUFFERING | FILE_FLAG_OVERLAPPED);
    if (background != INVALID_HANDLE_VALUE) {
      out.readAhead = new ReadAhead;
      out.readAhead->file = background;
    }
  }
  return true;
}

void closeFile(FileHandle& file) {
  destroyReadAhead(file.readAhead);
  if (file.valid()) CloseHandle(handleOf(file.fd));
  file = FileHandle{};
}

bool fileSize(const FileHandle& file, int64_t& size) {
  LARGE_INTEGER value;
  if (!file.valid() || !GetFileSizeEx(handleOf(file.fd), &value)) return false;
  size = value.QuadPart;
  return true;
}

bool fileVersion(const FileHandle& file, uint64_t& version) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!file.valid() || !GetFileInformationByHandle(handleOf(file.fd), &info)) return false;
  const uint64_t written = (static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                           info.ftLastWriteTime.dwLowDateTime;
  const uint64_t size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  version = written * 31 + size;
  return true;
}

void discardReadAhead(FileHandle& file) {
  if (!file.readAhead) return;
  for (ReadAheadSpan& span : file.readAhead->spans) drop(*file.readAhead, span);
}

void readAhead(FileHandle& file, int64_t offset, int64_t length, uint32_t span) {
  ReadAhead* ahead = file.readAhead;
  if (!ahead) return;
  file.bytesRead += startSpans(
      ahead->spans, offset, length, span, [ahead](ReadAheadSpan& s) { drop(*ahead, s); },
      [ahead](ReadAheadSpan& s, int64_t at, uint32_t bytes) { return submit(*ahead, s, at, bytes); });
}

bool readAheadView(FileHandle& file, int64_t offset, const uint8_t*& bytes, int64_t& start, uint32_t& count) {
  ReadAhead* ahead = file.readAhead;
  if (!ahead) return false;
  for (ReadAheadSpan& span : ahead->spans) {
    if (!span.held || offset < span.offset || offset >= span.offset + span.length) continue;
    finish(*ahead, span);
    if (!span.ok || span.got <= offset - span.offset) {  // failed, or short of `offset`
      span.held = false;
      return false;
    }
    bytes = span.buffer;
    start = span.offset;
    count = span.got;
    return true;
  }
  return false;
}

bool readAt(FileHandle& file, int64_t offset, void* destination, uint32_t length, uint32_t& got) {
  got = 0;
  if (!file.valid()) return false;
  file.bytesRead += length;
  // A positioned read. Its event (with the low bit set, so that a handle
  // bound to a completion port queues nothing there) serves handles opened
  // for overlapped access; for the others the read completes in the call.
  OVERLAPPED request{};
  request.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset));
  request.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!done) return false;
  request.hEvent = reinterpret_cast<HANDLE>(reinterpret_cast<uintptr_t>(done) | 1);
  DWORD bytes = 0;
  bool ok = ReadFile(handleOf(file.fd), destination, length, &bytes, &request) != FALSE;
  if (!ok && GetLastError() == ERROR_IO_PENDING)
    ok = GetOverlappedResult(handleOf(file.fd), &request, &bytes, TRUE) != FALSE;
  // Reading at or past the end is a short read of nothing.
  if (!ok && GetLastError() == ERROR_HANDLE_EOF) {
    ok = true;
    bytes = 0;
  }
  CloseHandle(done);
  got = bytes;
  return ok;
}

bool diskFreeSpace(const char16_t* path, uint32_t& sectorsPerCluster, uint32_t& bytesPerSector,
                   uint32_t& freeClusters, uint32_t& totalClusters) {
  // The query takes the volume's root, not a file on it.
  wchar_t root[MAX_PATH + 1];
  if (!path || !GetVolumePathNameW(wide(path), root, MAX_PATH + 1)) return false;
  DWORD perCluster = 0, sector = 0, freeCount = 0, total = 0;
  if (!GetDiskFreeSpaceW(root, &perCluster, &sector, &freeCount, &total)) return false;
  sectorsPerCluster = perCluster;
  bytesPerSector = sector;
  freeClusters = freeCount;
  totalClusters = total;
  return true;
}

}  // namespace quarlin::platform
