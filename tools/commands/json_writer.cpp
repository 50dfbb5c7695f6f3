#include "tools/commands/json_writer.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace quarlin::tool {

std::string jsonQuoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

void JsonWriter::newline() {
  out_ += '\n';
  out_.append(levels_.size() * 2, ' ');
}

void JsonWriter::beforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (levels_.empty()) return;
  Level& level = levels_.back();
  if (!level.empty) out_ += level.oneLine ? ", " : ",";
  if (!level.oneLine) newline();
  level.empty = false;
}

void JsonWriter::open(char bracket, bool oneLine) {
  beforeValue();
  out_ += bracket;
  const bool parentOneLine = !levels_.empty() && levels_.back().oneLine;
  levels_.push_back(Level{oneLine || parentOneLine});
}

void JsonWriter::close(char bracket) {
  const Level level = levels_.back();
  levels_.pop_back();
  if (!level.oneLine && !level.empty) newline();
  out_ += bracket;
  if (levels_.empty()) out_ += '\n';
}

void JsonWriter::beginObject(bool oneLine) { open('{', oneLine); }
void JsonWriter::endObject() { close('}'); }
void JsonWriter::beginArray(bool oneLine) { open('[', oneLine); }
void JsonWriter::endArray() { close(']'); }

void JsonWriter::key(std::string_view name) {
  beforeValue();
  out_ += jsonQuoted(name);
  out_ += ": ";
  afterKey_ = true;
}

void JsonWriter::value(std::string_view text) {
  beforeValue();
  out_ += jsonQuoted(text);
}

void JsonWriter::value(int64_t number) {
  beforeValue();
  out_ += std::to_string(number);
}

void JsonWriter::value(double number) {
  beforeValue();
  if (!std::isfinite(number)) {
    out_ += "null";
    return;
  }
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, number);
  out_.append(text, result.ptr);
}

void JsonWriter::value(bool flag) {
  beforeValue();
  out_ += flag ? "true" : "false";
}

void JsonWriter::null() {
  beforeValue();
  out_ += "null";
}

}  // namespace quarlin::tool
