#include "tests/decode_dispatch/dispatch_harness.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <sstream>

#include "slice/frame_buffer.h"
#include "decode/frame_request.h"
#include "decode/slice_worker_pool.h"
#include "primitives/cpu_dispatch.h"
#include "tests/support/test_host.h"

namespace quarlin::dispatchtest {

// ---- Sessions -----------------------------------------------------------------

TestSession::TestSession(const std::string& path, bool indexToEnd) {
  // As the library's load does, before anything decodes.
  selectPrimitives();
  const std::u16string wide = test::u16(path);
  session_ = std::make_unique<DecoderSession>(wide.c_str(), test::testHostServices());
  openResult_ = session_->open(nullptr, 0);
  indexResult_ = openResult_;
  if (!indexToEnd) return;
  float progress = 0;
  for (int guard = 0; indexResult_ == -4 && guard < 100000; ++guard) {
    const int32_t r = session_->indexSlice(kIndexFileScanBudget, &progress);
    indexResult_ = r == kScanBudgetUsed ? -4 : r;
  }
}

std::vector<int32_t> TestSession::frameNumbers() const {
  std::vector<int32_t> numbers;
  for (const auto& [number, entry] : session_->frameIndex.entries()) numbers.push_back(number);
  return numbers;
}

// ---- Pictures -------------------------------------------------------------------

namespace {
// Macroblock rows of a coded frame (ISO/IEC 13818-2 6.3.3): an interlaced
// sequence codes whole field macroblock rows, so 144 lines take 10 rows.
int32_t codedMacroblockRows(const SequenceInfo& q) {
  return q.progressiveSequence ? (q.height + 15) / 16 : 2 * ((q.height + 31) / 32);
}
}  // namespace

GuardedPlane::GuardedPlane(size_t size, uint8_t fill) : size_(size) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  mappingSize_ = (size + page - 1) / page * page + page;
  void* m = mmap(nullptr, mappingSize_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (m == MAP_FAILED) throw std::bad_alloc();
  mapping_ = static_cast<uint8_t*>(m);
  mprotect(mapping_ + mappingSize_ - page, page, PROT_NONE);
  data_ = mapping_ + mappingSize_ - page - size;
  std::memset(data_, fill, size);
}

GuardedPlane::GuardedPlane(const GuardedPlane& other) : GuardedPlane(other.size_, 0) {
  std::memcpy(data_, other.data_, size_);
}

GuardedPlane& GuardedPlane::operator=(const GuardedPlane& other) {
  if (this != &other) {
    GuardedPlane copy(other);
    std::swap(mapping_, copy.mapping_);
    std::swap(mappingSize_, copy.mappingSize_);
    std::swap(data_, copy.data_);
    std::swap(size_, copy.size_);
  }
  return *this;
}

GuardedPlane::~GuardedPlane() { release(); }

void GuardedPlane::release() {
  if (mapping_) munmap(mapping_, mappingSize_);
  mapping_ = data_ = nullptr;
}

bool GuardedPlane::operator==(const GuardedPlane& other) const {
  return size_ == other.size_ && std::memcmp(data_, other.data_, size_) == 0;
}

HostPicture::HostPicture(const DecoderSession& session, uint8_t fill)
    : lumaStride(session.firstSequence.stride),
      chromaStride(((lumaStride >> 1) + 127) & ~127),
      mbWidth(session.firstSequence.mbWidth),
      mbHeight(codedMacroblockRows(session.firstSequence)) {
  int32_t lumaSize = 0, chromaSize = 0;
  session.getFrameSizes(lumaSize, chromaSize);
  plane[0] = GuardedPlane(static_cast<size_t>(lumaSize), fill);
  plane[1] = GuardedPlane(static_cast<size_t>(chromaSize), fill);
  plane[2] = GuardedPlane(static_cast<size_t>(chromaSize), fill);
}

PlaneSet HostPicture::planeSet() const {
  PlaneSet set{};
  // The library writes through these addresses; the planes are this
  // picture's own storage.
  set.y.address = plane[0].data();
  set.cb.address = plane[1].data();
  set.cr.address = plane[2].data();
  return set;
}

bool HostPicture::operator==(const HostPicture& other) const {
  return plane[0] == other.plane[0] && plane[1] == other.plane[1] && plane[2] == other.plane[2];
}

namespace {
const char* const kPlaneNames[3] = {"Y", "Cb", "Cr"};

// Where the picture of a scale lies in plane p: whole macroblocks, top-left,
// at the scale's strides.
struct PlaneArea {
  size_t width, height, stride;
  bool contains(size_t offset) const { return offset % stride < width && offset / stride < height; }
};

PlaneArea areaOf(const HostPicture& picture, const Scale& scale, int p) {
  const bool reduced = scale.reducedResolution != 0;
  const int32_t columns = (reduced ? 8 : 16) * picture.mbWidth;
  const int32_t rows = (reduced && scale.reductionMode == 1 ? 8 : 16) * picture.mbHeight;
  const int32_t luma = picture.lumaStride;
  const int32_t stride = !reduced ? (p == 0 ? luma : picture.chromaStride)
                                  : (p == 0 ? reducedLumaStride(luma) : reducedChromaStride(luma));
  return PlaneArea{static_cast<size_t>(p == 0 ? columns : columns / 2),
                   static_cast<size_t>(p == 0 ? rows : rows / 2), static_cast<size_t>(stride)};
}
}  // namespace

std::vector<uint8_t> HostPicture::pictureArea(const Scale& scale) const {
  std::vector<uint8_t> area;
  for (int p = 0; p < 3; ++p) {
    const PlaneArea a = areaOf(*this, scale, p);
    for (size_t y = 0; y < a.height; ++y)
      area.insert(area.end(), plane[p].begin() + y * a.stride, plane[p].begin() + y * a.stride + a.width);
  }
  return area;
}

std::string HostPicture::writtenOutside(const Scale& scale, uint8_t fill) const {
  for (int p = 0; p < 3; ++p) {
    const PlaneArea a = areaOf(*this, scale, p);
    for (size_t o = 0; o < plane[p].size(); ++o) {
      if (a.contains(o) || plane[p][o] == fill) continue;
      std::ostringstream where;
      where << kPlaneNames[p] << " row " << o / a.stride << " column " << o % a.stride << " (stride " << a.stride
            << ")";
      return where.str();
    }
  }
  return "";
}

std::string firstDifference(const HostPicture& a, const HostPicture& b) {
  const char* const* names = kPlaneNames;
  for (int p = 0; p < 3; ++p) {
    if (a.plane[p].size() != b.plane[p].size()) return std::string(names[p]) + " sizes differ";
    const int32_t stride = p == 0 ? a.lumaStride : a.chromaStride;
    for (size_t i = 0; i < a.plane[p].size(); ++i) {
      if (a.plane[p][i] != b.plane[p][i]) {
        std::ostringstream where;
        where << names[p] << " row " << i / static_cast<size_t>(stride) << " column "
              << i % static_cast<size_t>(stride) << ": " << int(a.plane[p][i]) << " vs " << int(b.plane[p][i]);
        return where.str();
      }
    }
  }
  return "";
}

// ---- Host-like decoding -------------------------------------------------------------

FrameStore::FrameStore(DecoderSession& session, const Scale& scale, uint8_t fill)
    : session_(session), scale_(scale), fill_(fill) {}

const DecodedFrame& FrameStore::frame(int32_t number) {
  auto it = frames_.find(number);
  if (it != frames_.end()) return it->second;
  DecodedFrame decoded = decodeWithReferences(number, fill_);
  return frames_.emplace(number, std::move(decoded)).first->second;
}

void FrameStore::decodeAll() {
  for (const auto& [number, entry] : session_.frameIndex.entries()) frame(number);
}

DecodedFrame FrameStore::decodeAgain(int32_t number, uint8_t fill) { return decodeWithReferences(number, fill); }

DecodedFrame FrameStore::decodeWithReferences(int32_t number, uint8_t fill) {
  int32_t forwardRef = -1, backwardRef = -1;
  session_.frameIndex.dependencies(number, forwardRef, backwardRef);
  // A reference is never the frame itself or a later anchor that needs
  // this frame; the index guarantees an acyclic order.
  const HostPicture* forward = forwardRef >= 0 && forwardRef != number ? &frame(forwardRef).picture : nullptr;
  const HostPicture* backward = backwardRef >= 0 && backwardRef != number ? &frame(backwardRef).picture : nullptr;
  PlaneSet forwardSet = forward ? forward->planeSet() : PlaneSet{};
  PlaneSet backwardSet = backward ? backward->planeSet() : PlaneSet{};

  DecodedFrame decoded;
  decoded.picture = HostPicture(session_, fill);
  const PlaneSet outputSet = decoded.picture.planeSet();
  decoded.result = decodeFrame(session_, number, forward ? &forwardSet : nullptr,
                               backward ? &backwardSet : nullptr, &outputSet, scale_.reducedResolution,
                               scale_.reductionMode);
  decoded.fieldCoded = session_.picture.pictureStructure != 3;
  decoded.pictureType = session_.picture.pictureCodingType;
  decoded.forwardGiven = forward != nullptr;
  return decoded;
}

std::map<int32_t, DecodedFrame> decodeStream(const std::string& path, const Scale& scale) {
  TestSession session(path);
  FrameStore store(*session, scale);
  store.decodeAll();
  return store.frames();
}

int32_t getFrame(const ExportedSession& session, int32_t frame, const HostPicture* forward,
                 const HostPicture* backward, const HostPicture& output, const Scale& scale) {
  const PlaneSet forwardSet = forward ? forward->planeSet() : PlaneSet{};
  const PlaneSet backwardSet = backward ? backward->planeSet() : PlaneSet{};
  const PlaneSet outputSet = output.planeSet();
  return Quarlin_GetFrame(session.handle(), frame, forward ? &forwardSet : nullptr,
                          backward ? &backwardSet : nullptr, &outputSet, scale.reducedResolution,
                          scale.reductionMode);
}

// ---- The pool -------------------------------------------------------------------------

void recreatePool(int32_t workers) {
  SliceWorkerPool& pool = SliceWorkerPool::instance();
  pool.destroy();
  if (workers > 0) pool.create(workers);
}

struct PoolHolder::Signals {
  std::mutex mutex;
  std::condition_variable changed;
  bool taken = false;
  bool done = false;
};

PoolHolder::PoolHolder() : signals_(std::make_unique<Signals>()) {
  Signals& s = *signals_;
  thread_ = std::thread([this, &s] {
    const bool held = SliceWorkerPool::instance().tryAcquire();
    std::unique_lock<std::mutex> lock(s.mutex);
    holding_ = held;
    s.taken = true;
    s.changed.notify_all();
    s.changed.wait(lock, [&] { return s.done; });
    if (held) SliceWorkerPool::instance().release();
  });
  std::unique_lock<std::mutex> lock(s.mutex);
  s.changed.wait(lock, [&] { return s.taken; });
}

PoolHolder::~PoolHolder() {
  {
    std::lock_guard<std::mutex> lock(signals_->mutex);
    signals_->done = true;
  }
  signals_->changed.notify_all();
  thread_.join();
}

std::map<int32_t, DecodedFrame> decodeSequentially(const std::string& path, const Scale& scale) {
  recreatePool(2);
  SliceWorkerPool& pool = SliceWorkerPool::instance();
  PoolHolder busy;
  EXPECT_TRUE(busy.holding());
  const int64_t dispatchedBefore = pool.picturesDispatched();
  std::map<int32_t, DecodedFrame> frames = decodeStream(path, scale);
  EXPECT_EQ(pool.picturesDispatched(), dispatchedBefore) << "a picture reached the workers of a busy pool";
  return frames;
}

}  // namespace quarlin::dispatchtest
