// A file of given bytes for a test, removed when the object goes away.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace quarlin::test {

class TempFile {
 public:
  // Writes `bytes` to a new file in `directory` (created if missing).
  TempFile(const std::string& directory, const std::vector<uint8_t>& bytes);
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::string& path() const { return path_; }
  // The path as NUL-terminated UTF-16.
  const char16_t* u16path() const { return u16path_.c_str(); }

 private:
  std::string path_;
  std::u16string u16path_;
};

}  // namespace quarlin::test

using quarlin::test::TempFile;
