#include "tools/host/utf16_path.h"

namespace quarlin::tool {
namespace {

constexpr uint32_t kReplacement = 0xFFFD;

// Decodes the code point starting at text[i] and advances i past it.
uint32_t nextCodePoint(const std::string& text, std::size_t& i) {
  const auto byte = [&](std::size_t k) { return static_cast<uint8_t>(text[k]); };
  const uint8_t lead = byte(i++);
  if (lead < 0x80) return lead;
  int extra = 0;
  uint32_t value = 0;
  uint32_t minimum = 0;
  if ((lead & 0xE0) == 0xC0) extra = 1, value = lead & 0x1F, minimum = 0x80;
  else if ((lead & 0xF0) == 0xE0) extra = 2, value = lead & 0x0F, minimum = 0x800;
  else if ((lead & 0xF8) == 0xF0) extra = 3, value = lead & 0x07, minimum = 0x10000;
  else return kReplacement;
  for (int k = 0; k < extra; ++k) {
    if (i >= text.size() || (byte(i) & 0xC0) != 0x80) return kReplacement;
    value = value << 6 | (byte(i++) & 0x3F);
  }
  const bool surrogate = value >= 0xD800 && value <= 0xDFFF;
  return (value < minimum || value > 0x10FFFF || surrogate) ? kReplacement : value;
}

}  // namespace

std::vector<uint16_t> utf16Path(const std::string& utf8) {
  std::vector<uint16_t> out;
  out.reserve(utf8.size() + 1);
  for (std::size_t i = 0; i < utf8.size();) {
    const uint32_t c = nextCodePoint(utf8, i);
    if (c >= 0x10000) {
      out.push_back(static_cast<uint16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<uint16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<uint16_t>(c));
    }
  }
  out.push_back(0);
  return out;
}

std::filesystem::path filePath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::FILE* openFile(const std::string& utf8, const char* mode) {
#if defined(_WIN32)
  const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
  return _wfopen(filePath(utf8).c_str(), wideMode.c_str());
#else
  return std::fopen(utf8.c_str(), mode);
#endif
}

}  // namespace quarlin::tool
