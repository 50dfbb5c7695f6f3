// Loading libquarlin.so starts one slice worker per processor; unloading it
// ends them and returns; the library can be loaded and unloaded again and
// decodes the same every time. The library is reached only through dlopen
// and its ten exports: this binary does not link it.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <vector>

#include "quarlin/quarlin.h"
#include "tests/support/test_host.h"
#include "tests/support/thread_count.h"

// Under AddressSanitizer: what the library keeps for the life of the
// process by design (the worker pool's record, the allocator table) is no
// longer reachable once its code is unmapped, so every unload would read as
// a leak of those few blocks; leak detection is left to the other binaries.
extern "C" __attribute__((visibility("default"), used)) const char* __asan_default_options() {
  return "detect_leaks=0";
}

namespace {

using quarlin::test::awaitThreadCount;

int32_t processors() {
  const long n = sysconf(_SC_NPROCESSORS_ONLN);
  return n > 64 ? 64 : n > 0 ? static_cast<int32_t>(n) : 1;
}

// The exports, looked up in a loaded library.
struct Exports {
  decltype(&Quarlin_OpenFile) open = nullptr;
  decltype(&Quarlin_IndexFile) index = nullptr;
  decltype(&Quarlin_CloseFile) close = nullptr;
  decltype(&Quarlin_GetFileInfo) fileInfo = nullptr;
  decltype(&Quarlin_GetFrameSizes) frameSizes = nullptr;
  decltype(&Quarlin_GetFrameDependancies) dependencies = nullptr;
  decltype(&Quarlin_GetFrame) frame = nullptr;

  explicit Exports(void* library) {
    lookUp(library, "Quarlin_OpenFile", open);
    lookUp(library, "Quarlin_IndexFile", index);
    lookUp(library, "Quarlin_CloseFile", close);
    lookUp(library, "Quarlin_GetFileInfo", fileInfo);
    lookUp(library, "Quarlin_GetFrameSizes", frameSizes);
    lookUp(library, "Quarlin_GetFrameDependancies", dependencies);
    lookUp(library, "Quarlin_GetFrame", frame);
  }
  bool complete() const { return open && index && close && fileInfo && frameSizes && dependencies && frame; }

 private:
  template <class F>
  static void lookUp(void* library, const char* name, F& out) {
    out = reinterpret_cast<F>(dlsym(library, name));
  }
};

// Opens and indexes a stream through the exports and decodes every frame
// as a host does (a frame's references first, each decoded once); the
// decoded planes, Y, Cb and Cr of every frame in display order.
std::vector<std::vector<uint8_t>> decodeStream(const Exports& api, const std::string& file) {
  const std::u16string path = u16(std::string(QUARLIN_TEST_DATA) + "/streams/" + file);
  DecoderSession* session = nullptr;
  int32_t result = api.open(reinterpret_cast<const uint16_t*>(path.c_str()), &testHostServices(), nullptr, 0, &session);
  float progress = 0;
  while (result == -4) result = api.index(session, &progress);
  EXPECT_EQ(result, 0) << file;
  if (result != 0) return {};
  FileInfo info{};
  int32_t lumaSize = 0, chromaSize = 0;
  api.fileInfo(session, &info);
  api.frameSizes(session, &lumaSize, &chromaSize);

  struct Frame {
    std::vector<uint8_t> plane[3];
    PlaneSet set{};
    bool decoded = false;
  };
  std::vector<Frame> frames(info.frameCount);
  std::function<const PlaneSet*(int32_t)> decode = [&](int32_t n) -> const PlaneSet* {
    if (n < 0 || n >= static_cast<int32_t>(frames.size())) return nullptr;
    Frame& f = frames[static_cast<size_t>(n)];
    if (f.decoded) return &f.set;
    f.decoded = true;
    int32_t forwardRef = -1, backwardRef = -1;
    EXPECT_EQ(api.dependencies(session, n, &forwardRef, &backwardRef), 0) << "frame " << n;
    const PlaneSet* forward = decode(forwardRef);
    const PlaneSet* backward = decode(backwardRef);
    for (int p = 0; p < 3; ++p) f.plane[p].assign(static_cast<size_t>(p ? chromaSize : lumaSize), 0);
    f.set.y.address = f.plane[0].data();
    f.set.cb.address = f.plane[1].data();
    f.set.cr.address = f.plane[2].data();
    EXPECT_EQ(api.frame(session, n, forward, backward, &f.set, 0, 0), 0) << file << ", frame " << n;
    return &f.set;
  };
  std::vector<std::vector<uint8_t>> planes;
  for (int32_t n = 0; n < static_cast<int32_t>(frames.size()); ++n) {
    decode(n);
    for (const std::vector<uint8_t>& p : frames[static_cast<size_t>(n)].plane) planes.push_back(p);
  }
  EXPECT_EQ(api.close(session), 0);
  return planes;
}

// 720 x 576, one slice per macroblock row: its pictures go to the workers.
constexpr const char* kStream = "es-interlaced-tff-720x576.m2v";
// Load and unload cycles: enough that a worker still running library code
// when the library is unmapped shows up as a crash.
constexpr int kCycles = 40;

TEST(LibraryLifetime, LoadStartsWorkersAndUnloadEndsThem) {
  const int32_t baseline = quarlin::test::settledThreadCount();
  std::vector<std::vector<uint8_t>> first;
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    void* library = dlopen(QUARLIN_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    EXPECT_EQ(awaitThreadCount(baseline + processors()), baseline + processors())
        << "cycle " << cycle << ": one worker per processor";

    const Exports api(library);
    ASSERT_TRUE(api.complete());
    const std::vector<std::vector<uint8_t>> decoded = decodeStream(api, kStream);
    ASSERT_EQ(decoded.size(), 3u * 10);
    if (cycle == 0) first = decoded;
    EXPECT_TRUE(decoded == first) << "cycle " << cycle << " decoded other bytes";
    // Closing the last session also ends the file reader's completion thread.
    EXPECT_EQ(awaitThreadCount(baseline + processors()), baseline + processors()) << "cycle " << cycle;

    EXPECT_EQ(dlclose(library), 0);
    EXPECT_EQ(dlopen(QUARLIN_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD), nullptr) << "the library stayed loaded";
    EXPECT_EQ(awaitThreadCount(baseline), baseline) << "cycle " << cycle << ": workers outlived the unload";
  }
}

}  // namespace
