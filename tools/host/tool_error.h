// The two ways a command ends early: a usage error (exit code 2) and a
// failure of the library or of the files involved (exit code 1). Their
// messages are printed after "quarlin: ".
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

namespace quarlin::tool {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ToolFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "FILE: CAUSE (result RESULT)"
std::string libraryFailureText(const std::string& file, const std::string& cause, int32_t result);

}  // namespace quarlin::tool
