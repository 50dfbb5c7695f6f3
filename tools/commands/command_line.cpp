#include "tools/commands/command_line.h"

#include <charconv>
#include <functional>
#include <map>
#include <set>
#include <string_view>
#include <vector>

#include "tools/host/tool_error.h"

namespace quarlin::tool {
namespace {

struct CommandSyntax {
  Command command;
  int positionals;  // FILE, and N for `frame`
  bool needsOutput;
  std::set<std::string_view> options;
};

const std::map<std::string_view, CommandSyntax>& commandSyntaxes() {
  static const std::map<std::string_view, CommandSyntax> syntaxes = {
      {"info", {Command::Info, 1, false, {"--json", "--frames"}}},
      {"index", {Command::Index, 1, true, {"-o"}}},
      {"decode",
       {Command::Decode, 1, true, {"-o", "--null", "--start", "--count", "--frame-list", "--scale", "--cache-mb", "--strict"}}},
      {"frame", {Command::Frame, 2, true, {"-o", "--scale", "--format", "--cache-mb"}}},
      {"thumbs", {Command::Thumbs, 1, true, {"-o", "--count", "--columns", "--cache-mb"}}},
  };
  return syntaxes;
}

// Options every command takes.
const std::set<std::string_view> kCommonOptions = {"--seek-data", "--quiet", "-q"};
const std::set<std::string_view> kFlags = {"--json", "--frames", "--quiet", "-q", "--strict", "--null"};

uint64_t parseNumber(std::string_view option, const std::string& text, uint64_t maximum) {
  uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty() || value > maximum) {
    throw UsageError(std::string(option) + " needs a whole number up to " + std::to_string(maximum) + ", not '" +
                     text + "'");
  }
  return value;
}

DecodeScale parseScale(const std::string& text) {
  if (text == "full") return DecodeScale::Full;
  if (text == "half") return DecodeScale::HalfWidth;
  if (text == "quarter") return DecodeScale::Quarter;
  throw UsageError("--scale takes full, half or quarter, not '" + text + "'");
}

void applyOption(Options& options, std::string_view name, const std::string& value) {
  constexpr uint64_t kFrameMax = 0x7FFFFFFF;
  if (name == "--json") options.json = true;
  else if (name == "--frames") options.frames = true;
  else if (name == "--quiet" || name == "-q") options.quiet = true;
  else if (name == "--strict") options.strict = true;
  else if (name == "--null") options.discard = true;
  else if (name == "-o") options.output = value;
  else if (name == "--seek-data") options.seekData = value;
  else if (name == "--start") options.start = static_cast<int32_t>(parseNumber(name, value, kFrameMax));
  else if (name == "--count") options.count = static_cast<uint32_t>(parseNumber(name, value, kFrameMax));
  else if (name == "--frame-list") {
    for (std::size_t at = 0, comma = 0; comma != std::string::npos; at = comma + 1) {
      comma = value.find(',', at);
      options.frameList.push_back(static_cast<int32_t>(
          parseNumber(name, value.substr(at, comma == std::string::npos ? comma : comma - at), kFrameMax)));
    }
  }
  else if (name == "--columns") options.columns = static_cast<uint32_t>(parseNumber(name, value, 1000));
  else if (name == "--scale") options.scale = parseScale(value);
  else if (name == "--cache-mb") options.cacheBytes = static_cast<std::size_t>(parseNumber(name, value, 1 << 20)) << 20;
  else if (name == "--format") {
    if (value != "png" && value != "y4m" && value != "yuv") throw UsageError("--format takes png, y4m or yuv");
    options.format = value;
  }
}

void checkComplete(const Options& options, const CommandSyntax& syntax, std::size_t positionals) {
  if (positionals < static_cast<std::size_t>(syntax.positionals)) {
    throw UsageError(syntax.positionals == 2 ? "expected FILE and a frame number" : "expected a FILE");
  }
  if (options.discard && !options.output.empty()) throw UsageError("--null writes nothing: no -o with it");
  if (syntax.needsOutput && options.output.empty() && !options.discard) throw UsageError("-o OUTPUT is required");
  if (options.command == Command::Thumbs && options.count && *options.count == 0) {
    throw UsageError("--count must be at least 1");
  }
  if (options.command == Command::Thumbs && options.columns == 0) throw UsageError("--columns must be at least 1");
  if (!options.frameList.empty() && (options.start || options.count))
    throw UsageError("--frame-list replaces --start and --count");
}

}  // namespace

