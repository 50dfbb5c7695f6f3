// The decoding host of the tests: sessions opened with the test host's
// tables, the tool's frame server over them (references decoded first,
// cached) with every plane a guarded plane of exactly the reported size,
// and control of the process's slice worker pool.
#pragma once
#include <cstdint>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "api/decoder_session.h"
#include "tests/support/exported_session.h"
#include "tools/host/frame_server.h"

namespace quarlin::test {

using tool::DecodeScale;
inline constexpr DecodeScale kAllScales[] = {DecodeScale::Full, DecodeScale::HalfWidth, DecodeScale::Quarter};

// A session of the library's own classes, linked into the test (so that
// it decodes on the pool recreatePool controls), opened and indexed to the
// end.
class InternalSession {
 public:
  explicit InternalSession(const std::string& path);
  DecoderSession& operator*() const { return *session_; }
  DecoderSession* operator->() const { return session_.get(); }
  int32_t indexResult() const { return indexResult_; }  // 0 once the index is complete

 private:
  std::unique_ptr<DecoderSession> session_;
  int32_t indexResult_ = 0;
};

// The frame server's decoder over an internal session or one opened
// through the exports; the result of every decode is recorded.
class HostDecoder : public tool::FrameDecoder {
 public:
  explicit HostDecoder(const InternalSession& session) : internal_(&*session) {}
  explicit HostDecoder(const ExportedSession& session) : exported_(session.handle()) {}
  explicit HostDecoder(DecoderSession* exported) : exported_(exported) {}

  int32_t dependencies(int32_t frame, int32_t& forward, int32_t& backward) override;
  int32_t decode(int32_t frame, const PlaneSet& forward, const PlaneSet& backward, const PlaneSet& output,
                 DecodeScale scale) override;
  FileInfo fileInfo() const;
  tool::FrameGeometry geometry() const;

  struct Call {
    int32_t frame, result;
    // Of an internal session: the pictures handed to the slice workers, and
    // those a pool must get when the decode succeeds (a field pair 2, a frame
    // picture 1 unless it predicts from its own output planes).
    int64_t dispatched, dispatchable;
  };
  std::vector<Call> calls;
  bool failed(int32_t frame) const;

 private:
  DecoderSession* internal_ = nullptr;
  DecoderSession* exported_ = nullptr;
};

// Planes of exactly the requested size with an inaccessible page right
// after each (GuardedPlane), starting filled with `fill`.
tool::PlaneAllocator guardedPlanes(uint8_t fill = 0x5A);
// A full-scale picture of such planes, of the sizes `decoder` reports.
std::unique_ptr<tool::Picture> guardedPicture(const HostDecoder& decoder, uint8_t fill = 0x5A);

// A frame server over `decoder` whose pictures are guarded planes starting
// as `fill`; with `tolerate`, failed frames keep what was decoded.
std::unique_ptr<tool::FrameServer> guardedServer(HostDecoder& decoder, DecodeScale scale, bool tolerate = false,
                                                 std::size_t budgetBytes = tool::FrameServer::kDefaultBudgetBytes,
                                                 uint8_t fill = 0x5A);

// Every frame in display order through one guarded server.
std::vector<std::shared_ptr<const tool::Picture>> decodeAll(HostDecoder& decoder, DecodeScale scale,
                                                             bool tolerate = false, uint8_t fill = 0x5A);

// The picture area (cropped to the picture size at its scale), plane after
// plane; where two pictures' areas first differ ("" when equal).
std::vector<uint8_t> pictureArea(const tool::Picture& picture);
std::string firstDifference(const tool::Picture& a, const tool::Picture& b);

// ---- The process's slice worker pool (of the internal sessions) ----------

// Replaces the pool by one of `workers` threads (0: none).
void recreatePool(int32_t workers);
int64_t picturesDispatched();

// Holds the pool from a thread of its own while it lives, so that every
// picture decoded meanwhile finds it busy and is decoded on its caller's
// thread. (The pool lock is recursive: it must be held elsewhere.)
class PoolHolder {
 public:
  PoolHolder();
  ~PoolHolder();
  PoolHolder(const PoolHolder&) = delete;
  PoolHolder& operator=(const PoolHolder&) = delete;
  bool holding() const { return holding_; }

 private:
  std::promise<void> done_;
  bool holding_ = false;
  std::thread thread_;
};

}  // namespace quarlin::test
