// Unbuffered block reads of one file. Every call the file reader makes on the
// operating system goes through here.
#pragma once
#include <cstdint>

namespace quarlin::platform {

// An open file; `fd` is -1 when invalid. `fallbackFd` is a buffered handle on
// the same file, opened when the file system refuses unbuffered access for a
// read (tmpfs does) so that the reader works everywhere.
struct ReadAhead;

// `readAhead`, when present, reads spans of the file in the background
// (several at once, see readAhead), so that sequential block reads overlap
// the caller's work with the disk's (the reads themselves stay unbuffered).
// `bytesRead` counts the bytes asked of the file system, directly and in the
// background.
struct FileHandle {
  int fd = -1;
  int fallbackFd = -1;
  bool unbuffered = false;
  ReadAhead* readAhead = nullptr;
  int64_t bytesRead = 0;
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
// Starts background reads of the spans of `span` bytes (a multiple of the
// sector size) that begin at multiples of `span` in [offset, offset +
// length), several in flight at once; spans already held or being read are
// not read again, and those that end at or before `offset` are dropped. Does
// nothing where the file is read through the system's cache.
void readAhead(FileHandle& file, int64_t offset, int64_t length, uint32_t span);
// When a span read ahead holds the byte at `offset`: waits for its read and
// gives the bytes it read, `count` of them from file offset `start`, valid
// until the next readAhead, discardReadAhead or closeFile. False when none
// does or its read failed (read the bytes with readAt then).
bool readAheadView(FileHandle& file, int64_t offset, const uint8_t*& bytes, int64_t& start, uint32_t& count);

// A value that changes whenever the file's size or modification time does.
bool fileVersion(const FileHandle& file, uint64_t& version);
// Forgets every span read ahead (the file changed under it).
void discardReadAhead(FileHandle& file);

// Volume facts for the volume holding `path`, in the shape of the Win32 disk
// free-space query. False on failure.
bool diskFreeSpace(const char16_t* path, uint32_t& sectorsPerCluster, uint32_t& bytesPerSector,
                   uint32_t& freeClusters, uint32_t& totalClusters);

}  // namespace quarlin::platform
