// The command line: what each command accepts and what is a usage error.
#include "tools/commands/command_line.h"

#include <gtest/gtest.h>

#include <vector>

#include "tools/host/tool_error.h"

namespace quarlin::tool {
namespace {

Options parse(std::vector<const char*> args) {
  args.insert(args.begin(), "quarlin");
  return parseCommandLine(static_cast<int>(args.size()), args.data());
}

TEST(CommandLine, AcceptsEachCommandsOptions) {
  const Options info = parse({"info", "a.m2v", "--json", "--frames", "--seek-data", "a.seek"});
  EXPECT_EQ(info.command, Command::Info);
  EXPECT_EQ(info.input, "a.m2v");
  EXPECT_TRUE(info.json && info.frames);
  EXPECT_EQ(info.seekData, "a.seek");

  const Options decode = parse({"decode", "a.ts", "-o", "-", "--start=10", "--count", "5", "--scale", "quarter", "-q"});
  EXPECT_EQ(decode.output, "-");
  EXPECT_EQ(decode.start, 10);
  EXPECT_EQ(decode.count, 5u);
  EXPECT_EQ(decode.scale, DecodeScale::Quarter);
  EXPECT_TRUE(decode.quiet);

  const Options frame = parse({"frame", "a.vob", "123", "-o", "f.png", "--scale", "half"});
  EXPECT_EQ(frame.frame, 123);
  EXPECT_EQ(frame.scale, DecodeScale::HalfWidth);

  const Options thumbs = parse({"thumbs", "a.m2v", "-o", "s.png", "--count", "12", "--columns", "4", "--cache-mb", "64"});
  EXPECT_EQ(thumbs.count, 12u);
  EXPECT_EQ(thumbs.columns, 4u);
  EXPECT_EQ(thumbs.cacheBytes, std::size_t{64} << 20);

  EXPECT_EQ(parse({"--help"}).command, Command::Help);
  EXPECT_EQ(parse({"decode", "--help"}).command, Command::Help);
}

TEST(CommandLine, UsageErrors) {
  const std::vector<std::vector<const char*>> cases = {
      {},
      {"play", "a.m2v"},
      {"info"},
      {"info", "a.m2v", "b.m2v"},
      {"info", "a.m2v", "--start", "3"},      // not an info option
      {"index", "a.m2v"},                      // -o missing
      {"decode", "a.m2v", "-o"},               // value missing
      {"decode", "a.m2v", "-o", "x", "--start", "-1"},
      {"decode", "a.m2v", "-o", "x", "--count", "12x"},
      {"decode", "a.m2v", "-o", "x", "--scale", "double"},
      {"decode", "a.m2v", "-o", "x", "--quiet=yes"},
      {"frame", "a.m2v", "-o", "x.png"},       // frame number missing
      {"frame", "a.m2v", "seven", "-o", "x.png"},
      {"frame", "a.m2v", "99999999999", "-o", "x.png"},
      {"thumbs", "a.m2v", "-o", "s.png", "--count", "0"},
      {"thumbs", "a.m2v", "-o", "s.png", "--columns", "0"},
  };
  for (const auto& args : cases) {
    std::string line;
    for (const char* a : args) line += std::string(a) + " ";
    EXPECT_THROW(parse(args), UsageError) << line;
  }
}

}  // namespace
}  // namespace quarlin::tool
