// AsyncFileReader: the MPEG file of one decoder session, read with
// unbuffered, block-aligned I/O. It keeps exactly one block of the file in
// host memory and serves byte reads, big-endian 16- and 32-bit reads, seeks
// and a start-code search from it, loading the block that holds the read
// position synchronously when a read leaves the current one.
//
// Blocks are max(sector size, 65536) bytes at block-aligned file offsets, in
// host memory aligned to the sector size (allocated and locked through the
// host's tables, released when the reader moves on). A reader is used by one
// thread at a time and takes no lock; the completion service it joins at
// open is shared by all readers of the process.
//
// Result codes: kReadOk; kEndOfData (the read starts at or past the file
// size); kFileFailure (disk query, open, size, seek, read); kHostMemoryFailure
// (the host could not allocate or lock a block).
//
// Reading ahead: once the reader has loaded kSequentialLoads blocks one
// after another, each block load also keeps the next kReadAheadBytes of the
// file being read in the background, in large aligned spans with several in
// flight (platform::readAhead), and the blocks are served from them: the
// same bytes, so the index scan runs at the speed of large unbuffered reads.
// A seek ends the run, so a frame request, which seeks to its picture,
// reads only the blocks its picture needs (unless the picture is larger
// than the run), in one read when it announces the picture's size
// (prefetch).
//
// Read-ahead into the host's block cache is not built: `cacheEnabled_` is the
// gate such a path would test; it is false after construction, nothing in
// the library sets it, and block loads do not consult it. The completion
// service keeps the request pool and completion thread such a path would use.
#pragma once
#include <cstdint>

#include "io/read_result.h"

#include "platform/file.h"
#include "quarlin/quarlin.h"

namespace quarlin {

class AsyncFileReader {
 public:
  explicit AsyncFileReader(const HostServices& services);
  // Cancels the reader's pending read-aheads, then closes it if still open.
  ~AsyncFileReader();
  AsyncFileReader(const AsyncFileReader&) = delete;
  AsyncFileReader& operator=(const AsyncFileReader&) = delete;

  // Opens `path` (NUL-terminated UTF-16); 0 or -6. A failed open leaves the
  // reader closed. Opening an open reader closes its file first.
  int32_t open(const char16_t* path);
  // Closes both file handles, leaves the completion service (the last reader
  // stops it) and releases the current block. Safe to repeat.
  void close();
  // Marks this reader's pending read-aheads cancelled.
  void cancelPending();
  bool isOpen() const { return syncHandle_.valid(); }

  // Reads `count` bytes to `destination`; `got` receives how many were
  // read. A read running past the end delivers the bytes that exist, then
  // zero-fills the rest of the destination and returns -4; a failing read
  // zero-fills from the failure on. A negative count reads nothing.
  int32_t read(void* destination, int32_t count, int32_t& got);
  // Single values; written only on 0. The 16- and 32-bit forms are
  // big-endian (first byte most significant).
  int32_t readByte(uint8_t& value);
  int32_t readU16BE(uint16_t& value);
  int32_t readU32BE(uint32_t& value);

  int64_t getPosition() const { return position_; }
  // Moves the position by `delta` (either way); no bounds check: a position
  // before the start reads -6, one at or past the end -4.
  void skip(int64_t delta) {
    position_ = static_cast<int64_t>(static_cast<uint64_t>(position_) + static_cast<uint64_t>(delta));
  }
  void rewind() { position_ = 0; }
  int64_t getFileSize() const { return fileSize_; }

  // The next block load reads, in one read, the blocks up to `bytes` past
  // the read position (at most kReadAheadBytes): a frame request, after its
  // seek, has its picture read at once instead of a block at a time.
  void prefetch(int64_t bytes);

  // Moves just past the next start code 00 00 01 xx (any number of extra
  // leading zeros) whose value 0x100 | xx equals `target`; `code` holds the
  // last value examined. 0, or the read error that ended the search.
  int32_t findStartCode(uint32_t target, uint32_t& code);
  // At the byte after a PES_packet_length field: the byte two further on
  // (PES_header_data_length) + 3, the bytes from here to the payload.
  // The position is left unchanged.
  int32_t peekPesHeaderLength(int32_t& length);

