// quarlin: the reference host of libquarlin and a command-line tool.
#include <cstdio>
#include <exception>

#include "tools/commands/command_line.h"
#include "tools/commands/commands.h"
#include "tools/host/tool_error.h"

namespace quarlin::tool {
namespace {

int run(const Options& options) {
  switch (options.command) {
    case Command::Info: return runInfo(options);
    case Command::Index: return runIndex(options);
    case Command::Decode: return runDecode(options);
    case Command::Frame: return runFrame(options);
    case Command::Thumbs: return runThumbs(options);
    case Command::Help: break;
  }
  std::fputs(usageText(), stdout);
  return kExitOk;
}

}  // namespace
}  // namespace quarlin::tool

int main(int argc, char** argv) {
  using namespace quarlin::tool;
  try {
    return run(parseCommandLine(argc, argv));
  } catch (const UsageError& error) {
    std::fprintf(stderr, "quarlin: %s (see quarlin --help)\n", error.what());
    return kExitUsage;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "quarlin: %s\n", error.what());
    return kExitFailure;
  }
}
