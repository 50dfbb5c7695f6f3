// `quarlin frame`: one frame by random access, as PNG, YUV4MPEG2 or raw
// planar 4:2:0.
#include "tools/commands/command_support.h"
#include "tools/commands/commands.h"
#include "tools/host/picture_source.h"
#include "tools/images/png_writer.h"
#include "tools/host/tool_error.h"
#include "tools/images/y4m_writer.h"

namespace quarlin::tool {
namespace {

std::string outputFormat(const Options& options) {
  if (!options.format.empty()) return options.format;
  const std::string& path = options.output;
  const auto dot = path.rfind('.');
  const std::string extension = dot == std::string::npos ? "" : path.substr(dot + 1);
  if (extension == "png" || extension == "y4m" || extension == "yuv") return extension;
  if (path == "-") return "y4m";
  throw UsageError("cannot tell the format of '" + path + "': use .png, .y4m or .yuv, or --format");
}

void checkFrame(const Options& options, const FrameRange& range) {
  if (options.frame < range.end()) return;
  throw UsageError("frame " + std::to_string(options.frame) + " is outside the file's frames " +
                   std::to_string(range.first) + ".." + std::to_string(range.end() - 1));
}

void writeImage(const Options& options, const std::string& format, const ImageView& image,
                const LibrarySession& session, const StreamLook& look, DecodeScale scale) {
  if (format == "png") {
    writePng(options.output, toRgb(image));
    return;
  }
  OutputFile out(options.output);
  if (format == "y4m") {
    Y4mHeader header{image.y.width, image.y.height, frameRateOrDefault(look, options),
                     scale == DecodeScale::Quarter ? 'p' : interlacingLetter(look),
                     pixelAspectAt(session.fileInfo(), scale)};
    if (!Y4mWriter(out.get(), header).writeFrame(image)) out.fail();
  } else if (!writePlanes(out.get(), image)) {
    out.fail();
  }
  out.close();
}

}  // namespace

int runFrame(const Options& options) {
  const std::string format = outputFormat(options);
  const auto session = openIndexed(options);
  checkFrame(options, frameRange(*session));
  const StreamLook look = lookAtFile(options.input);
  const DecodeScale scale = options.scale.value_or(DecodeScale::Full);
  PictureSource source(*session, scale, options.cacheBytes.value_or(FrameServer::kDefaultBudgetBytes));
  try {
    const ImageView image = source.frame(options.frame);
    writeImage(options, format, image, *session, look, scale);
  } catch (const FrameError& error) {
    failFrame(*session, error);
  } catch (const std::runtime_error& error) {
    if (dynamic_cast<const ToolFailure*>(&error)) throw;
    throw ToolFailure(options.output + ": " + error.what());
  }
  return kExitOk;
}

}  // namespace quarlin::tool
