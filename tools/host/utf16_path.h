// File paths for Quarlin_OpenFile, which takes NUL-terminated UTF-16.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace quarlin::tool {

// UTF-16 of a UTF-8 path, NUL-terminated. Bytes that are not valid UTF-8
// become U+FFFD, so such a path names no file rather than another one.
std::vector<uint16_t> utf16Path(const std::string& utf8);

}  // namespace quarlin::tool
