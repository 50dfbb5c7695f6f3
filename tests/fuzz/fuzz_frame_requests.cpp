// Fuzz target: frame requests with the reference planes a host chose. Byte 0
// chooses one of the tiny streams (fuzz::kStreams); each following pair of
// bytes is one request (at most three) through a session on that file:
//   byte 0: the frame (fuzz::chosenFrame)
//   byte 1: bits 0-1 the scale (0 full, 1 half width, 2 quarter, 3 full);
//           bits 2-3 the forward and bits 4-5 the backward plane set:
//             0 null addresses, 1 the decoded planes of another frame,
//             2 the output planes themselves, 3 the decoded planes of the
//             frame's own reference (decoded first, from null references,
//             when no request decoded it yet);
//           bits 6-7 which decoded picture "another frame" is.
// Whatever the planes hold, the library writes only inside the output
// planes and answers with a documented code.
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>
#include <vector>

#include "tests/fuzz/fuzz_target.h"
#include "tests/robustness/session_exerciser.h"

namespace {

using namespace quarlin::robust;
using quarlin::tool::Picture;

constexpr size_t kMaxRequests = 3;

struct Decoded {
  int32_t frame;  // INT32_MIN: planes that hold no frame at all
  int32_t scale;
  std::shared_ptr<Picture> picture;
};

// The planes of choice `mode` for a request whose reference is `reference`.
const Picture* chosenPlanes(const IndexedSession& s, ExerciseReport& report, std::vector<Decoded>& pool, int mode,
                            int32_t reference, int32_t scale, size_t pick, const Picture& output) {
  if (mode == 0) return nullptr;
  if (mode == 2) return &output;
  std::vector<const Picture*> others;
  for (const Decoded& d : pool) {
    if (mode == 3 && d.frame == reference && d.scale == scale) return d.picture.get();
    if (mode == 1 && d.frame != reference) others.push_back(d.picture.get());
  }
  if (!others.empty()) return others[pick % others.size()];
  if (mode == 3 && reference == -1) return nullptr;
  auto picture = freshPicture(s);
  if (mode == 3) checkedGetFrame(s.session, reference, nullptr, nullptr, *picture, scale, report);
  pool.push_back({mode == 1 ? INT32_MIN : reference, scale, picture});
  return picture.get();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quarlin::fuzz;
  if (size < 1 || size > kMaxInput) return 0;
  const std::vector<uint8_t> script(data + 1, data + std::min(size, 1 + 2 * kMaxRequests));
  ExerciseOptions options;
  options.decode = [&script](const IndexedSession& s, ExerciseReport& report) {
    std::vector<Decoded> pool;
    for (size_t i = 0; i + 1 < script.size(); i += 2) {
      const int32_t frame = chosenFrame(s, script[i]);
      const uint8_t how = script[i + 1];
      const int32_t scale = (how & 3) % 3;
      int32_t references[2] = {-1, -1};
      Quarlin_GetFrameDependancies(s.session, frame, &references[0], &references[1]);
      auto output = freshPicture(s);
      const Picture* planes[2];
      for (int k = 0; k < 2; ++k)
        planes[k] = chosenPlanes(s, report, pool, (how >> (2 + 2 * k)) & 3, references[k], scale, how >> 6, *output);
      checkedGetFrame(s.session, frame, planes[0], planes[1], *output, scale, report);
      pool.push_back({frame, scale, output});
    }
  };
  // The file and its index are sound: the target is about the planes.
  options.reopenWithSeekData = false;
  exerciseOrAbort({}, options, nullptr, streamPath(kStreams[data[0] % std::size(kStreams)]));
  return 0;
}
