// AsyncFileReader: open, close and block loading.
#include "io/async_file_reader.h"

#include <algorithm>

#include "foundation/host/host_services.h"
#include "io/completion_service.h"
#include "io/reader_host_tables.h"
#include "io/volume_sector_size.h"

namespace quarlin {
namespace {
// Smallest block: one 64 KiB read amortises the system call and the host's
// allocation over enough bytes for indexing to stay I/O bound.
constexpr int64_t kMinimumBlockSize = 65536;
}  // namespace

AsyncFileReader::AsyncFileReader(const HostServices& services) : cacheRef_(services.cacheRef) {
  reader_tables::store(services);
}

AsyncFileReader::~AsyncFileReader() {
  cancelPending();
  close();
}

int32_t AsyncFileReader::open(const char16_t* path) {
  close();
  const int32_t result = openSteps(path);
  if (result != 0) close();
  return result;
}

int32_t AsyncFileReader::openSteps(const char16_t* path) {
  fileSize_ = 0;
  position_ = 0;
  uint32_t sectorSize = 0;
  if (!volumeSectorSize(path, sectorSize)) return kFileFailure;
  sectorSize_ = sectorSize;
  if (!completion_service::join()) return kFileFailure;
  registered_ = true;
  if (!platform::openFileUnbuffered(path, platform::FileAccess::Synchronous, syncHandle_))
    return kFileFailure;
  if (!platform::openFileUnbuffered(path, platform::FileAccess::Overlapped, overlappedHandle_) ||
      !completion_service::bind(overlappedHandle_, this))
    return kFileFailure;
  int64_t size = 0;
  if (!platform::fileSize(syncHandle_, size) || size <= 0) return kFileFailure;
  fileSize_ = size;
  platform::fileVersion(syncHandle_, fileVersion_);
  blockSize_ = std::max<int64_t>(sectorSize_, kMinimumBlockSize);
  blockOffset_ = kNoBlock;
  blockValid_ = 0;
  lastLoaded_ = -1;
  sequentialLoads_ = 0;
  return 0;
}

void AsyncFileReader::close() {
  platform::closeFile(syncHandle_);
  platform::closeFile(overlappedHandle_);
  if (registered_) {
    registered_ = false;
    completion_service::leave();
  }
  releaseBlock();
}

void AsyncFileReader::forgetIfChanged() {
  uint64_t version = 0;
  if (!platform::fileVersion(syncHandle_, version) || version == fileVersion_) return;
  fileVersion_ = version;
  releaseBlock();
  platform::discardReadAhead(syncHandle_);
  int64_t size = 0;
  if (platform::fileSize(syncHandle_, size)) fileSize_ = size;
}

void AsyncFileReader::cancelPending() { completion_service::cancelRequestsOf(this); }

void AsyncFileReader::releaseBlock() {
  if (blockHandle_) host::release(reader_tables::with(cacheRef_), blockHandle_);
  blockHandle_ = nullptr;
  blockData_ = nullptr;
  blockOffset_ = kNoBlock;
  blockValid_ = 0;
}

// A fresh host block of `size` bytes aligned to the sector size; -7 when
// the host refuses it.
int32_t AsyncFileReader::obtainBlock(int64_t size, uint8_t*& memory) {
  const HostServices tables = reader_tables::with(cacheRef_);
  QuarlinMemoryHandle handle = nullptr;
  if (host::allocate(tables, &handle, static_cast<uint32_t>(size), sectorSize_) != 0)
    return kHostMemoryFailure;
  void* address = nullptr;
  if (host::lock(tables, handle, &address) != 0 || !address) {
    host::release(tables, handle);
    return kHostMemoryFailure;
  }
  blockHandle_ = handle;
  memory = static_cast<uint8_t*>(address);
  blockData_ = memory;
  return 0;
}

// Makes the block holding position_ current. On return 0 the position lies
// in it: 0 <= indexInBlock() < blockValid_.
int32_t AsyncFileReader::loadBlock() {
  if (position_ >= fileSize_) return kEndOfData;
  if (indexInBlock() < blockValid_) return 0;
  if (position_ < 0) return kFileFailure;  // a seek before the start of the file
  releaseBlock();
  // 0 <= position_ < fileSize_: the block index fits 32 bits for files up
  // to 128 TiB; the offset is kept in 64 bits regardless.
  const int64_t index = position_ / blockSize_;
  const int64_t offset = index * blockSize_;
  sequentialLoads_ = index == lastLoaded_ + 1 ? sequentialLoads_ + 1 : 0;
  lastLoaded_ = index;
  if (sequentialLoads_ >= kSequentialLoads) {
    const int64_t span = (kReadAheadSpan + blockSize_ - 1) / blockSize_ * blockSize_;
    platform::readAhead(syncHandle_, offset, std::min(kReadAheadBytes, fileSize_ - offset),
                        static_cast<uint32_t>(span));
  }
  if (useReadAhead()) return 0;
  // A prefetched span is read whole, in whole blocks, as one block.
  int64_t size = blockSize_;
  const int64_t end = std::min(prefetchEnd_, fileSize_);
  if (end > offset + blockSize_ && end - offset <= 2 * kReadAheadBytes)
    size = (end - offset + blockSize_ - 1) / blockSize_ * blockSize_;
  prefetchEnd_ = 0;
  uint8_t* memory = nullptr;
  // A host that refuses the larger block may still give the usual one.
  if (size > blockSize_ && obtainBlock(size, memory) != 0) size = blockSize_;
  if (!memory) {
    if (const int32_t result = obtainBlock(size, memory); result != 0) return result;
  }
  uint32_t got = 0;
  if (!platform::readAt(syncHandle_, offset, memory, static_cast<uint32_t>(size), got)) {
    releaseBlock();
    return kFileFailure;
  }
  // A short read is the end of the file. Should the file have shrunk below
  // the size seen at open, the position may lie past the bytes read.
  const int64_t valid = std::min<int64_t>(got, fileSize_ - offset);
  if (position_ - offset >= valid) {
    releaseBlock();
    return kFileFailure;
  }
  blockOffset_ = offset;
  blockValid_ = static_cast<uint64_t>(valid);
  lastLoaded_ = (offset + valid - 1) / blockSize_;
  return 0;
}

void AsyncFileReader::prefetch(int64_t bytes) {
  // A position outside the file (damaged seek data) reads nothing anyway.
  const bool inFile = position_ >= 0 && position_ < fileSize_;
  prefetchEnd_ = bytes > 0 && inFile ? position_ + std::min(bytes, kReadAheadBytes) : 0;
}

// Serves the reads from the span read ahead that holds position_, when one
// does: the whole span becomes the current block (no copy, no host block),
// and the next load, of the block after it, continues the run.
bool AsyncFileReader::useReadAhead() {
  const uint8_t* bytes = nullptr;
  int64_t start = 0;
  uint32_t count = 0;
  if (!platform::readAheadView(syncHandle_, position_, bytes, start, count)) return false;
  const int64_t valid = std::min<int64_t>(count, fileSize_ - start);
  if (position_ - start >= valid) return false;
  blockData_ = bytes;
  blockOffset_ = start;
  blockValid_ = static_cast<uint64_t>(valid);
  lastLoaded_ = (start + valid - 1) / blockSize_;
  return true;
}

}  // namespace quarlin
