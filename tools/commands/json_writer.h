// A small JSON text builder: objects and arrays, one member per line, with
// containers that may be kept on one line (used for per-frame rows).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quarlin::tool {

class JsonWriter {
 public:
  explicit JsonWriter(std::string& out) : out_(out) {}

  void beginObject(bool oneLine = false);
  void endObject();
  void beginArray(bool oneLine = false);
  void endArray();
  void key(std::string_view name);  // inside an object, before each value

  void value(std::string_view text);
  void value(const char* text) { value(std::string_view(text)); }
  void value(int64_t number);
  void value(int32_t number) { value(int64_t{number}); }
  void value(uint32_t number) { value(int64_t{number}); }
  void value(double number);  // non-finite numbers become null
  void value(bool flag);
  void null();

 private:
  struct Level {
    bool oneLine;
    bool empty = true;
  };
  void beforeValue();
  void open(char bracket, bool oneLine);
  void close(char bracket);
  void newline();

  std::string& out_;
  std::vector<Level> levels_;
  bool afterKey_ = false;
};

std::string jsonQuoted(std::string_view text);

}  // namespace quarlin::tool
