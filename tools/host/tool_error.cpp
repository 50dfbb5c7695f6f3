#include "tools/host/tool_error.h"

namespace quarlin::tool {

std::string libraryFailureText(const std::string& file, const std::string& cause, int32_t result) {
  return file + ": " + cause + " (result " + std::to_string(result) + ")";
}

}  // namespace quarlin::tool
