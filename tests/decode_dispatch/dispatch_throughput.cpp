// Frames per second of whole-stream decoding with the pool busy (every
// picture on the calling thread) and with pools of 1, 2 and 4 workers.
// A measurement, not a test: run it by hand on a quiet machine.
//   dispatch_throughput [stream under tests/data/streams] [seconds per line]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/decode_dispatch/dispatch_harness.h"

using namespace quarlin::dispatchtest;

namespace {

// Frames decoded per second over at least `seconds` of whole-stream passes.
double framesPerSecond(const std::string& path, const Scale& scale, double seconds) {
  TestSession session(path);
  int64_t frames = 0;
  const auto start = std::chrono::steady_clock::now();
  double elapsed = 0;
  do {
    FrameStore store(*session, scale);
    store.decodeAll();
    frames += static_cast<int64_t>(store.frames().size());
    elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  } while (elapsed < seconds);
  return static_cast<double>(frames) / elapsed;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string file = argc > 1 ? argv[1] : "es-interlaced-tff-720x576.m2v";
  const double seconds = argc > 2 ? std::atof(argv[2]) : 3.0;
  const std::string path = streamPath(file);
  std::printf("%s, %.1f s per line\n", file.c_str(), seconds);
  for (const Scale& scale : kAllScales) {
    recreatePool(2);
    double busy = 0;
    {
      PoolHolder holder;
      busy = framesPerSecond(path, scale, seconds);
    }
    std::printf("%-9s  calling thread only: %8.1f frames/s\n", scale.name, busy);
    for (int32_t workers : {1, 2, 4}) {
      recreatePool(workers);
      std::printf("%-9s  %d worker%s:           %8.1f frames/s\n", scale.name, workers, workers == 1 ? " " : "s",
                  framesPerSecond(path, scale, seconds));
    }
  }
  recreatePool(0);
  return 0;
}
