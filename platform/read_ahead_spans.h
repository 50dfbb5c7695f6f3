// Which spans of a file to read ahead, shared by the backends (each has its
// own span type with `held`, `offset` and `length`, and its own ways to drop
// a span and to start reading one).
#pragma once
#include <cstddef>
#include <cstdint>

namespace quarlin::platform {

// Starts reading the spans of `span` bytes that begin at multiples of `span`
// in [offset, offset + length) and are not held yet: spans that end at or
// before `offset` are dropped first, others outside the range only when a
// span is needed. Stops at the first span that cannot be started. Returns
// the bytes asked of the file system.
template <class Span, size_t N, class Drop, class Submit>
int64_t startSpans(Span (&spans)[N], int64_t offset, int64_t length, uint32_t span, Drop drop, Submit submit) {
  if (span == 0 || length <= 0 || offset < 0) return 0;
  for (Span& s : spans)
    if (s.held && s.offset + s.length <= offset) drop(s);
  int64_t asked = 0;
  const int64_t end = offset + length;
  for (int64_t at = (offset + span - 1) / span * span; at < end; at += span) {
    bool held = false;
    Span* free = nullptr;
    Span* outside = nullptr;  // a span outside the range, to drop when none is free
    for (Span& s : spans) {
      if (s.held && s.offset == at && s.length == span) held = true;
      if (!s.held && !free) free = &s;
      if (s.held && (s.offset + s.length <= offset || s.offset >= end)) outside = &s;
    }
    if (held) continue;
    if (!free && outside) {
      drop(*outside);
      free = outside;
    }
    if (!free || !submit(*free, at, span)) break;
    asked += span;
  }
  return asked;
}

}  // namespace quarlin::platform
