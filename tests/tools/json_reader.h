// A small JSON reader for checking the tool's JSON output in tests.
#pragma once
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace quarlin::tool::testing {

struct JsonValue;
using JsonObject = std::map<std::string, JsonValue>;
using JsonArray = std::vector<JsonValue>;

struct JsonValue {
  std::variant<std::nullptr_t, bool, double, std::string, std::shared_ptr<JsonArray>, std::shared_ptr<JsonObject>>
      value;

  bool isNull() const { return std::holds_alternative<std::nullptr_t>(value); }
  double number() const { return std::get<double>(value); }
  bool boolean() const { return std::get<bool>(value); }
  const std::string& string() const { return std::get<std::string>(value); }
  const JsonArray& array() const { return *std::get<std::shared_ptr<JsonArray>>(value); }
  const JsonObject& object() const { return *std::get<std::shared_ptr<JsonObject>>(value); }
  const JsonValue& operator[](const std::string& key) const;  // throws when absent
};

// Parses a whole document; throws std::runtime_error on any syntax error.
JsonValue parseJson(const std::string& text);

}  // namespace quarlin::tool::testing
