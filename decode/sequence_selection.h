// The sequence header in force for a requested picture. A file may carry
// several sequences (streams cut together, a broadcast that changes its
// quantiser matrices); each picture is decoded with the header that
// precedes it, as ISO/IEC 13818-2 6.1.1.6 defines.
#pragma once
#include <cstdint>

#include "index/frame_index.h"

struct DecoderSession;

namespace quarlin {

constexpr int32_t kSequenceUnavailable = -12;

// Makes the session's `sequence` the header in force for `entry`: the
// file's first, one the index scan remembered, or one read again from the
// stream at the entry's locator. 0, or -12 when it cannot be read or gives
// another picture size (the host's planes are sized for the first).
int32_t selectSequenceFor(DecoderSession& session, const FrameIndexEntry& entry);

}  // namespace quarlin
