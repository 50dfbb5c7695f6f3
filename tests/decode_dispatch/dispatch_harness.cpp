#include "tests/decode_dispatch/dispatch_harness.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <set>
#include <sstream>

#include "decode/frame_buffer.h"
#include "decode/frame_request.h"
#include "decode/slice_worker_pool.h"
#include "primitives/cpu_dispatch.h"
#include "tests/support/test_host.h"

namespace quarlin::dispatchtest {

// ---- Corpus -------------------------------------------------------------------

std::string streamPath(const std::string& file) { return std::string(QUARLIN_TEST_DATA) + "/streams/" + file; }

std::string CorpusStream::path() const { return streamPath(file); }

void PrintTo(const CorpusStream& stream, std::ostream* out) { *out << stream.file; }

std::vector<CorpusStream> decodableStreams() {
  std::vector<CorpusStream> out;
  std::ifstream in(std::string(QUARLIN_TEST_DATA) + "/corpus.tsv");
  std::string line;
  std::getline(in, line);  // column names
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string file, container, expect, frames;
    std::getline(fields, file, '\t');
    std::getline(fields, container, '\t');
    std::getline(fields, expect, '\t');
    std::getline(fields, frames, '\t');
    if (expect == "decodable") out.push_back(CorpusStream{file, container, std::atoi(frames.c_str())});
  }
  return out;
}

std::string testNameOf(const std::string& file) {
  std::string name = file;
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

std::vector<uint8_t> readFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quarlin-dispatch-XXXXXX").string();
  if (mkdtemp(pattern.data())) path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

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

HostPicture::HostPicture(const SequenceInfo& q, uint8_t fill)
    : lumaStride(q.stride),
      chromaStride(((q.stride >> 1) + 127) & ~127),
      mbWidth(q.mbWidth),
      mbHeight(codedMacroblockRows(q)) {
  plane[0].assign(static_cast<size_t>(lumaStride) * 16 * mbHeight, fill);
  plane[1].assign(static_cast<size_t>(chromaStride) * 8 * mbHeight, fill);
  plane[2].assign(static_cast<size_t>(chromaStride) * 8 * mbHeight, fill);
}

PlaneSet HostPicture::planeSet() const {
  PlaneSet set{};
  // The library writes through these addresses; the planes are this
  // picture's own storage.
  set.y.address = const_cast<uint8_t*>(plane[0].data());
  set.cb.address = const_cast<uint8_t*>(plane[1].data());
  set.cr.address = const_cast<uint8_t*>(plane[2].data());
  return set;
}

bool HostPicture::operator==(const HostPicture& other) const {
  return plane[0] == other.plane[0] && plane[1] == other.plane[1] && plane[2] == other.plane[2];
}

std::vector<uint8_t> HostPicture::pictureArea(const Scale& scale) const {
  const bool reduced = scale.reducedResolution != 0;
  const bool quarter = reduced && scale.reductionMode == 1;
  const int32_t columns = reduced ? 8 * mbWidth : 16 * mbWidth;
  const int32_t rows = quarter ? 8 * mbHeight : 16 * mbHeight;
  const int32_t strides[3] = {reduced ? reducedLumaStride(lumaStride) : lumaStride,
                              reduced ? reducedChromaStride(lumaStride) : chromaStride,
                              reduced ? reducedChromaStride(lumaStride) : chromaStride};
  std::vector<uint8_t> area;
  for (int p = 0; p < 3; ++p) {
    const int32_t w = p == 0 ? columns : columns / 2;
    const int32_t h = p == 0 ? rows : rows / 2;
    for (int32_t y = 0; y < h; ++y) {
      const auto row = plane[p].begin() + static_cast<std::ptrdiff_t>(y) * strides[p];
      area.insert(area.end(), row, row + w);
    }
  }
  return area;
}

std::string firstDifference(const HostPicture& a, const HostPicture& b) {
  static const char* const names[3] = {"Y", "Cb", "Cr"};
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
  decoded.picture = HostPicture(session_.firstSequence, fill);
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

// ---- Through the exports ------------------------------------------------------------

ExportedSession::ExportedSession(const std::string& path, const std::vector<uint8_t>& seekData,
                                 bool indexToEnd) {
  const std::u16string wide = test::u16(path);
  openResult_ = Quarlin_OpenFile(reinterpret_cast<const uint16_t*>(wide.c_str()), &test::testHostServices(),
                                 seekData.empty() ? nullptr : seekData.data(),
                                 static_cast<int32_t>(seekData.size()), &handle_);
  indexResult_ = openResult_;
  if (openResult_ != 0 && openResult_ != -4) handle_ = nullptr;
  if (indexToEnd) this->indexToEnd();
}

ExportedSession::~ExportedSession() { Quarlin_CloseFile(handle_); }

int32_t ExportedSession::indexToEnd() {
  float progress = 0;
  for (int guard = 0; handle_ && indexResult_ == -4 && guard < 100000; ++guard)
    indexResult_ = Quarlin_IndexFile(handle_, &progress);
  return indexResult_;
}

std::vector<uint8_t> ExportedSession::seekData() const {
  void* data = nullptr;
  int32_t size = 0;
  if (!handle_ || Quarlin_GetSeekData(handle_, &data, &size) != 0) return {};
  std::vector<uint8_t> block(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
  Quarlin_FreeSeekData(data);
  return block;
}

int32_t ExportedSession::getFrame(int32_t frame, const HostPicture* forward, const HostPicture* backward,
                                  const HostPicture& output, const Scale& scale) const {
  const PlaneSet forwardSet = forward ? forward->planeSet() : PlaneSet{};
  const PlaneSet backwardSet = backward ? backward->planeSet() : PlaneSet{};
  const PlaneSet outputSet = output.planeSet();
  return Quarlin_GetFrame(handle_, frame, forward ? &forwardSet : nullptr, backward ? &backwardSet : nullptr,
                          &outputSet, scale.reducedResolution, scale.reductionMode);
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

int32_t processThreadCount() {
  int32_t count = 0;
  std::error_code ignored;
  for (auto it = std::filesystem::directory_iterator("/proc/self/task", ignored);
       it != std::filesystem::directory_iterator(); it.increment(ignored))
    ++count;
  return count;
}

int32_t awaitThreadCount(int32_t count) {
  // Threads that have returned from their procedure still take a moment to
  // leave the task list; this bounds the wait, it does not time anything.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  int32_t now = processThreadCount();
  while (now != count && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    now = processThreadCount();
  }
  return now;
}

int32_t settledThreadCount() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  int32_t count = processThreadCount();
  auto since = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const int32_t now = processThreadCount();
    if (now != count) {
      count = now;
      since = std::chrono::steady_clock::now();
    } else if (std::chrono::steady_clock::now() - since >= std::chrono::milliseconds(100)) {
      break;
    }
  }
  return count;
}

}  // namespace quarlin::dispatchtest
