// `quarlin index`: the file's seek data, to skip indexing next time.
#include "tools/commands/command_support.h"
#include "tools/commands/commands.h"
#include "tools/host/tool_error.h"

namespace quarlin::tool {

int runIndex(const Options& options) {
  const auto session = openIndexed(options);
  const std::vector<uint8_t> block = session->seekData();
  OutputFile out(options.output);
  if (std::fwrite(block.data(), 1, block.size(), out.get()) != block.size()) out.fail();
  out.close();
  return kExitOk;
}

}  // namespace quarlin::tool
