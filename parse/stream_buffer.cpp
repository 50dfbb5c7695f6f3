// Picture-unit storage, start-code navigation and slice views.
#include "parse/stream_buffer.h"

#include <cstring>
#include <memory>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <new>

#include "foundation/host/host_services.h"
#include "parse/start_codes.h"

namespace quarlin {

void StreamBuffer::destroy() {
  if (!isView && storageHandle) host::release(services, storageHandle);
  wordPtr = nullptr;
  storageHandle = nullptr;
  data = nullptr;
  capacity = 0;
}

void destroyStreamBuffer(StreamBuffer* buffer) {
  buffer->destroy();
  delete buffer;
}

SharedBuffer createSharedBuffer(int32_t capacity, StartCodeTable* table,
                                const HostServices& services) {
  auto owned = std::make_unique<StreamBuffer>();
  StreamBuffer* buffer = owned.get();
  SharedBuffer shared(buffer);
  owned.release();  // the shared reference owns it now
  buffer->services = services;
  buffer->table = table;
  // The storage carries zeroed slack beyond the capacity, so a parser that
  // overruns damaged data by up to a macroblock stays inside it.
  const uint32_t size = static_cast<uint32_t>(capacity + kUnitReadSlack);
  void* address = nullptr;
  if (host::allocate(services, &buffer->storageHandle, size, 16) != 0 ||
      host::lock(services, buffer->storageHandle, &address) != 0 || !address)
    throw std::bad_alloc();
  buffer->data = static_cast<uint8_t*>(address);
  std::memset(buffer->data + capacity, 0, kUnitReadSlack);
  buffer->wordPtr = buffer->words();
  buffer->capacity = capacity;
  return shared;
}

StreamBuffer makeSliceView(const SharedBuffer& source, int32_t skip) {
  const StreamBuffer& unit = *source;
  StreamBuffer view;
  view.isView = true;
  view.storageHandle = unit.storageHandle;
  view.data = unit.data;
  view.filled = unit.filled;
  view.capacity = unit.capacity;
  view.services = unit.services;
  view.table = unit.table;
  view.sliceCount = skip + 1;
  int32_t ordinal = 0;
  for (int32_t i = 0; i < unit.entryCount(); ++i) {
    const uint32_t code = unit.table->codes[i];
    if (!isSliceStartCode(code)) continue;
    if (ordinal++ == skip) {
      view.setReader(unit.entryPosition(i));
      view.cursor = i;
      break;
    }
  }
  return view;
}

int32_t StreamBuffer::nextStartCode() {
  if (cursor >= entryCount()) return kNoStartCode;
  setReader(entryPosition(cursor));
  ++wordPtr;  // just after the 32 bits of the code
  return static_cast<int32_t>(table->codes[cursor++]);
}

void StreamBuffer::backOneStartCode() {
  if (cursor <= 0) return;
  --cursor;
  // Just after the code the last nextStartCode returned, which the next
  // nextStartCode returns again.
  setReader(entryPosition(cursor));
  ++wordPtr;
}

int32_t StreamBuffer::rewindToCurrent() {
  if (cursor >= entryCount()) return kNoStartCode;
  setReader(entryPosition(cursor));
  return static_cast<int32_t>(table->codes[cursor]);
}

int32_t StreamBuffer::skipStartCode() {
  ++wordPtr;
  if (cursor >= entryCount()) return kNoStartCode;
  return static_cast<int32_t>(table->codes[cursor++]);
}

void StreamBuffer::stepBack() {
  --cursor;
  --wordPtr;
}

void reverseWordBytes(uint8_t* data, int32_t firstWord, int32_t lastWord) {
  int32_t k = firstWord;
#if defined(__SSE2__)
  // Four words per step: swap the bytes of each 16-bit lane, then the two
  // lanes of each word.
  for (; k + 4 <= lastWord; k += 4) {
    auto* at = reinterpret_cast<__m128i*>(data + 4 * k);
    __m128i v = _mm_loadu_si128(at);
    v = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
    v = _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0xB1), 0xB1);
    _mm_storeu_si128(at, v);
  }
#endif
  for (; k < lastWord; ++k) {
    uint32_t w;
    std::memcpy(&w, data + 4 * k, 4);
    w = __builtin_bswap32(w);
    std::memcpy(data + 4 * k, &w, 4);
  }
}

}  // namespace quarlin
