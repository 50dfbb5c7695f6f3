// Words for the library's refusals. The result codes alone do not tell the
// causes apart (-3 covers a missing file, a foreign container, MPEG-1 video
// and a damaged header), so the file itself is looked at.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace quarlin::tool {

// "MP4/QuickTime files are not supported" and the like, from the first
// bytes; none when they look like nothing foreign.
std::optional<std::string> foreignContainer(std::span<const uint8_t> head);

// Why Quarlin_OpenFile returned `result`, from the first bytes of the file
// (up to kLookBytes) and its size.
std::string describeOpenFailure(std::span<const uint8_t> head, uint64_t fileSize, int32_t result);

// The same for the file at `path`, which is read again; a file that cannot
// be opened or read is described by the system's reason.
std::string describeOpenFailure(const std::string& path, int32_t result);

// Why Quarlin_IndexFile returned `result`.
std::string describeIndexFailure(int32_t result);

}  // namespace quarlin::tool
