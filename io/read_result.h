// Results of reading the file, passed up through the demultiplexers and
// the unit assembler.
#pragma once
#include <cstdint>

namespace quarlin {

constexpr int32_t kReadOk = 0;
constexpr int32_t kEndOfData = -4;          // nothing (more) to read: the end of the file or of the stream
constexpr int32_t kFileFailure = -6;        // disk query, open, size, seek or read failed
constexpr int32_t kHostMemoryFailure = -7;  // the host could not allocate or lock a block, or a unit is full

}  // namespace quarlin
