// Unbuffered block reads of one file. Every call the file reader makes on the
// operating system goes through here.
#pragma once
#include <cstdint>

namespace quarlin::platform {

// An open file; `fd` is -1 when invalid. `fallbackFd` is a buffered handle on
// the same file, opened when the file system refuses unbuffered access for a
// read (tmpfs does) so that the reader works everywhere.
struct ReadAhead;

// `readAhead`, when present, reads the block after each synchronous read in
// the background, so that sequential block reads overlap the caller's work
// with the disk's (the reads themselves stay unbuffered).
struct FileHandle {
  int fd = -1;
  int fallbackFd = -1;
  bool unbuffered = false;
  ReadAhead* readAhead = nullptr;
  bool valid() const { return fd >= 0; }
};

enum class FileAccess { Synchronous, Overlapped };

// Opens an existing file for reading with no buffering (O_DIRECT where the
// file system accepts it). `path` is NUL-terminated UTF-16. False on failure.
bool openFileUnbuffered(const char16_t* path, FileAccess access, FileHandle& out);
void closeFile(FileHandle& file);
// Size in bytes; false on failure.
bool fileSize(const FileHandle& file, int64_t& size);
// Reads up to `length` bytes at `offset` into `destination`. With unbuffered
// access `offset`, `length` and `destination` must be sector aligned. A short
// read at the end of the file is not a failure. False on an I/O error.
bool readAt(FileHandle& file, int64_t offset, void* destination, uint32_t length,
            uint32_t& got);

// A value that changes whenever the file's size or modification time does.
bool fileVersion(const FileHandle& file, uint64_t& version);
// Forgets a block read ahead (the file changed under it).
void discardReadAhead(FileHandle& file);

// Volume facts for the volume holding `path`, in the shape of the Win32 disk
// free-space query. False on failure.
bool diskFreeSpace(const char16_t* path, uint32_t& sectorsPerCluster, uint32_t& bytesPerSector,
                   uint32_t& freeClusters, uint32_t& totalClusters);

}  // namespace quarlin::platform
