// `quarlin decode`: frames in display order as YUV4MPEG2.
#include <algorithm>
#include <optional>
#include <vector>

#include "tools/commands/command_support.h"
#include "tools/commands/commands.h"
#include "tools/host/picture_source.h"
#include "tools/commands/progress_bar.h"
#include "tools/host/tool_error.h"
#include "tools/images/y4m_writer.h"

namespace quarlin::tool {
namespace {

// The frames asked for, in the order they are written: the listed ones,
// or a run within the file's range.
std::vector<int32_t> requestedFrames(const Options& options, const FrameRange& file) {
  if (!options.frameList.empty()) {
    for (const int32_t frame : options.frameList) {
      if (frame < file.first || frame >= file.end())
        throw UsageError("--frame-list: frame " + std::to_string(frame) + " is outside the file's frames " +
                         std::to_string(file.first) + ".." + std::to_string(file.end() - 1));
    }
    return options.frameList;
  }
  const int32_t first = options.start.value_or(file.first);
  if (first < file.first || (first >= file.end() && file.count > 0) || (file.count == 0 && options.start)) {
    throw UsageError("--start " + std::to_string(first) + " is outside the file's frames " +
                     std::to_string(file.first) + ".." + std::to_string(file.end() - 1));
  }
  const auto available = static_cast<uint32_t>(std::max(0, file.end() - first));
  std::vector<int32_t> frames(std::min(options.count.value_or(available), available));
  for (std::size_t i = 0; i < frames.size(); ++i) frames[i] = first + static_cast<int32_t>(i);
  return frames;
}

Y4mHeader y4mHeader(const LibrarySession& session, const StreamLook& look, const Options& options,
                    DecodeScale scale) {
  const FileInfo info = session.fileInfo();
  Y4mHeader header;
  header.width = scaledWidth(info.width, scale);
  header.height = scaledHeight(info.height, scale);
  header.frameRate = frameRateOrDefault(look, options);
  // Halving the height mixes the two fields: the result is shown as progressive.
  header.interlacing = scale == DecodeScale::Quarter ? 'p' : interlacingLetter(look);
  header.pixelAspect = pixelAspectAt(info, scale);
  return header;
}

}  // namespace

int runDecode(const Options& options) {
  const auto session = openIndexed(options);
  const StreamLook look = lookAtFile(options.input);
  const std::vector<int32_t> frames = requestedFrames(options, frameRange(*session));
  const DecodeScale scale = options.scale.value_or(DecodeScale::Full);
  // In display order a frame needs at most the two anchors around it, so
  // three pictures keep every reference cached until its last use. No
  // more: the evicted ones are reused, and the fewer pictures take turns,
  // the more of the planes written next are still in the processor's caches.
  constexpr std::size_t kSequentialFrames = 3;
  const std::size_t budget = options.cacheBytes.value_or(picturesBytes(*session, scale, kSequentialFrames));
  PictureSource source(*session, scale, budget);
  // A damaged or cut file is decoded to its end: a frame that fails is
  // written with its damaged macroblocks concealed, with a warning; --strict stops instead.
  source.server().setTolerateFailures(!options.strict);
  // --null decodes into the pictures and writes nothing.
  std::optional<OutputFile> out;
  std::optional<Y4mWriter> writer;
  if (!options.discard) {
    out.emplace(options.output);
    writer.emplace(out->get(), y4mHeader(*session, look, options, scale));
    if (!writer->begin()) out->fail();
  }
  ProgressBar bar(stderr, progressWanted(options), static_cast<uint32_t>(frames.size()), "frames");
  for (std::size_t done = 0; done < frames.size(); ++done) {
    const int32_t frame = frames[done];
    try {
      const ImageView picture = source.frame(frame);
      if (writer && !writer->writeFrame(picture)) out->fail();
    } catch (const FrameError& error) {
      failFrame(*session, error);
    }
    for (const FrameError& failure : source.server().takeFailures()) {
      bar.clear();
      std::fprintf(stderr, "quarlin: %s: warning: %s (result %d); damaged macroblocks concealed\n",
                   options.input.c_str(), failure.what(), failure.result());
    }
    bar.update(static_cast<double>(done + 1) / static_cast<double>(frames.size()));
  }
  bar.finish();
  if (out) out->close();
  const uint64_t failures = source.server().failureCount();
  if (failures > 0) {
    std::fprintf(stderr,
                 "quarlin: %s: %u frames %s, %llu of the pictures decoded failed "
                 "(damaged macroblocks concealed)\n",
                 options.input.c_str(), static_cast<unsigned>(frames.size()), writer ? "written" : "decoded",
                 static_cast<unsigned long long>(failures));
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace quarlin::tool