Options parseCommandLine(int argc, const char* const* argv) {
  Options options;
  if (argc < 2) throw UsageError("no command given");
  const std::string first = argv[1];
  if (first == "--help" || first == "-h" || first == "help") return options;
  const auto syntaxIt = commandSyntaxes().find(first);
  if (syntaxIt == commandSyntaxes().end()) throw UsageError("unknown command '" + first + "'");
  const CommandSyntax& syntax = syntaxIt->second;
  options.command = syntax.command;
  std::vector<std::string> positionals;
  for (int i = 2; i < argc; ++i) {
    std::string argument = argv[i];
    if (argument == "--help" || argument == "-h") return Options{};
    if (argument.size() < 2 || argument[0] != '-') {
      positionals.push_back(argument);
      continue;
    }
    std::string value;
    bool hasValue = false;
    if (const auto equals = argument.find('='); argument.rfind("--", 0) == 0 && equals != std::string::npos) {
      value = argument.substr(equals + 1);
      argument.resize(equals);
      hasValue = true;
    }
    if (!syntax.options.count(argument) && !kCommonOptions.count(argument)) {
      throw UsageError("'" + first + "' does not take " + argument);
    }
    const bool isFlag = kFlags.count(argument) != 0;
    if (isFlag && hasValue) throw UsageError(argument + " takes no value");
    if (!isFlag && !hasValue) {
      if (i + 1 >= argc) throw UsageError(argument + " needs a value");
      value = argv[++i];
    }
    applyOption(options, argument, value);
  }
  if (positionals.size() > static_cast<std::size_t>(syntax.positionals)) {
    throw UsageError("unexpected argument '" + positionals.back() + "'");
  }
  checkComplete(options, syntax, positionals.size());
  options.input = positionals[0];
  if (syntax.command == Command::Frame) {
    options.frame = static_cast<int32_t>(parseNumber("the frame number", positionals[1], 0x7FFFFFFF));
  }
  return options;
}

const char* usageText() {
  return R"(usage: quarlin COMMAND FILE [options]

Commands:
  info FILE [--json] [--frames]
        Geometry, display size, pixel aspect, scan, frame rate, container,
        frame count, start frame offset and plane sizes; --frames adds one
        row per frame in display order (type, key, references, position,
        coded size); --json prints the same as JSON (frames included).
  index FILE -o SEEK
        Indexes the file and writes its seek data to SEEK.
  decode FILE -o OUT.y4m|--null [--start N] [--count K]
        [--frame-list N,M,...] [--scale full|half|quarter] [--strict]
        Every frame in display order (or K frames from N, or the frames
        listed, in the order listed) as YUV4MPEG2 4:2:0;
        "-o -" writes to standard output; --null decodes and writes nothing
        (a check of the file, or a speed measurement). A frame that fails to decode (a
        damaged or cut file) is written with its damaged macroblocks concealed, with a warning
        naming it, and decoding goes on; the exit status is 1 when any frame
        failed. --strict stops at the first failure instead.
  frame FILE N -o OUT.png|OUT.y4m|OUT.yuv [--scale S] [--format png|y4m|yuv]
        Frame N by random access; the format follows the file name's
        extension unless --format is given.
  thumbs FILE -o SHEET.png [--count 24] [--columns 6]
        A contact sheet of frames spread over the file, each labelled with
        its number and picture type.

Options for every command:
  --seek-data SEEK   restore the index from SEEK (from `quarlin index`)
                     instead of indexing the file
  --quiet, -q        no progress bar (it is drawn only when standard error
                     is a terminal)
  --cache-mb M       memory for decoded frames kept as references (512;
                     decode keeps only the few frames sequential order needs)

Exit status: 0 success, 1 the library or a file failed, 2 usage error.
)";
}

}  // namespace quarlin::tool
