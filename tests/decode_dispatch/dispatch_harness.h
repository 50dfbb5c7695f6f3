// What the dispatch and frame-request tests share: a session opened and
// indexed through the internal interface, host-owned picture planes, a
// host-like frame store that decodes a frame's references before the frame
// and keeps every decoded picture, and control of the process's worker pool.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "api/decoder_session.h"
#include "quarlin/quarlin.h"
#include "tests/support/corpus.h"
#include "tests/support/exported_session.h"

namespace quarlin::dispatchtest {

using test::CorpusStream;
using test::ExportedSession;
using test::streamPath;

// ---- Sessions ---------------------------------------------------------------

// A DecoderSession on `path` with the test host's service tables, opened and
// (unless `indexToEnd` is false) indexed to the end. The session reads the
// pool's worker count when it is constructed, so create the pool first.
class TestSession {
 public:
  explicit TestSession(const std::string& path, bool indexToEnd = true);
  DecoderSession& operator*() const { return *session_; }
  DecoderSession* operator->() const { return session_.get(); }
  int32_t openResult() const { return openResult_; }
  // 0 once the index is complete; the last open or scan result otherwise.
  int32_t indexResult() const { return indexResult_; }
  std::vector<int32_t> frameNumbers() const;

 private:
  std::unique_ptr<DecoderSession> session_;
  int32_t openResult_ = 0;
  int32_t indexResult_ = 0;
};

// ---- Pictures ----------------------------------------------------------------

// The two decoding options of a request and the scale they select.
struct Scale {
  const char* name;
  int32_t reducedResolution;
  int32_t reductionMode;
};
inline constexpr Scale kFull{"Full", 0, 0};
inline constexpr Scale kHalfWidth{"HalfWidth", 1, 2};
inline constexpr Scale kQuarter{"Quarter", 1, 1};
inline constexpr Scale kAllScales[] = {kFull, kHalfWidth, kQuarter};

// One host plane of exactly the size Quarlin_GetFrameSizes reports, ending
// where an inaccessible page begins: any read or write past it faults.
class GuardedPlane {
 public:
  GuardedPlane() = default;
  GuardedPlane(size_t size, uint8_t fill);
  GuardedPlane(const GuardedPlane& other);
  GuardedPlane& operator=(const GuardedPlane& other);
  ~GuardedPlane();

  uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  const uint8_t* begin() const { return data_; }
  const uint8_t* end() const { return data_ + size_; }
  uint8_t operator[](size_t i) const { return data_[i]; }
  bool operator==(const GuardedPlane& other) const;

 private:
  void release();
  uint8_t* mapping_ = nullptr;
  size_t mappingSize_ = 0;
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

// Host planes of one picture, each of the size the library reports, with a
// guard page right after it.
struct HostPicture {
  int32_t lumaStride = 0, chromaStride = 0, mbWidth = 0, mbHeight = 0;
  GuardedPlane plane[3];  // Y, Cb, Cr

  HostPicture() = default;
  HostPicture(const DecoderSession& session, uint8_t fill);
  PlaneSet planeSet() const;
  bool operator==(const HostPicture& other) const;
  // Bytes of the area a picture of the given scale occupies (whole
  // macroblocks, top-left), plane after plane.
  std::vector<uint8_t> pictureArea(const Scale& scale) const;
  // Where a byte outside that area differs from `fill` ("" when none does).
  std::string writtenOutside(const Scale& scale, uint8_t fill) const;
};

// Where the first difference between two pictures lies ("" when equal).
std::string firstDifference(const HostPicture& a, const HostPicture& b);

// Quarlin_GetFrame with the pictures' planes (null pictures: null records).
int32_t getFrame(const ExportedSession& session, int32_t frame, const HostPicture* forward,
                 const HostPicture* backward, const HostPicture& output, const Scale& scale = kFull);

// ---- Host-like decoding ------------------------------------------------------

struct DecodedFrame {
  int32_t result = 0;
  bool fieldCoded = false;     // the request ended on a field picture
  int32_t pictureType = 0;     // picture_coding_type of that picture
  bool forwardGiven = false;   // the request carried forward reference planes
  HostPicture picture;

  // A P-picture without forward planes predicts from its own output (a
  // B-picture from its backward reference instead).
  bool predictsFromOutput() const { return pictureType == 2 && !forwardGiven; }
};

// Decodes the frames of one session at one scale as a host does: asks for a
// frame's references, decodes those first (once each) and passes their
// planes with the request. Output planes start filled with `fill`.
class FrameStore {
 public:
  FrameStore(DecoderSession& session, const Scale& scale, uint8_t fill = kFill);
  const DecodedFrame& frame(int32_t number);
  // Every indexed frame, in display order.
  void decodeAll();
  const std::map<int32_t, DecodedFrame>& frames() const { return frames_; }
  // Decodes `number` again into fresh planes filled with `fill`, with the
  // stored references, leaving the store as it was.
  DecodedFrame decodeAgain(int32_t number, uint8_t fill);

  static constexpr uint8_t kFill = 0x5A;

 private:
  DecodedFrame decodeWithReferences(int32_t number, uint8_t fill);

  DecoderSession& session_;
  Scale scale_;
  uint8_t fill_;
  std::map<int32_t, DecodedFrame> frames_;
};

// Every indexed frame of `path` at `scale` through a fresh session.
std::map<int32_t, DecodedFrame> decodeStream(const std::string& path, const Scale& scale);

// ---- The process's slice worker pool ----------------------------------------

// Replaces the process's pool by one of `workers` threads (0: none).
void recreatePool(int32_t workers);

// Holds the pool lock from a thread of its own while it lives, so that every
// picture decoded meanwhile finds the pool busy and is decoded on its
// caller's thread. (The lock is recursive: the decoding thread itself could
// enter it again, so it must be held elsewhere.)
class PoolHolder {
 public:
  PoolHolder();
  ~PoolHolder();
  PoolHolder(const PoolHolder&) = delete;
  PoolHolder& operator=(const PoolHolder&) = delete;
  bool holding() const { return holding_; }

 private:
  std::thread thread_;
  bool holding_ = false;
  struct Signals;
  std::unique_ptr<Signals> signals_;
};

// Every frame of the stream at `scale` while another thread holds the pool:
// each picture is decoded on the calling thread.
std::map<int32_t, DecodedFrame> decodeSequentially(const std::string& path, const Scale& scale);

}  // namespace quarlin::dispatchtest
