// The resumable index scan: walks the stream picture by picture in decode
// order and records, for every frame, where reading resumes to get it, how
// long its unit is, its display number, type, temporal_reference, coding
// state and references.
//
// Display order follows ISO/IEC 13818-2 6.1.1.11 (frame re-ordering): a B
// picture is displayed when it is decoded, an I- or P-frame when the next
// I- or P-frame is decoded (or at the end of the stream). Frame numbers are
// therefore contiguous from 0 whatever temporal_reference says, and match the
// frames a decoder puts out, also where groups hold several I-pictures, have
// no group header, or lost pictures. A field-coded frame (two field pictures)
// is one frame.
#pragma once
#include <cstdint>
#include <vector>

#include "foundation/kelso/stl_allocator.h"
#include "index/frame_index.h"
#include "parse/stream_buffer.h"

namespace quarlin {

class StreamSource;
struct SessionState;

// Kept in the session between scan slices.
struct IndexBuildState {
  template <class T>
  using Array = std::vector<T, Kelso::STLAllocator<T>>;

  int32_t currentStartCode = -1;  // -1 when the unit's entries are exhausted
  bool seenIntra = false;         // frames before the first I-frame are not indexed
  int32_t nextDisplay = 0;        // display number of the next frame put out
  int32_t olderAnchor = -1;       // display number of the latest numbered I/P-frame
  // The latest I- or P-frame, numbered when the next one arrives, and the
  // frames displayed before it, which wait for its number as their
  // backward reference.
  bool holdingAnchor = false;
  FrameIndexEntry heldAnchor;
  Array<FrameIndexEntry> heldFrames;
  bool closedGroupPending = false;  // a group header with closed_gop was passed
  bool leadingOfClosedGroup = false;  // B-frames here predict backward only
  bool sequenceDecodable = true;      // the sequence header in force has the first one's size
  // A unit already read (its header parsed) that starts the next frame: a
  // field picture that was not the second field of the frame before it.
  bool unitPending = false;
  int64_t pendingPosition = 0;

  void reset();
};

constexpr int32_t kScanBudgetUsed = -10;
constexpr int32_t kOpenScanBudget = 3;
constexpr int32_t kIndexFileScanBudget = 25;

// One slice of the scan. -10 budget used up; 0 end of stream reached and the
// index finalised; other negative codes are read failures. Pictures whose
// headers are rejected are passed over.
int32_t scanIndex(SessionState& session, int32_t budget, float* progress);

// The stream position of the first byte not yet consumed.
int64_t unconsumedPosition(StreamSource& source, const StreamBuffer& unit);

}  // namespace quarlin
