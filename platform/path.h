// Conversion of the library's UTF-16 paths to the system's byte paths.
#pragma once
#include <string>

namespace quarlin::platform {

// UTF-8 of a NUL-terminated UTF-16 string; unpaired surrogates become U+FFFD.
std::string utf8FromUtf16(const char16_t* text);

}  // namespace quarlin::platform
