// Loading the library starts one slice worker per processor, unloading it
// ends them; loaded again it decodes the same every time. The library is
// reached only through the system's loader and its exports: this binary does
// not link it. On Windows the loader's lock is held while the library
// unloads, so no thread can end there: the workers must still be gone.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>
#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "platform/thread.h"
#include "quarlin/quarlin.h"
#include "tests/support/test_host.h"
#include "tests/support/thread_count.h"

// Under AddressSanitizer: what the library keeps for the life of the
// process by design (the worker pool's record, the allocator table) is no
// longer reachable once its code is unmapped, so every unload would read as
// a leak of those few blocks; leak detection is left to the other binaries.
#if !defined(_WIN32)
extern "C" __attribute__((visibility("default"), used)) const char* __asan_default_options() {
  return "detect_leaks=0";
}
#endif

namespace {

using quarlin::test::awaitThreadCount;

// One decoding part per processor the process may run on, counted as the
// pool counts them; the dispatching thread is part 0.
int32_t workerThreads() { return std::min(quarlin::platform::processorCount(), 64) - 1; }

#if defined(_WIN32)
void* load() { return LoadLibraryW(L"Quarlin.dll"); }
void* symbol(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}
bool unload(void* library) { return FreeLibrary(static_cast<HMODULE>(library)) != 0; }
bool stillLoaded() { return GetModuleHandleW(L"Quarlin.dll") != nullptr; }
#else
void* load() { return dlopen(QUARLIN_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL); }
void* symbol(void* library, const char* name) { return dlsym(library, name); }
bool unload(void* library) { return dlclose(library) == 0; }
bool stillLoaded() { return dlopen(QUARLIN_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD) != nullptr; }
#endif

// The exports, looked up in a loaded library (a missing one faults).
struct Exports {
  void* library;
#define QUARLIN_EXPORT(f) \
  decltype(&Quarlin_##f) f = reinterpret_cast<decltype(&Quarlin_##f)>(symbol(library, "Quarlin_" #f))
  QUARLIN_EXPORT(OpenFile);
  QUARLIN_EXPORT(IndexFile);
  QUARLIN_EXPORT(CloseFile);
  QUARLIN_EXPORT(GetFrameSizes);
  QUARLIN_EXPORT(GetFrame);
#undef QUARLIN_EXPORT
};

// Opens and indexes a 720 x 576 stream of one slice per macroblock row (its
// pictures go to the workers) through the exports and decodes frame 0, an
// I-frame; its Y, Cb and Cr planes one after another.
std::vector<uint8_t> decodeFirstFrame(const Exports& api) {
  const std::string file = "es-interlaced-tff-720x576.m2v";
  const std::u16string path = u16(std::string(QUARLIN_TEST_DATA) + "/streams/" + file);
  DecoderSession* session = nullptr;
  int32_t result =
      api.OpenFile(reinterpret_cast<const uint16_t*>(path.c_str()), &testHostServices(), nullptr, 0, &session);
  float progress = 0;
  while (result == -4) result = api.IndexFile(session, &progress);
  EXPECT_EQ(result, 0) << file;
  int32_t luma = 0, chroma = 0;
  api.GetFrameSizes(session, &luma, &chroma);
  std::vector<uint8_t> planes(static_cast<size_t>(luma) + 2 * static_cast<size_t>(chroma));
  PlaneSet set{};
  set.y.address = planes.data();
  set.cb.address = set.y.address + luma;
  set.cr.address = set.cb.address + chroma;
  EXPECT_EQ(api.GetFrame(session, 0, nullptr, nullptr, &set, 0, 0), 0) << file;
  EXPECT_EQ(api.CloseFile(session), 0);
  return planes;
}

// Load and unload cycles: enough that a worker still running library code
// when the library is unmapped shows up as a crash.
constexpr int kCycles = 100;

TEST(LibraryLifetime, LoadStartsWorkersAndUnloadEndsThem) {
  const int32_t baseline = quarlin::test::settledThreadCount();
  std::vector<uint8_t> first;
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    void* library = load();
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(awaitThreadCount(baseline + workerThreads()), baseline + workerThreads())
        << "cycle " << cycle << ": one worker per processor but the caller's";

    const Exports api{library};
    const std::vector<uint8_t> decoded = decodeFirstFrame(api);
    if (cycle == 0) first = decoded;
    EXPECT_TRUE(decoded == first) << "cycle " << cycle << " decoded other bytes";
    // Closing the last session also ends the file reader's completion thread.
    EXPECT_EQ(awaitThreadCount(baseline + workerThreads()), baseline + workerThreads()) << "cycle " << cycle;

    EXPECT_TRUE(unload(library));
    EXPECT_FALSE(stillLoaded()) << "the library stayed loaded";
    EXPECT_EQ(awaitThreadCount(baseline), baseline) << "cycle " << cycle << ": workers outlived the unload";
  }
}

}  // namespace
