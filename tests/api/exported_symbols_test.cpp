// libquarlin.so exports the ten Quarlin_* functions and nothing else.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>

namespace {

TEST(ExportedSymbols, ExactlyTheTenExports) {
  std::string table;
  FILE* pipe = popen((std::string("nm -D --defined-only --format=posix '") + QUARLIN_LIBRARY_PATH + "'").c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) table.append(buffer, n);
  pclose(pipe);
  ASSERT_FALSE(table.empty()) << "nm could not read " << QUARLIN_LIBRARY_PATH;
  std::set<std::string> exported;
  std::istringstream lines(table);
  for (std::string line; std::getline(lines, line);) exported.insert(line.substr(0, line.find(' ')));
  const std::set<std::string> expected = {
      "Quarlin_OpenFile",    "Quarlin_IndexFile",           "Quarlin_CloseFile",     "Quarlin_GetFileInfo",
      "Quarlin_GetStartFrameOffset", "Quarlin_GetFrameSizes", "Quarlin_GetSeekData", "Quarlin_FreeSeekData",
      "Quarlin_GetFrameDependancies", "Quarlin_GetFrame"};
  EXPECT_EQ(exported, expected);
}

}  // namespace
