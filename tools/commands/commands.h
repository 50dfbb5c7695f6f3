// The tool's commands; each returns the exit status or throws UsageError or
// ToolFailure.
#pragma once
#include "tools/commands/command_line.h"

namespace quarlin::tool {

int runInfo(const Options& options);
int runIndex(const Options& options);
int runDecode(const Options& options);
int runFrame(const Options& options);
int runThumbs(const Options& options);

}  // namespace quarlin::tool
