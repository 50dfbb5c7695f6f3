#include "corpus_catalog.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace quarlin::decodetest {

std::string CorpusStream::path() const {
  return location.empty() ? std::string(QUARLIN_TEST_DATA) + "/streams/" + file : location;
}

std::vector<CorpusStream> decodableStreams() {
  std::ifstream in(std::string(QUARLIN_TEST_DATA) + "/corpus.tsv");
  if (!in) throw std::runtime_error("tests/data/corpus.tsv is missing");
  std::vector<CorpusStream> streams;
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    std::stringstream row(line);
    for (std::string field; std::getline(row, field, '\t');) fields.push_back(field);
    if (fields.size() < 6 || fields[2] != "decodable") continue;
    CorpusStream s;
    s.file = fields[0];
    s.container = fields[1];
    s.expect = fields[2];
    s.frames = std::stoi(fields[3]);
    s.mpeg2dec = fields[4] == "yes";
    s.purpose = fields[5];
    streams.push_back(s);
  }
  return streams;
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

namespace {

// The payload of the first packet of `pid` that starts a section, from its
// table_id on; empty when there is none.
std::vector<uint8_t> firstSection(const std::vector<uint8_t>& ts, int32_t pid) {
  for (size_t p = 0; p + 188 <= ts.size(); p += 188) {
    const uint8_t* k = &ts[p];
    if (k[0] != 0x47 || !(k[1] & 0x40) || (((k[1] & 0x1F) << 8) | k[2]) != pid) continue;
    size_t at = 4;
    if (k[3] & 0x20) at += 1 + k[4];
    if (at >= 188) continue;
    at += 1 + k[at];  // pointer_field
    if (at >= 188) continue;
    return std::vector<uint8_t>(k + at, k + 188);
  }
  return {};
}

}  // namespace

int32_t transportVideoPid(const std::string& path) {
  const std::vector<uint8_t> ts = readFileBytes(path);
  const std::vector<uint8_t> pat = firstSection(ts, 0);
  if (pat.size() < 8) return -1;
  const size_t patLength = std::min<size_t>(3 + (((pat[1] & 0x0F) << 8) | pat[2]), pat.size());
  int32_t pmtPid = -1;
  for (size_t at = 8; at + 4 <= patLength - 4; at += 4) {
    const int program = (pat[at] << 8) | pat[at + 1];
    if (program != 0) pmtPid = ((pat[at + 2] & 0x1F) << 8) | pat[at + 3];
  }
  if (pmtPid < 0) return -1;
  const std::vector<uint8_t> pmt = firstSection(ts, pmtPid);
  if (pmt.size() < 12) return -1;
  const size_t pmtLength = std::min<size_t>(3 + (((pmt[1] & 0x0F) << 8) | pmt[2]), pmt.size());
  size_t at = 12 + (((pmt[10] & 0x0F) << 8) | pmt[11]);
  while (at + 5 <= pmtLength - 4) {
    const int streamType = pmt[at];
    const int32_t pid = ((pmt[at + 1] & 0x1F) << 8) | pmt[at + 2];
    if (streamType == 2) return pid;
    at += 5 + (((pmt[at + 3] & 0x0F) << 8) | pmt[at + 4]);
  }
  return -1;
}

}  // namespace quarlin::decodetest
