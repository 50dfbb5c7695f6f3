// JSON text: separators, one-line containers, escaping, non-finite numbers.
#include "tools/commands/json_writer.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quarlin::tool {
namespace {

TEST(JsonWriter, NestedContainersAndValues) {
  std::string out;
  JsonWriter json(out);
  json.beginObject();
  json.key("name"), json.value("a\"b\\c\n\x01");
  json.key("n"), json.value(int64_t{-5});
  json.key("rate"), json.value(29.97002997002997);
  json.key("aspect"), json.value(std::nan(""));
  json.key("empty");
  json.beginArray();
  json.endArray();
  json.key("frames");
  json.beginArray();
  for (int i = 0; i < 2; ++i) {
    json.beginObject(true);
    json.key("n"), json.value(i);
    json.key("key"), json.value(i == 0);
    json.endObject();
  }
  json.endArray();
  json.endObject();
  EXPECT_EQ(out,
            "{\n"
            "  \"name\": \"a\\\"b\\\\c\\n\\u0001\",\n"
            "  \"n\": -5,\n"
            "  \"rate\": 29.97002997002997,\n"
            "  \"aspect\": null,\n"
            "  \"empty\": [],\n"
            "  \"frames\": [\n"
            "    {\"n\": 0, \"key\": true},\n"
            "    {\"n\": 1, \"key\": false}\n"
            "  ]\n"
            "}\n");
}

}  // namespace
}  // namespace quarlin::tool
