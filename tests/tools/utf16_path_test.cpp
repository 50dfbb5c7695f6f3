// UTF-8 command-line paths to the UTF-16 the library opens.
#include "tools/host/utf16_path.h"

#include <gtest/gtest.h>

namespace quarlin::tool {
namespace {

TEST(Utf16Path, ConvertsAndTerminates) {
  struct Case {
    std::string utf8;
    std::vector<uint16_t> utf16;
  };
  const Case cases[] = {
      {"a.m2v", {'a', '.', 'm', '2', 'v', 0}},
      {"\xC3\xA9", {0xE9, 0}},                     // é
      {"\xE2\x82\xAC", {0x20AC, 0}},               // €
      {"\xF0\x9F\x8E\xAC", {0xD83C, 0xDFAC, 0}},   // a clapper board, a surrogate pair
      {"\xFF" "a", {0xFFFD, 'a', 0}},              // not UTF-8
      {"\xC3", {0xFFFD, 0}},                       // cut short
      {"\xC0\xAF", {0xFFFD, 0}},                   // overlong '/'
      {"\xED\xA0\x80", {0xFFFD, 0}},               // an encoded surrogate
      {"", {0}},
  };
  for (const Case& c : cases) EXPECT_EQ(utf16Path(c.utf8), c.utf16) << c.utf8;
}

}  // namespace
}  // namespace quarlin::tool
