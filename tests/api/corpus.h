// The committed test streams and what is known about each (tests/data/corpus.tsv).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "quarlin/quarlin.h"

namespace quarlin::test {

struct CorpusStream {
  std::string file;       // name under tests/data/streams
  std::string container;  // es, ps, ts or other
  std::string expect;     // decodable, refuse-2 or refuse-3
  int32_t frames = 0;     // ffprobe's frame count for decodable streams
  bool mpeg2dec = false;  // libmpeg2 decodes it
  std::string purpose;

  std::string path() const;
  bool decodable() const { return expect == "decodable"; }
};

const std::vector<CorpusStream>& corpus();
std::vector<CorpusStream> decodableStreams();

// Output of a shell command (empty when it could not run).
std::string runCommand(const std::string& command);
// Picture types (I, P, B) of video stream 0 in display order, per ffprobe.
std::string ffprobePictureTypes(const std::string& path);

// An open session, indexed to the end.
struct IndexedFile {
  DecoderSession* session = nullptr;
  int32_t openResult = 0;
  int32_t indexResult = 0;
  IndexedFile(const std::string& path, const void* seekData = nullptr, int32_t seekSize = 0);
  ~IndexedFile();
  IndexedFile(const IndexedFile&) = delete;
  IndexedFile& operator=(const IndexedFile&) = delete;
  std::vector<uint8_t> seekData() const;
};

// Picture types of a seek-data block's entries, in display order.
std::string pictureTypesOf(const std::vector<uint8_t>& seekData);
// Display numbers of a seek-data block's entries, ascending.
std::vector<int32_t> displayNumbersOf(const std::vector<uint8_t>& seekData);

}  // namespace quarlin::test
