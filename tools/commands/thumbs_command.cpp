// `quarlin thumbs`: a contact sheet of frames spread over the file.
#include <map>

#include "tools/commands/command_support.h"
#include "tools/commands/commands.h"
#include "tools/images/contact_sheet.h"
#include "tools/images/image_scaling.h"
#include "tools/host/picture_source.h"
#include "tools/images/png_writer.h"
#include "tools/commands/progress_bar.h"
#include "tools/host/seek_data_reader.h"
#include "tools/host/tool_error.h"

namespace quarlin::tool {
namespace {

constexpr uint32_t kDefaultThumbnails = 24;
constexpr uint32_t kMaxThumbnailWidth = 320;

std::map<int32_t, uint8_t> pictureTypes(const LibrarySession& session) {
  std::map<int32_t, uint8_t> types;
  try {
    for (const SeekEntry& entry : readSeekData(session.seekData()).entries) types[entry.number] = entry.type;
  } catch (const SeekDataError& error) {
    throw ToolFailure(session.path() + ": " + error.what());
  }
  return types;
}

// A quarter-scale picture, reduced further until it is at most
// kMaxThumbnailWidth wide (large pictures would make huge sheets).
RgbImage thumbnailImage(const ImageView& quarter) {
  const uint32_t factor = (quarter.y.width + kMaxThumbnailWidth - 1) / kMaxThumbnailWidth;
  if (factor <= 1) return toRgb(quarter);
  return toRgb(reduceImage(quarter, factor, factor).view());
}

}  // namespace

int runThumbs(const Options& options) {
  const auto session = openIndexed(options);
  const FrameRange range = frameRange(*session);
  if (range.count == 0) throw ToolFailure(options.input + ": the file has no frames to show");
  const std::map<int32_t, uint8_t> types = pictureTypes(*session);
  PictureSource source(*session, DecodeScale::Quarter, options.cacheBytes.value_or(FrameServer::kDefaultBudgetBytes));
  const std::vector<int32_t> frames = spreadFrames(range.first, range.count, options.count.value_or(kDefaultThumbnails));
  std::vector<Thumbnail> thumbnails;
  ProgressBar bar(stderr, progressWanted(options), static_cast<double>(frames.size()), "frames");
  for (const int32_t frame : frames) {
    try {
      const auto type = types.find(frame);
      const char letter = type == types.end() ? '?' : pictureTypeLetter(type->second);
      thumbnails.push_back(Thumbnail{thumbnailImage(source.frame(frame)), std::to_string(frame) + " " + letter});
    } catch (const FrameError& error) {
      failFrame(*session, error);
    }
    bar.update(static_cast<double>(thumbnails.size()) / static_cast<double>(frames.size()));
  }
  bar.finish();
  try {
    writePng(options.output, composeContactSheet(thumbnails, options.columns));
  } catch (const std::runtime_error& error) {
    throw ToolFailure(options.output + ": " + error.what());
  }
  return kExitOk;
}

}  // namespace quarlin::tool
