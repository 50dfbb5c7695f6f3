#include "tests/support/corpus.h"

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "tests/support/test_host.h"

namespace quarlin::test {

std::string streamPath(const std::string& file) { return std::string(QUARLIN_TEST_DATA) + "/streams/" + file; }

std::string CorpusStream::path() const { return streamPath(file); }

void PrintTo(const CorpusStream& stream, std::ostream* out) { *out << stream.file; }

const std::vector<CorpusStream>& corpus() {
  static const std::vector<CorpusStream> streams = [] {
    std::ifstream in(std::string(QUARLIN_TEST_DATA) + "/corpus.tsv");
    if (!in) throw std::runtime_error("tests/data/corpus.tsv is missing");
    std::vector<CorpusStream> out;
    std::string line;
    std::getline(in, line);  // column names
    while (std::getline(in, line)) {
      std::vector<std::string> fields;
      std::istringstream row(line);
      for (std::string field; std::getline(row, field, '\t');) fields.push_back(field);
      if (fields.size() < 7) continue;
      out.push_back(CorpusStream{fields[0], fields[1], fields[2], fields[4] == "yes", fields[5], fields[6]});
    }
    return out;
  }();
  return streams;
}

std::vector<CorpusStream> streamsThatDecode(bool decodable) {
  std::vector<CorpusStream> out;
  for (const CorpusStream& s : corpus())
    if (s.decodable() == decodable) out.push_back(s);
  return out;
}

std::string memoryFolder() {
  return std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path().string();
}

std::vector<uint8_t> readFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

TempFile::TempFile(const std::string& directory, const std::vector<uint8_t>& bytes) {
  static std::atomic<int> files{0};
  std::filesystem::create_directories(directory);
  path_ = directory + "/quarlin-test-" + std::to_string(getpid()) + "-" + std::to_string(files.fetch_add(1)) + ".bin";
  writeFileBytes(path_, bytes);
  u16path_ = u16(path_);
}

TempFile::~TempFile() {
  std::error_code ignored;
  std::filesystem::remove(path_, ignored);
}

}  // namespace quarlin::test
