// The session's view of the input file as a sequence of picture units: it
// owns the file reader and the demultiplexer state, recognises the file kind
// (refusing other formats), serves picture units through the fill step of
// the file kind, and writes and restores its part of the seek data.
#pragma once
#include <cstdint>

#include "foundation/kelso/stl_allocator.h"
#include "io/async_file_reader.h"
#include "parse/demux_state.h"
#include "parse/stream_buffer.h"
#include "parse/unit_assembler.h"

namespace quarlin {

// A recognised container or codec that is not MPEG-2 video (probe).
constexpr int32_t kForeignFormat = -3;

// The stream part of the seek data.
constexpr int32_t kStreamSeekDataSize = 24;

class StreamSource final : public VideoByteSource {
 public:
  // Opens the file; a failure shows later as -6 from probe.
  StreamSource(const char16_t* path, const HostServices& services);
  ~StreamSource();
  StreamSource(const StreamSource&) = delete;
  StreamSource& operator=(const StreamSource&) = delete;

  // Recognises the file kind; applies and steps past the stream part of
  // the seek data when both pointer and length are nonzero. 0, -3 (a
  // foreign format), -6 (not open) or a read error.
  int32_t probe(const uint8_t*& seekData, int32_t& seekDataSize);

  // Writes the 24-byte stream part and advances the pointer.
  int32_t writeSeekData(uint8_t*& out) const;
  static int32_t seekDataSize() { return kStreamSeekDataSize; }

  int32_t readNextPictureUnit(StreamBuffer& unit) { return quarlin::readNextPictureUnit(unit, *this); }
  int32_t fill(StreamBuffer& unit) override;

  // Drops the unit's carried bytes and moves the reader to `offset`; the
  // demultiplexer state (the file kind) is kept.
  void seekTo(int64_t offset, StreamBuffer& unit);
  void clearPositionSets();

  AsyncFileReader& reader() { return reader_; }
  const AsyncFileReader& reader() const { return reader_; }
  DemuxState& demux() { return demux_; }
  const DemuxState& demux() const { return demux_; }

 private:
  Kelso::WString path_;
  AsyncFileReader reader_;
  DemuxState demux_;
};

}  // namespace quarlin
