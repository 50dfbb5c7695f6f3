#include "corpus.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "tests/support/test_host.h"

namespace quarlin::test {

std::string CorpusStream::path() const { return std::string(QUARLIN_TEST_DATA) + "/streams/" + file; }

const std::vector<CorpusStream>& corpus() {
  static const std::vector<CorpusStream> streams = [] {
    std::vector<CorpusStream> out;
    std::ifstream in(std::string(QUARLIN_TEST_DATA) + "/corpus.tsv");
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
      if (line.empty()) continue;
      std::istringstream fields(line);
      CorpusStream s;
      std::string frames, mpeg2dec;
      std::getline(fields, s.file, '\t');
      std::getline(fields, s.container, '\t');
      std::getline(fields, s.expect, '\t');
      std::getline(fields, frames, '\t');
      std::getline(fields, mpeg2dec, '\t');
      std::getline(fields, s.purpose, '\t');
      s.frames = std::atoi(frames.c_str());
      s.mpeg2dec = mpeg2dec == "yes";
      out.push_back(s);
    }
    return out;
  }();
  return streams;
}

std::vector<CorpusStream> decodableStreams() {
  std::vector<CorpusStream> out;
  for (const CorpusStream& s : corpus())
    if (s.decodable()) out.push_back(s);
  return out;
}

std::string runCommand(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  return out;
}

// The video stream the library reads: in a transport stream, that of the
// last program its PAT lists; elsewhere the first.
std::string videoStreamSpecifier(const std::string& path) {
  const std::string ids = runCommand("ffprobe -v error -show_entries program=program_id -of csv=p=0 '" + path +
                                     "' 2>/dev/null");
  std::string last, line;
  for (char c : ids) {
    if (c == '\n') {
      if (!line.empty()) last = line;
      line.clear();
    } else if (std::isdigit(static_cast<unsigned char>(c))) {
      line.push_back(c);
    }
  }
  if (!line.empty()) last = line;
  return last.empty() ? "v:0" : "p:" + last + ":v:0";
}

std::string ffprobePictureTypes(const std::string& path) {
  const std::string lines = runCommand("ffprobe -v error -select_streams " + videoStreamSpecifier(path) +
                                       " -show_entries frame=pict_type -of csv=p=0 '" + path + "' 2>/dev/null");
  std::string types;
  for (char c : lines)
    if (c == 'I' || c == 'P' || c == 'B') types.push_back(c);
  return types;
}

IndexedFile::IndexedFile(const std::string& path, const void* seekData, int32_t seekSize) {
  const std::u16string wide = u16(path);
  openResult = Quarlin_OpenFile(reinterpret_cast<const uint16_t*>(wide.c_str()), &testHostServices(),
                                seekData, seekSize, &session);
  indexResult = openResult;
  float progress = 0;
  for (int guard = 0; indexResult == -4 && guard < 100000; ++guard)
    indexResult = Quarlin_IndexFile(session, &progress);
}

IndexedFile::~IndexedFile() {
  if (openResult == 0 || openResult == -4) Quarlin_CloseFile(session);
}

std::vector<uint8_t> IndexedFile::seekData() const {
  void* data = nullptr;
  int32_t size = 0;
  if ((openResult != 0 && openResult != -4) || Quarlin_GetSeekData(session, &data, &size) != 0) return {};
  std::vector<uint8_t> out(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
  Quarlin_FreeSeekData(data);
  return out;
}

std::string pictureTypesOf(const std::vector<uint8_t>& seekData) {
  std::string types;
  for (size_t p = 24 + 16; p + 32 <= seekData.size(); p += 32) types.push_back("?IPB"[seekData[p + 24] & 3]);
  return types;
}

std::vector<int32_t> displayNumbersOf(const std::vector<uint8_t>& seekData) {
  std::vector<int32_t> numbers;
  for (size_t p = 24 + 16; p + 32 <= seekData.size(); p += 32) {
    int32_t n;
    std::memcpy(&n, &seekData[p + 12], 4);
    numbers.push_back(n);
  }
  return numbers;
}

}  // namespace quarlin::test
