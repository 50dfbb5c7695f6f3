#include "json_reader.h"

#include <cctype>
#include <cstdlib>

namespace quarlin::tool::testing {
namespace {

class Parser {
 public:
  explicit Parser(const std::string& text) : text_(text) {}

  JsonValue document() {
    JsonValue value = parseValue();
    skipSpace();
    if (at_ != text_.size()) fail("text after the document");
    return value;
  }

 private:
  [[noreturn]] void fail(const std::string& what) const {
    throw std::runtime_error("JSON: " + what + " at offset " + std::to_string(at_));
  }
  void skipSpace() {
    while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) ++at_;
  }
  char peek() {
    skipSpace();
    if (at_ >= text_.size()) fail("unexpected end");
    return text_[at_];
  }
  void expect(char c) {
    if (peek() != c) fail(std::string("expected '") + c + "'");
    ++at_;
  }
  bool literal(const std::string& word) {
    if (text_.compare(at_, word.size(), word) != 0) return false;
    at_ += word.size();
    return true;
  }

  JsonValue parseValue() {
    const char c = peek();
    if (c == '{') return parseObject();
    if (c == '[') return parseArray();
    if (c == '"') return JsonValue{parseString()};
    if (literal("null")) return JsonValue{nullptr};
    if (literal("true")) return JsonValue{true};
    if (literal("false")) return JsonValue{false};
    return parseNumber();
  }

  JsonValue parseNumber() {
    const char* start = text_.c_str() + at_;
    char* end = nullptr;
    const double number = std::strtod(start, &end);
    if (end == start) fail("expected a value");
    at_ += static_cast<std::size_t>(end - start);
    return JsonValue{number};
  }

  std::string parseString() {
    expect('"');
    std::string out;
    while (at_ < text_.size() && text_[at_] != '"') {
      char c = text_[at_++];
      if (static_cast<unsigned char>(c) < 0x20) fail("control character in a string");
      if (c == '\\') {
        if (at_ >= text_.size()) fail("cut escape");
        const char e = text_[at_++];
        if (e == 'u') {
          if (at_ + 4 > text_.size()) fail("cut \\u escape");
          c = static_cast<char>(std::strtol(text_.substr(at_, 4).c_str(), nullptr, 16));
          at_ += 4;
        } else {
          c = e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e;
        }
      }
      out += c;
    }
    expect('"');
    return out;
  }

  JsonValue parseArray() {
    expect('[');
    auto array = std::make_shared<JsonArray>();
    if (peek() != ']') {
      do array->push_back(parseValue());
      while (peek() == ',' && ++at_);
    }
    expect(']');
    return JsonValue{array};
  }

  JsonValue parseObject() {
    expect('{');
    auto object = std::make_shared<JsonObject>();
    if (peek() != '}') {
      do {
        std::string key = parseString();
        expect(':');
        if (!object->emplace(key, parseValue()).second) fail("duplicate key " + key);
      } while (peek() == ',' && ++at_);
    }
    expect('}');
    return JsonValue{object};
  }

  const std::string& text_;
  std::size_t at_ = 0;
};

}  // namespace

const JsonValue& JsonValue::operator[](const std::string& key) const {
  const auto it = object().find(key);
  if (it == object().end()) throw std::runtime_error("JSON: no key " + key);
  return it->second;
}

JsonValue parseJson(const std::string& text) { return Parser(text).document(); }

}  // namespace quarlin::tool::testing