  // When the file changed since the current block was read (another
  // program rewrote it), forgets every byte held from it and takes its new
  // size, so that what follows is read afresh.
  void forgetIfChanged();

  void setCacheEnabled(bool enabled) { cacheEnabled_ = enabled; }
  bool cacheEnabled() const { return cacheEnabled_; }
  void* cacheRef() const { return cacheRef_; }
  uint32_t sectorSize() const { return sectorSize_; }
  int64_t blockSize() const { return blockSize_; }
  // Bytes asked of the file system since open, block loads and reads ahead.
  int64_t bytesRequested() const { return syncHandle_.bytesRead; }

  // Block loads in a row, each of the block after the previous one, after
  // which reading ahead starts; and how far ahead it reads, in spans of
  // kReadAheadSpan bytes (rounded up to whole blocks).
  static constexpr int32_t kSequentialLoads = 16;
  static constexpr int64_t kReadAheadSpan = int64_t{1} << 20;
  static constexpr int64_t kReadAheadBytes = 4 * kReadAheadSpan;

 private:
  // blockOffset_ when no block is held: far beyond any file.
  static constexpr int64_t kNoBlock = 0x0F00000000000000;

  // Index of the read position in the current block; at or above
  // blockValid_ when the position lies outside it (before, after, no block).
  uint64_t indexInBlock() const {
    return static_cast<uint64_t>(position_) - static_cast<uint64_t>(blockOffset_);
  }
  int32_t openSteps(const char16_t* path);
  int32_t loadBlock();
  bool useReadAhead();
  int32_t obtainBlock(int64_t size, uint8_t*& memory);
  void releaseBlock();
  int32_t skipPastZeroByte();
  int32_t readByteSlow(uint8_t& value);
  int32_t readU16BESlow(uint16_t& value);
  int32_t readU32BESlow(uint32_t& value);

  platform::FileHandle syncHandle_;        // synchronous unbuffered reads
  platform::FileHandle overlappedHandle_;  // overlapped reads, bound to the port
  QuarlinMemoryHandle blockHandle_ = nullptr;
  const uint8_t* blockData_ = nullptr;  // locked address of blockHandle_, or a span read ahead
  void* cacheRef_;
  bool cacheEnabled_ = false;
  uint32_t sectorSize_ = 0;       // a power of two
  int64_t fileSize_ = 0;
  uint64_t fileVersion_ = 0;  // size and modification time when the file was last seen
  int64_t blockOffset_ = kNoBlock;
  int64_t blockSize_ = 0;         // max(sectorSize_, 65536) once open
  int64_t position_ = 0;          // offset of the next byte to read
  bool registered_ = false;       // counted in by the completion service
  int64_t lastLoaded_ = -1;       // block index of the last block load
  int32_t sequentialLoads_ = 0;   // loads in a row of the block after the last
  int64_t prefetchEnd_ = 0;  // the file offset the next load reads up to; 0: one block
  // Bytes of the current block that hold file data, 1 .. its size (0 with
  // no block): the read fast paths test one unsigned comparison.
  uint64_t blockValid_ = 0;
};

// The fast paths: the value lies in the current block.

inline int32_t AsyncFileReader::readByte(uint8_t& value) {
  const uint64_t at = indexInBlock();
  if (at >= blockValid_) return readByteSlow(value);
  value = blockData_[at];
  ++position_;
  return 0;
}

inline int32_t AsyncFileReader::readU16BE(uint16_t& value) {
  const uint64_t at = indexInBlock();
  if (at >= blockValid_ || blockValid_ - at < 2) return readU16BESlow(value);
  const uint8_t* bytes = blockData_ + at;
  value = static_cast<uint16_t>((bytes[0] << 8) | bytes[1]);
  position_ += 2;
  return 0;
}

inline int32_t AsyncFileReader::readU32BE(uint32_t& value) {
  const uint64_t at = indexInBlock();
  if (at >= blockValid_ || blockValid_ - at < 4) return readU32BESlow(value);
  const uint8_t* bytes = blockData_ + at;
  value = (static_cast<uint32_t>(bytes[0]) << 24) | (static_cast<uint32_t>(bytes[1]) << 16) |
          (static_cast<uint32_t>(bytes[2]) << 8) | bytes[3];
  position_ += 4;
  return 0;
}

}  // namespace quarlin
