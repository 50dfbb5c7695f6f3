// `quarlin info`: what the library and the seek data say about a file.
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <string>

#include "tools/commands/command_support.h"
#include "tools/commands/commands.h"
#include "tools/commands/json_writer.h"
#include "tools/host/seek_data_reader.h"
#include "tools/host/tool_error.h"

namespace quarlin::tool {
namespace {

struct InfoFacts {
  FileInfo info;
  FrameGeometry geometry;
  int32_t startFrameOffset;
  SeekData seekData;
  StreamLook look;
};

InfoFacts gatherFacts(const Options& options) {
  const auto session = openIndexed(options);
  InfoFacts facts{session->fileInfo(), session->geometry(), session->startFrameOffset(), {}, lookAtFile(options.input)};
  try {
    facts.seekData = readSeekData(session->seekData());
  } catch (const SeekDataError& error) {
    throw ToolFailure(options.input + ": " + error.what());
  }
  return facts;
}

void writeFrameJson(JsonWriter& json, const SeekEntry& entry) {
  json.beginObject(true);
  json.key("n"), json.value(entry.number);
  json.key("type"), json.value(std::string(1, pictureTypeLetter(entry.type)));
  json.key("key"), json.value(entry.key);
  json.key("forward"), json.value(entry.forward);
  json.key("backward"), json.value(entry.backward);
  json.key("position"), json.value(entry.position);
  json.key("size"), json.value(entry.size);
  json.endObject();
}

std::string infoJson(const InfoFacts& facts) {
  std::string out;
  JsonWriter json(out);
  json.beginObject();
  json.key("container"), json.value(containerName(facts.seekData.container));
  json.key("width"), json.value(facts.info.width);
  json.key("height"), json.value(facts.info.height);
  json.key("displayWidth"), json.value(facts.info.displayWidth);
  json.key("displayHeight"), json.value(facts.info.displayHeight);
  json.key("stride"), json.value(facts.info.stride);
  json.key("progressive"), json.value(facts.info.progressive != 0);
  json.key("fieldPictures"), json.value(isFieldCoded(facts.look));
  json.key("pixelAspect"), json.value(facts.info.pixelAspect);  // NaN, left by the library, is null
  json.key("frameRate");
  if (const auto rate = frameRate(facts.look)) json.value(rate->value()); else json.null();
  json.key("frameCount"), json.value(facts.info.frameCount);
  json.key("startFrameOffset"), json.value(facts.startFrameOffset);
  json.key("lumaSize"), json.value(facts.geometry.lumaSize);
  json.key("chromaSize"), json.value(facts.geometry.chromaSize);
  json.key("frames");
  json.beginArray();
  for (const SeekEntry& entry : facts.seekData.entries) writeFrameJson(json, entry);
  json.endArray();
  json.endObject();
  return out;
}

std::string scanText(const InfoFacts& facts) {
  std::string text = "progressive";
  if (!facts.info.progressive) {
    const char order = interlacingLetter(facts.look);
    text = order == 't' ? "interlaced, top field first" : order == 'b' ? "interlaced, bottom field first" : "interlaced";
  }
  return text + (isFieldCoded(facts.look) ? ", field pictures" : ", frame pictures");
}

void printLine(const char* name, const std::string& value) { std::printf("%-19s %s\n", name, value.c_str()); }

void printInfoText(const Options& options, const InfoFacts& facts) {
  const FileInfo& info = facts.info;
  printLine("file", options.input);
  printLine("container", containerName(facts.seekData.container));
  printLine("coded size", std::to_string(info.width) + "x" + std::to_string(info.height));
  printLine("display size", std::to_string(info.displayWidth) + "x" + std::to_string(info.displayHeight));
  printLine("stride", std::to_string(info.stride));
  const Rational aspect = pixelAspectAt(info, DecodeScale::Full);
  char number[64];
  std::snprintf(number, sizeof number, "%.6g", info.pixelAspect);
  printLine("pixel aspect", std::isnan(info.pixelAspect) ? "unknown"
                                : std::string(number) + " (" + std::to_string(aspect.num) + ":" +
                                      std::to_string(aspect.den) + ")");
  printLine("scan", scanText(facts));
  const auto rate = frameRate(facts.look);
  std::snprintf(number, sizeof number, "%.6g", rate ? rate->value() : 0.0);
  printLine("frame rate", rate ? std::string(number) + " (" + std::to_string(rate->num) + "/" +
                                     std::to_string(rate->den) + ")"
                               : "unknown");
  printLine("frames", std::to_string(info.frameCount));
  printLine("start frame offset", std::to_string(facts.startFrameOffset));
  printLine("frame sizes", "luma " + std::to_string(facts.geometry.lumaSize) + ", chroma " +
                               std::to_string(facts.geometry.chromaSize) + " bytes");
}

void printFramesText(const SeekData& seekData) {
  std::printf("\n%8s %4s %3s %8s %8s %12s %8s\n", "frame", "type", "key", "forward", "backward", "position", "size");
  for (const SeekEntry& entry : seekData.entries) {
    std::printf("%8" PRId32 " %4c %3s %8" PRId32 " %8" PRId32 " %12" PRId64 " %8" PRIu32 "\n", entry.number,
                pictureTypeLetter(entry.type), entry.key ? "*" : "", entry.forward, entry.backward, entry.position,
                entry.size);
  }
}

}  // namespace

int runInfo(const Options& options) {
  const InfoFacts facts = gatherFacts(options);
  if (options.json) {
    std::fputs(infoJson(facts).c_str(), stdout);
  } else {
    printInfoText(options, facts);
    if (options.frames) printFramesText(facts.seekData);
  }
  if (std::fflush(stdout) != 0) throw ToolFailure("standard output: write failed");
  return kExitOk;
}

}  // namespace quarlin::tool
