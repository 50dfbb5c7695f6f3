#include "tests/support/test_host.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

namespace quarlin::test {
namespace {

// Fresh host memory holds this, so code that relies on zeroed blocks shows.
constexpr unsigned char kFreshByte = 0xCD;

struct HostBlock {
  void* memory;
  std::size_t alignment;
};

// Planned failures of one entry: skip `after` successes, then fail `count`.
struct FailurePlan {
  int32_t after = 0;
  int32_t count = 0;
  // True when this call must fail; counts the call against the plan.
  bool take() {
    if (count <= 0) return false;
    if (after > 0) {
      --after;
      return false;
    }
    --count;
    return true;
  }
};

struct HostState {
  std::mutex mutex;
  std::unordered_map<QuarlinMemoryHandle, HostBlock> live;
  FailurePlan allocateFailures;
  FailurePlan lockFailures;
  int64_t allocateCount = 0;
  int64_t misuses = 0;
  int64_t cacheCalls = 0;
  TestHostRequest lastRequest;
  int32_t handleSeed = 0;
};

HostState& state() {
  static HostState* host = new HostState;  // outlives every static object
  return *host;
}

bool isPowerOfTwo(uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

int32_t hostAllocate(QuarlinMemoryHandle* out, int32_t kind, uint32_t size, uint32_t alignment) {
  HostState& host = state();
  std::lock_guard<std::mutex> hold(host.mutex);
  if (alignment == 0) alignment = 1;
  if (kind != 2 || !isPowerOfTwo(alignment)) {
    ++host.misuses;
    return -1;
  }
  if (host.allocateFailures.take()) return -1;
  const std::size_t bytes = size == 0 ? 1 : size;
  void* memory = ::operator new(bytes, std::align_val_t(alignment), std::nothrow);
  if (!memory) return -1;
  std::memset(memory, kFreshByte, bytes);
  // Handles are opaque numbers, never the address: a caller must lock.
  auto* handle = reinterpret_cast<QuarlinMemoryHandle>(static_cast<uintptr_t>(++host.handleSeed) << 4);
  host.live.emplace(handle, HostBlock{memory, alignment});
  ++host.allocateCount;
  host.lastRequest = TestHostRequest{size, alignment};
  *out = handle;
  return 0;
}

int32_t hostLock(QuarlinMemoryHandle handle, int32_t kind, void** outAddress) {
  HostState& host = state();
  std::lock_guard<std::mutex> hold(host.mutex);
  const auto found = host.live.find(handle);
  if (kind != 2 || found == host.live.end()) {
    ++host.misuses;
    return -1;
  }
  if (host.lockFailures.take()) return -1;
  *outAddress = found->second.memory;
  return 0;
}

void hostRelease(QuarlinMemoryHandle handle) {
  HostState& host = state();
  std::lock_guard<std::mutex> hold(host.mutex);
  const auto found = host.live.find(handle);
  if (found == host.live.end()) {
    ++host.misuses;
    return;
  }
  ::operator delete(found->second.memory, std::align_val_t(found->second.alignment));
  host.live.erase(found);
}

void hostCacheInsert(void*, QuarlinMemoryHandle, int32_t) {
  std::lock_guard<std::mutex> hold(state().mutex);
  ++state().cacheCalls;
}

int32_t hostCacheLookup(void*, int32_t, QuarlinMemoryHandle*) {
  std::lock_guard<std::mutex> hold(state().mutex);
  ++state().cacheCalls;
  return -1;  // never cached
}

const QuarlinCacheSuite kCacheSuite{nullptr, nullptr, hostCacheInsert, hostCacheLookup};
const QuarlinMemorySuite kMemorySuite{nullptr, hostAllocate};
const QuarlinHandleSuite kHandleSuite{hostRelease, hostLock};
int cacheObject = 0;
const HostServices kServices{&kCacheSuite, &kMemorySuite, &kHandleSuite, &cacheObject};

// Bytes of the UTF-8 sequence that `lead` starts; 0 for a byte that
// cannot start one.
int utf8Length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead < 0xC0) return 0;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  if (lead < 0xF8) return 4;
  return 0;
}

// Decodes the sequence at text[i] and steps past it; false (i unchanged)
// for a bad or cut-off sequence.
bool decodeUtf8(const std::string& text, std::size_t& i, uint32_t& code) {
  const auto lead = static_cast<unsigned char>(text[i]);
  const int length = utf8Length(lead);
  if (length == 0 || i + static_cast<std::size_t>(length) > text.size()) return false;
  code = length == 1 ? lead : lead & (0x7Fu >> length);
  for (int k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
    if ((next & 0xC0) != 0x80) return false;
    code = (code << 6) | (next & 0x3Fu);
  }
  i += static_cast<std::size_t>(length);
  return true;
}

template <class T>
T readLocked(T HostState::*field) {
  std::lock_guard<std::mutex> hold(state().mutex);
  return state().*field;
}

}  // namespace

const HostServices& testHostServices() { return kServices; }

int64_t testHostLiveAllocations() {
  std::lock_guard<std::mutex> hold(state().mutex);
  return static_cast<int64_t>(state().live.size());
}

int64_t testHostAllocateCount() { return readLocked(&HostState::allocateCount); }
int64_t testHostMisuseCount() { return readLocked(&HostState::misuses); }
int64_t testHostCacheCalls() { return readLocked(&HostState::cacheCalls); }
TestHostRequest testHostLastAllocateRequest() { return readLocked(&HostState::lastRequest); }

void testHostFailAllocate(int32_t count, int32_t after) {
  std::lock_guard<std::mutex> hold(state().mutex);
  state().allocateFailures = FailurePlan{after, count};
}

void testHostFailLock(int32_t count, int32_t after) {
  std::lock_guard<std::mutex> hold(state().mutex);
  state().lockFailures = FailurePlan{after, count};
}

void testHostClearFailures() {
  std::lock_guard<std::mutex> hold(state().mutex);
  state().allocateFailures = FailurePlan{};
  state().lockFailures = FailurePlan{};
}

std::u16string u16(const std::string& utf8) {
  std::u16string out;
  std::size_t i = 0;
  while (i < utf8.size()) {
    uint32_t code = 0;
    if (!decodeUtf8(utf8, i, code)) {
      out.push_back(u'\xFFFD');
      ++i;
    } else if (code >= 0x10000) {
      code -= 0x10000;  // 0 .. 0xFFFFF as a surrogate pair
      out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
  }
  return out;
}

}  // namespace quarlin::test
