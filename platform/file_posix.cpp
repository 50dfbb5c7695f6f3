// POSIX backend of unbuffered file reads.
#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/path.h"
#include "platform/read_ahead_linux.h"

namespace quarlin::platform {

bool openFileUnbuffered(const char16_t* path, FileAccess access, FileHandle& out) {
  out = FileHandle{};
  const std::string name = utf8FromUtf16(path);
  if (name.empty()) return false;
  // Only regular files: opening a named pipe would wait for a writer.
  struct stat before;
  if (stat(name.c_str(), &before) != 0 || !S_ISREG(before.st_mode)) return false;
  int fd = open(name.c_str(), O_RDONLY | O_DIRECT | O_CLOEXEC);
  if (fd >= 0) {
    out.unbuffered = true;
  } else if (errno == EINVAL) {
    // The file system does not do direct I/O (tmpfs): read through the cache.
    fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
  }
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return false;
  }
  out.fd = fd;
  if (out.unbuffered) {
    out.fallbackFd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (access == FileAccess::Synchronous) out.readAhead = createReadAhead(fd);
  }
  return true;
}

void closeFile(FileHandle& file) {
  destroyReadAhead(file.readAhead);
  if (file.fd >= 0) close(file.fd);
  if (file.fallbackFd >= 0) close(file.fallbackFd);
  file = FileHandle{};
}

bool fileSize(const FileHandle& file, int64_t& size) {
  struct stat st;
  if (!file.valid() || fstat(file.fd, &st) != 0) return false;
  size = st.st_size;
  return true;
}

bool fileVersion(const FileHandle& file, uint64_t& version) {
  struct stat st;
  if (!file.valid() || fstat(file.fd, &st) != 0) return false;
  const uint64_t nanoseconds = static_cast<uint64_t>(st.st_mtim.tv_sec) * 1000000000ull +
                               static_cast<uint64_t>(st.st_mtim.tv_nsec);
  version = nanoseconds * 31 + static_cast<uint64_t>(st.st_size);
  return true;
}

void discardReadAhead(FileHandle& file) { dropReadAhead(file.readAhead); }

void readAhead(FileHandle& file, int64_t offset, int64_t length, uint32_t span) {
  file.bytesRead += startReadAhead(file.readAhead, offset, length, span);
}

bool readAheadView(FileHandle& file, int64_t offset, const uint8_t*& bytes, int64_t& start, uint32_t& count) {
  return viewReadAhead(file.readAhead, offset, bytes, start, count);
}

namespace {
// Reads until `length` bytes or the end of the file.
bool readFully(int fd, int64_t offset, void* destination, uint32_t length, uint32_t& got) {
  got = 0;
  auto* out = static_cast<unsigned char*>(destination);
  while (got < length) {
    const ssize_t n = pread(fd, out + got, length - got, offset + got);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) break;
    got += static_cast<uint32_t>(n);
    // Direct reads come back in whole sectors; a short one is the end.
    if (got % 512 != 0) break;
  }
  return true;
}
}  // namespace

bool readAt(FileHandle& file, int64_t offset, void* destination, uint32_t length,
            uint32_t& got) {
  got = 0;
  if (!file.valid()) return false;
  file.bytesRead += length;
  if (readFully(file.fd, offset, destination, length, got)) return true;
  // Some file systems accept O_DIRECT at open but refuse the read itself.
  if (errno == EINVAL && file.fallbackFd >= 0)
    return readFully(file.fallbackFd, offset, destination, length, got);
  return false;
}

bool diskFreeSpace(const char16_t* path, uint32_t& sectorsPerCluster, uint32_t& bytesPerSector,
                   uint32_t& freeClusters, uint32_t& totalClusters) {
  const std::string name = utf8FromUtf16(path);
  struct statvfs vfs;
  if (name.empty() || statvfs(name.c_str(), &vfs) != 0) return false;
  // The file system block is the unit of aligned direct I/O here.
  sectorsPerCluster = 1;
  bytesPerSector = static_cast<uint32_t>(vfs.f_bsize);
  freeClusters = static_cast<uint32_t>(vfs.f_bavail > 0xFFFFFFFFu ? 0xFFFFFFFFu : vfs.f_bavail);
  totalClusters = static_cast<uint32_t>(vfs.f_blocks > 0xFFFFFFFFu ? 0xFFFFFFFFu : vfs.f_blocks);
  return true;
}

}  // namespace quarlin::platform
