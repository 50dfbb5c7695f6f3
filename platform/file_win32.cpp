// Win32 backend of unbuffered file reads. FileHandle keeps the system handle
// in `fd`: Windows handle values fit in 32 bits (64-bit Windows keeps them
// so for 32-bit processes) and are never negative, and the invalid handle
// (all ones) reads as -1. Nothing is read ahead here: each read of a file
// opened without buffering goes to the disk when it is asked for.
#include <windows.h>

#include "platform/file.h"

namespace quarlin::platform {
namespace {

HANDLE handleOf(int fd) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd)); }
const wchar_t* wide(const char16_t* path) { return reinterpret_cast<const wchar_t*>(path); }

HANDLE open(const char16_t* path, DWORD flags) {
  // Others may read, write and rename the file meanwhile, as on POSIX.
  return CreateFileW(wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, flags, nullptr);
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
  return true;
}

void closeFile(FileHandle& file) {
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

void discardReadAhead(FileHandle&) {}
void readAhead(FileHandle&, int64_t, int64_t, uint32_t) {}
bool readAheadView(FileHandle&, int64_t, const uint8_t*&, int64_t&, uint32_t&) { return false; }

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
