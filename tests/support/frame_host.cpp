#include "tests/support/frame_host.h"

#include "decode/frame_request.h"
#include "decode/slice_worker_pool.h"
#include "index/index_scan.h"
#include "primitives/cpu_dispatch.h"
#include "tests/support/guarded_plane.h"
#include "tests/support/test_host.h"

namespace quarlin::test {

InternalSession::InternalSession(const std::string& path) {
  selectPrimitives();  // as the library's load does
  const std::u16string wide = u16(path);
  session_ = std::make_unique<DecoderSession>(wide.c_str(), testHostServices());
  indexResult_ = session_->open(nullptr, 0);
  float progress = 0;
  for (int guard = 0; indexResult_ == -4 && guard < 100000; ++guard) {
    const int32_t r = session_->indexSlice(kIndexFileScanBudget, &progress);
    indexResult_ = r == kScanBudgetUsed ? -4 : r;
  }
}

int32_t HostDecoder::dependencies(int32_t frame, int32_t& forward, int32_t& backward) {
  if (exported_) return Quarlin_GetFrameDependancies(exported_, frame, &forward, &backward);
  return internal_->frameIndex.dependencies(frame, forward, backward) == 0 ? 0 : QUARLIN_NOT_FOUND;
}

int32_t HostDecoder::decode(int32_t frame, const PlaneSet& forward, const PlaneSet& backward, const PlaneSet& output,
                            DecodeScale scale) {
  const int32_t reduced = tool::reducedResolutionOption(scale), mode = tool::reductionModeOption(scale);
  const int64_t before = picturesDispatched();
  const int32_t result = exported_ ? Quarlin_GetFrame(exported_, frame, &forward, &backward, &output, reduced, mode)
                                   : decodeFrame(*internal_, frame, &forward, &backward, &output, reduced, mode);
  const PictureInfo* p = internal_ ? &internal_->picture : nullptr;
  calls.push_back(Call{frame, result, picturesDispatched() - before,
                       !p ? 0 : p->pictureStructure != 3 ? 2 : forward.y.address || p->pictureCodingType == 1});
  return result;
}

FileInfo HostDecoder::fileInfo() const {
  FileInfo info{};
  if (exported_) Quarlin_GetFileInfo(exported_, &info);
  else internal_->getFileInfo(&info);
  return info;
}

tool::FrameGeometry HostDecoder::geometry() const {
  const FileInfo info = fileInfo();
  int32_t luma = 0, chroma = 0;
  if (exported_) Quarlin_GetFrameSizes(exported_, &luma, &chroma);
  else internal_->getFrameSizes(luma, chroma);
  return {info.width, info.height, info.stride, static_cast<uint32_t>(luma), static_cast<uint32_t>(chroma)};
}

bool HostDecoder::failed(int32_t frame) const {
  for (const Call& c : calls)
    if (c.frame == frame && c.result != 0) return true;
  return false;
}

tool::PlaneAllocator guardedPlanes(uint8_t fill) {
  return [fill](std::size_t bytes) {
    auto plane = std::make_shared<GuardedPlane>(bytes, fill);
    return std::shared_ptr<uint8_t>(plane, plane->data());
  };
}

std::unique_ptr<tool::Picture> guardedPicture(const HostDecoder& decoder, uint8_t fill) {
  return std::make_unique<tool::Picture>(tool::planeLayout(decoder.geometry(), DecodeScale::Full), DecodeScale::Full,
                                         guardedPlanes(fill));
}

std::unique_ptr<tool::FrameServer> guardedServer(HostDecoder& decoder, DecodeScale scale, bool tolerate,
                                                 std::size_t budgetBytes, uint8_t fill) {
  auto server = std::make_unique<tool::FrameServer>(decoder, decoder.geometry(), scale, budgetBytes);
  server->setPlaneAllocator(guardedPlanes(fill));
  server->setTolerateFailures(tolerate);
  return server;
}

std::vector<std::shared_ptr<const tool::Picture>> decodeAll(HostDecoder& decoder, DecodeScale scale, bool tolerate,
                                                             uint8_t fill) {
  const auto server = guardedServer(decoder, scale, tolerate, tool::FrameServer::kDefaultBudgetBytes, fill);
  std::vector<std::shared_ptr<const tool::Picture>> frames;
  for (int32_t n = 0; n < static_cast<int32_t>(decoder.fileInfo().frameCount); ++n) frames.push_back(server->frame(n));
  return frames;
}

std::vector<uint8_t> pictureArea(const tool::Picture& picture) {
  const tool::ImageView view = picture.view();
  std::vector<uint8_t> area;
  for (const tool::PlaneView* p : {&view.y, &view.cb, &view.cr})
    for (uint32_t y = 0; y < p->height; ++y) area.insert(area.end(), p->row(y), p->row(y) + p->width);
  return area;
}

std::string firstDifference(const tool::Picture& a, const tool::Picture& b) {
  const std::vector<uint8_t> x = pictureArea(a), y = pictureArea(b);
  if (x.size() != y.size()) return "the picture sizes differ";
  for (size_t i = 0; i < x.size(); ++i)
    if (x[i] != y[i])
      return "byte " + std::to_string(i) + " of " + std::to_string(x.size()) + " (Y, Cb, Cr cropped): " +
             std::to_string(x[i]) + " vs " + std::to_string(y[i]);
  return "";
}

// ---- The pool -----------------------------------------------------------------

void recreatePool(int32_t workers) {
  SliceWorkerPool& pool = SliceWorkerPool::instance();
  pool.destroy();
  if (workers > 0) pool.create(workers);
}

int64_t picturesDispatched() { return SliceWorkerPool::instance().picturesDispatched(); }

PoolHolder::PoolHolder() {
  std::promise<bool> taken;
  std::future<bool> held = taken.get_future();
  thread_ = std::thread([this, taken = std::move(taken)]() mutable {
    const bool acquired = SliceWorkerPool::instance().tryAcquire();
    taken.set_value(acquired);
    done_.get_future().wait();
    if (acquired) SliceWorkerPool::instance().release();
  });
  holding_ = held.get();
}

PoolHolder::~PoolHolder() {
  done_.set_value();
  thread_.join();
}

}  // namespace quarlin::test
