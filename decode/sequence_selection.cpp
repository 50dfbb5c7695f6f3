#include "decode/sequence_selection.h"

#include <set>

#include "api/decoder_session.h"
#include "parse/header_parser.h"
#include "parse/start_codes.h"

namespace quarlin {

namespace {

constexpr int32_t kMaxUnitsSearched = 9;

// Reads units from the locator (the picture whose unit holds the header) and
// keeps the last sequence header met before the first unit of a picture
// that uses it.
bool readSequenceHeaderAt(DecoderSession& s, int64_t locator, SequenceInfo& found) {
  std::set<uint32_t> sizes;
  for (const auto& [number, e] : s.frameIndex.entries())
    if (e.sequenceLocator == locator) sizes.insert(e.codedSize);
  StreamBuffer& unit = *s.buffer;
  s.stream.seekTo(locator, unit);
  bool have = false;
  for (int32_t i = 0; i < kMaxUnitsSearched; ++i) {
    const int32_t result = s.stream.readNextPictureUnit(unit);
    if (result != 0 && !(result == -4 && unit.filled > 0)) break;
    if (have && sizes.count(static_cast<uint32_t>(unit.filled))) break;
    for (int32_t code = unit.nextStartCode(); code != -1; code = unit.nextStartCode()) {
      SequenceInfo header;
      if (code == kSequenceHeaderCode && parseSequenceHeader(unit, header) == 0) {
        found = header;
        have = true;
      }
    }
    if (result != 0) break;
  }
  return have;
}

}  // namespace

int32_t selectSequenceFor(DecoderSession& s, const FrameIndexEntry& entry) {
  const int64_t locator = entry.sequenceLocator;
  if (locator == s.loadedSequenceLocator) return 0;
  if (locator != -1 && !s.rememberedSequence(locator)) {
    SequenceInfo found;
    if (!readSequenceHeaderAt(s, locator, found)) return kSequenceUnavailable;
    s.rememberSequence(locator, found);
  }
  const SequenceInfo& header = locator == -1 ? s.firstSequence : *s.rememberedSequence(locator);
  if (header.width != s.firstSequence.width || header.height != s.firstSequence.height ||
      header.chromaFactor != 2)
    return kSequenceUnavailable;
  s.sequence = header;
  s.loadedSequenceLocator = locator;
  s.pictureValues.secondField = 0;
  return 0;
}

}  // namespace quarlin
