// Decodes by FFmpeg and libmpeg2 (their command-line programs), for
// comparison. Both are looked up on PATH; a missing program gives an empty
// list and available() false.
#pragma once
#include <string>
#include <vector>

#include "yuv_frame.h"

namespace quarlin::decodetest {

bool ffmpegAvailable();
bool mpeg2decAvailable();

// `ffmpeg -i F -map 0:v:0 -fps_mode passthrough -f rawvideo -pix_fmt yuv420p`
// (-map 0:i:PID for a transport stream's `pid`, -1 otherwise), display order.
std::vector<YuvFrame> ffmpegFrames(const std::string& path, int32_t pid, int width, int height);

// `mpeg2dec -o pgmpipe` (-s for program streams, -t PID for transport
// streams), cropped to width x height.
std::vector<YuvFrame> mpeg2decFrames(const std::string& path, const std::string& container, int32_t pid,
                                     int width, int height);

}  // namespace quarlin::decodetest
