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
// (in a transport stream, "ts", the video PID the library decodes), display
// order.
std::vector<YuvFrame> ffmpegFrames(const std::string& path, const std::string& container, int width, int height);

// `mpeg2dec -o pgmpipe` (-s for program streams, -t PID for transport
// streams), cropped to width x height.
std::vector<YuvFrame> mpeg2decFrames(const std::string& path, const std::string& container, int width,
                                     int height);

// The PID of the video stream the library decodes in a transport stream:
// the first stream_type 2 entry of the PMT of the last program in the PAT.
// -1 when there is none.
int32_t transportVideoPid(const std::string& path);

}  // namespace quarlin::decodetest
