// Programs run by the shell, for the tests that compare with other tools
// (POSIX builds only: the Windows test builds do not include this).
#pragma once
#include <cstdio>
#include <cstdlib>
#include <string>

namespace quarlin::test {

inline bool onPath(const std::string& program) {
  return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// What `command` writes on its standard output ("" when it cannot start).
inline std::string commandOutput(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  char buffer[4096];
  for (size_t n; pipe && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  if (pipe) pclose(pipe);
  return out;
}

}  // namespace quarlin::test
