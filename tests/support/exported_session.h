// A file opened through the exports of libquarlin.so with the test host's
// service tables, and the entries of the seek-data block it gives.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "quarlin/quarlin.h"

namespace quarlin::test {

// Quarlin_OpenFile (with `seekData` when not empty), indexed to the end
// unless `indexToEnd` is false; closed with the object.
class ExportedSession {
 public:
  explicit ExportedSession(const std::string& path, const std::vector<uint8_t>& seekData = {},
                           bool indexToEnd = true);
  ~ExportedSession();
  ExportedSession(const ExportedSession&) = delete;
  ExportedSession& operator=(const ExportedSession&) = delete;

  DecoderSession* handle() const { return handle_; }
  int32_t openResult() const { return openResult_; }
  // 0 once the index is complete; otherwise the last open or index result.
  int32_t indexResult() const { return indexResult_; }
  // Runs the remaining index slices; the last result.
  int32_t indexToEnd();
  // A copy of Quarlin_GetSeekData's block (empty when it fails).
  std::vector<uint8_t> seekData() const;

 private:
  DecoderSession* handle_ = nullptr;
  int32_t openResult_ = 0;
  int32_t indexResult_ = 0;
};

// Quarlin_GetSeekData's result; when 0 its block is copied to `block` and freed.
int32_t copySeekData(DecoderSession* session, std::vector<uint8_t>& block);

// The seek-data block: a stream part, then the index part: a header (the
// entry count at offset 4), entries (at 12 the display number, 24 the flags,
// 26 temporal_reference, 28 the coding state), a state count and states.
namespace seekdata {
constexpr size_t kStreamPart = 24, kHeader = 16, kCount = 4, kEntry = 32, kNumber = 12, kFlags = 24;
constexpr size_t kTemporalReference = 26, kCodingState = 28, kStateCount = 4, kState = 260;
}  // namespace seekdata

// One entry of a seek-data block: display number and picture type letter.
struct SeekDataEntry {
  int32_t number;
  char type;  // I, P, B or ? for another value
};
std::vector<SeekDataEntry> seekDataEntries(const std::vector<uint8_t>& block);

}  // namespace quarlin::test
