// libquarlin.so exports the ten Quarlin_* functions and nothing else.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "corpus.h"

namespace {

TEST(ExportedSymbols, ExactlyTheTenExports) {
  const std::string table = quarlin::test::runCommand(
      std::string("nm -D --defined-only --format=posix '") + QUARLIN_LIBRARY_PATH + "'");
  ASSERT_FALSE(table.empty()) << "nm could not read " << QUARLIN_LIBRARY_PATH;
  std::set<std::string> exported;
  std::istringstream lines(table);
  std::string name, type;
  while (lines >> name >> type) {
    std::string rest;
    std::getline(lines, rest);
    exported.insert(name);
  }
  const std::set<std::string> expected = {
      "Quarlin_OpenFile",        "Quarlin_IndexFile",     "Quarlin_CloseFile",
      "Quarlin_GetFileInfo",     "Quarlin_GetStartFrameOffset", "Quarlin_GetFrameSizes",
      "Quarlin_GetSeekData",     "Quarlin_FreeSeekData",  "Quarlin_GetFrameDependancies",
      "Quarlin_GetFrame"};
  EXPECT_EQ(exported, expected);
}

}  // namespace
