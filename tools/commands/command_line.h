// The command line of the quarlin tool.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/host/plane_layout.h"

namespace quarlin::tool {

enum class Command { Help, Info, Index, Decode, Frame, Thumbs };

struct Options {
  Command command = Command::Help;
  std::string input;     // FILE
  int32_t frame = 0;     // N of `frame`
  std::string output;    // -o; "-" is standard output
  std::string seekData;  // --seek-data SEEK
  bool json = false;
  bool frames = false;
  bool quiet = false;
  bool strict = false;  // decode: stop at the first frame that fails
  bool discard = false; // decode --null: decode every frame, write none
  std::optional<int32_t> start;     // --start
  std::optional<uint32_t> count;    // --count: frames to decode, or thumbnails
  std::vector<int32_t> frameList;   // decode --frame-list N,M,...: these frames, in this order
  uint32_t columns = 6;             // --columns
  std::optional<DecodeScale> scale; // --scale
  std::string format;               // --format png|y4m|yuv
  std::optional<std::size_t> cacheBytes;  // --cache-mb; each command has its default
};

// Throws UsageError with a one-line reason.
Options parseCommandLine(int argc, const char* const* argv);

const char* usageText();

}  // namespace quarlin::tool
