// The committed test streams (tests/data/corpus.tsv) and what the tests
// need to know about each to decode it with other decoders.
#pragma once
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace quarlin::decodetest {

struct CorpusStream {
  std::string file;       // name inside tests/data/streams
  std::string container;  // es, ps, ts or other
  std::string expect;     // decodable, refuse-2, refuse-3
  int frames = 0;         // FFmpeg's frame count
  bool mpeg2dec = false;  // libmpeg2 decodes it
  std::string purpose;
  std::string location;  // a stream outside the corpus: its path

  std::string path() const;
};

std::vector<CorpusStream> decodableStreams();

// How GoogleTest names a stream in its messages.
inline void PrintTo(const CorpusStream& stream, std::ostream* os) { *os << stream.file; }

// The PID of the video stream the library decodes in a transport stream:
// the first stream_type 2 entry of the PMT of the last program in the PAT.
// -1 when there is none.
int32_t transportVideoPid(const std::string& path);

// Bytes of a file, and writing them back.
std::vector<uint8_t> readFileBytes(const std::string& path);
void writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace quarlin::decodetest
