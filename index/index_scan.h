// The resumable index scan: walks the stream picture by picture in decode
// order and records, for every picture, where reading resumes to get it, how
// long its unit is, its display number, type, key flag and references.
#pragma once
#include <cstdint>

#include "index/frame_index.h"
#include "parse/stream_buffer.h"

struct DecoderSession;

namespace quarlin {

class StreamSource;

// Kept in the session between scan slices.
struct IndexBuildState {
  int32_t currentStartCode = -1;  // -1 when the unit's entries are exhausted
  int32_t decodeCount = 0;        // pictures indexed so far, decode order
  int32_t gopDisplayBase = 0;     // display number of temporal_reference 0 of the current group
  int32_t picturesInGroup = 0;    // pictures indexed since the last I-picture, it included
  bool pendingKey = false;        // set by an I-picture until an entry is marked key
  int32_t carriedAnchor = -1;     // display number of the most recent I- or P-picture
  AnchorList anchorList;          // references of the current group, decode order
  bool seenIntra = false;         // pictures before the first I-picture are not indexed
  int64_t currentUnitPosition = -1;  // stream position of the picture whose unit is current
  int64_t sequenceLocator = -1;      // where the sequence header in force can be read; -1: the first

  void reset();
};

constexpr int32_t kScanBudgetUsed = -10;
constexpr int32_t kOpenScanBudget = 3;
constexpr int32_t kIndexFileScanBudget = 25;

// One slice of the scan. -10 budget used up; 0 end of stream reached and the
// index finalised; -2 malformed picture sequence or rejected header; other
// negative codes are read failures.
int32_t scanIndex(DecoderSession& session, int32_t budget, float* progress);

// The stream position of the first byte not yet consumed.
int64_t unconsumedPosition(StreamSource& source, const StreamBuffer& unit);

}  // namespace quarlin
