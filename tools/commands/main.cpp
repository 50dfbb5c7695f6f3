// quarlin: the reference host of libquarlin and a command-line tool.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>
#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

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

namespace {

int toolMain(int argc, char** argv) {
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

}  // namespace

#if defined(_WIN32)
// Windows passes narrow arguments in its code page, which cannot name every
// file: the tool takes the UTF-16 command line (linked with -municode) and
// works in UTF-8 as elsewhere. Y4M and YUV on standard output stay binary.
int wmain(int argc, wchar_t** wideArgv) {
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) {
    const std::u8string utf8 = std::filesystem::path(wideArgv[i]).u8string();
    arguments.emplace_back(utf8.begin(), utf8.end());
  }
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  _setmode(_fileno(stdout), _O_BINARY);
  return toolMain(argc, argv.data());
}
#else
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QUARLIN_TOOL_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QUARLIN_TOOL_SANITIZED 1
#endif
// When toolMain returns, every session is closed and every output written
// and closed. The process then ends without the library's unload teardown,
// whose kernel read context takes 30 to 40 ms to destroy (the kernel waits
// for a grace period); the kernel frees it with the process. Sanitized
// builds end normally, so that their leak and race checks run.
int main(int argc, char** argv) {
  const int code = toolMain(argc, argv);
#if !defined(QUARLIN_TOOL_SANITIZED)
  std::fflush(nullptr);
  std::_Exit(code);
#endif
  return code;
}
#endif
