// The committed test streams (tests/data/corpus.tsv) and what is known about
// each: its container, whether it must decode or be refused and whether
// libmpeg2 decodes it; files read, written and temporary.
#pragma once
#include <cctype>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace quarlin::test {

struct CorpusStream {
  std::string file;       // name under tests/data/streams
  std::string container;  // es, ps, ts or other
  std::string expect;     // decodable, refuse-2 or refuse-3
  bool mpeg2dec = false;  // libmpeg2 decodes it
  std::string stream;     // the video stream decoded: "v:0", or "#0xPID" in a transport stream
  std::string purpose;

  std::string path() const;
  bool decodable() const { return expect == "decodable"; }
  // The open's result for a refused stream: -2 or -3.
  int32_t refusal() const { return expect == "refuse-2" ? -2 : -3; }
  // Streams cut inside a picture: that one frame may fail.
  bool lastFrameMayFail() const { return file == "ts-truncated.ts" || file == "es-cut-both-ends.m2v"; }
  // The transport stream PID of the video decoded, -1 for other containers.
  int32_t pid() const { return stream.rfind("#0x", 0) == 0 ? std::stoi(stream.substr(3), nullptr, 16) : -1; }
};

// gtest prints a stream parameter by its file name.
void PrintTo(const CorpusStream& stream, std::ostream* out);

std::string streamPath(const std::string& file);
const std::vector<CorpusStream>& corpus();
std::vector<CorpusStream> streamsThatDecode(bool decodable);
inline std::vector<CorpusStream> decodableStreams() { return streamsThatDecode(true); }
inline std::vector<CorpusStream> refusedStreams() { return streamsThatDecode(false); }

// Names the tests of INSTANTIATE_TEST_SUITE_P over corpus streams: the file
// name, every character outside [A-Za-z0-9] as '_'.
struct CorpusTestName {
  template <class ParamInfo>
  std::string operator()(const ParamInfo& info) const {
    std::string name = info.param.file;
    for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
  }
};

// /dev/shm where there is one (tmpfs keeps short-lived files off the disk),
// else the system's temporary folder.
std::string memoryFolder();
std::vector<uint8_t> readFileBytes(const std::string& path);
void writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// A new file of `bytes` in `directory` (created if missing), removed with the object.
class TempFile {
 public:
  TempFile(const std::string& directory, const std::vector<uint8_t>& bytes);
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::string& path() const { return path_; }
  const char16_t* u16path() const { return u16path_.c_str(); }  // NUL-terminated UTF-16

 private:
  std::string path_;
  std::u16string u16path_;
};

}  // namespace quarlin::test

using quarlin::test::TempFile;
