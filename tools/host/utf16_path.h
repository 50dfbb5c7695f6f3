// File paths: UTF-16 for Quarlin_OpenFile, which takes NUL-terminated
// UTF-16, and the tool's own files named by UTF-8 paths on every system.
#pragma once
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace quarlin::tool {

// UTF-16 of a UTF-8 path, NUL-terminated. Bytes that are not valid UTF-8
// become U+FFFD, so such a path names no file rather than another one.
std::vector<uint16_t> utf16Path(const std::string& utf8);

// The path named by UTF-8 text, for the standard library's file functions.
std::filesystem::path filePath(const std::string& utf8);
// std::fopen of a UTF-8 path (the C library takes the system's code page
// for narrow names on Windows).
std::FILE* openFile(const std::string& utf8, const char* mode);

}  // namespace quarlin::tool
