#include "tests/robustness/mutations.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace quarlin::robust {

uint64_t Random::next() {
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

uint64_t nameHash(const std::string& name) {
  uint64_t h = 0xCBF29CE484222325ull;
  for (unsigned char c : name) h = (h ^ c) * 0x100000001B3ull;
  return h;
}

const char* mutationName(MutationKind kind) {
  switch (kind) {
    case MutationKind::ByteFlips: return "byte-flips";
    case MutationKind::HeaderFlips: return "header-flips";
    case MutationKind::Truncation: return "truncation";
    case MutationKind::ZeroRange: return "zero-range";
    case MutationKind::DuplicateChunk: return "duplicate-chunk";
    case MutationKind::DeleteChunk: return "delete-chunk";
    case MutationKind::InsertGarbage: return "insert-garbage";
    case MutationKind::Geometry: return "geometry";
    case MutationKind::CodingFields: return "coding-fields";
    case MutationKind::Count: break;
  }
  return "?";
}

namespace {

constexpr size_t kPacket = 188;

bool isSliceCode(uint8_t c) { return c >= 0x01 && c <= 0xAF; }
bool isSequenceLevelCode(uint8_t c) { return c == 0xB3 || c == 0xB5 || c == 0xB8 || c == 0xB2 || c == 0xB7; }
bool isSystemCode(uint8_t c) { return c == 0xBA || c == 0xBB || (c >= 0xE0 && c <= 0xEF) || c == 0xC0 || c == 0xBD; }

// A [begin, end) range of the file that forms one unit of its container.
struct Chunk {
  size_t begin = 0;
  size_t end = 0;
};

// Boundaries of the container's natural units: packets for transport
// streams, packs for program streams, pictures for elementary streams.
std::vector<size_t> chunkBoundaries(const std::vector<uint8_t>& bytes, Container container) {
  std::vector<size_t> bounds;
  switch (container) {
    case Container::Transport:
      for (size_t p = 0; p < bytes.size(); p += kPacket) bounds.push_back(p);
      break;
    case Container::Program:
      bounds = startCodeOffsets(bytes, [](uint8_t c) { return c == 0xBA; });
      break;
    case Container::Elementary:
      bounds = startCodeOffsets(bytes, [](uint8_t c) { return c == 0x00 || c == 0xB3 || c == 0xB8; });
      break;
    case Container::Other:
      break;
  }
  bounds.push_back(bytes.size());
  return bounds;
}

Chunk pickChunk(const std::vector<uint8_t>& bytes, Container container, Random& random) {
  const std::vector<size_t> bounds = chunkBoundaries(bytes, container);
  if (bounds.size() >= 2 && !random.chance(15)) {
    const size_t i = random.below(bounds.size() - 1);
    return Chunk{bounds[i], bounds[i + 1]};
  }
  // Any range: a chunk that cuts through headers.
  const size_t length = 1 + random.below(std::min<size_t>(bytes.size(), 4096));
  const size_t begin = random.below(bytes.size() - length + 1);
  return Chunk{begin, begin + length};
}

// A position at which a chunk may be inserted: a boundary of the container's
// units, or anywhere.
size_t pickInsertionPoint(const std::vector<uint8_t>& bytes, Container container, Random& random) {
  const std::vector<size_t> bounds = chunkBoundaries(bytes, container);
  if (!random.chance(20)) return bounds[random.below(bounds.size())];
  return random.below(bytes.size() + 1);
}

std::string byteFlips(std::vector<uint8_t>& bytes, Random& random) {
  const int64_t count = random.between(1, 16);
  for (int64_t i = 0; i < count; ++i) bytes[random.below(bytes.size())] ^= static_cast<uint8_t>(random.between(1, 255));
  return std::to_string(count) + " byte flips";
}

// Start codes whose headers are worth damaging, by class: sequence-level
// headers, picture headers, slice headers, container headers.
std::vector<size_t> headerOffsets(const std::vector<uint8_t>& bytes, Container container, Random& random) {
  switch (random.below(4)) {
    case 0: return startCodeOffsets(bytes, isSequenceLevelCode);
    case 1: return startCodeOffsets(bytes, [](uint8_t c) { return c == 0x00; });
    case 2: return startCodeOffsets(bytes, isSliceCode);
    default: break;
  }
  if (container != Container::Transport) return startCodeOffsets(bytes, isSystemCode);
  std::vector<size_t> packets;
  for (size_t p = 0; p < bytes.size(); p += kPacket) packets.push_back(p);
  return packets;
}

std::string headerFlips(std::vector<uint8_t>& bytes, Container container, Random& random) {
  std::vector<size_t> offsets = headerOffsets(bytes, container, random);
  if (offsets.empty()) offsets = startCodeOffsets(bytes, [](uint8_t) { return true; });
  if (offsets.empty()) return byteFlips(bytes, random);
  const int64_t headers = random.between(1, 4);
  std::string what = "header flips at";
  for (int64_t i = 0; i < headers; ++i) {
    const size_t start = offsets[random.below(offsets.size())];
    // The code byte itself now and then, mostly the header fields after it.
    const size_t at = start + (random.chance(10) ? 3 : 4 + random.below(12));
    if (at >= bytes.size()) continue;
    bytes[at] ^= static_cast<uint8_t>(1u << random.below(8));
    if (random.chance(30)) bytes[at] ^= static_cast<uint8_t>(1u << random.below(8));
    what.push_back(' ');
    what.append(std::to_string(at));
  }
  return what;
}

std::string truncation(std::vector<uint8_t>& bytes, Random& random) {
  size_t at = random.below(bytes.size());
  if (random.chance(40)) {
    // Just around a start code: inside it, in the header after it.
    const std::vector<size_t> codes = startCodeOffsets(bytes, [](uint8_t) { return true; });
    if (!codes.empty()) at = std::min(bytes.size() - 1, codes[random.below(codes.size())] + random.below(12));
  }
  bytes.resize(at);
  return "truncate at " + std::to_string(at);
}

std::string zeroRange(std::vector<uint8_t>& bytes, Random& random) {
  const size_t length = 1 + random.below(std::min<size_t>(bytes.size(), 4096));
  const size_t begin = random.below(bytes.size() - length + 1);
  std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(begin), bytes.begin() + static_cast<std::ptrdiff_t>(begin + length), 0);
  return "zero " + std::to_string(length) + " at " + std::to_string(begin);
}

std::string duplicateChunk(std::vector<uint8_t>& bytes, Container container, Random& random) {
  const Chunk chunk = pickChunk(bytes, container, random);
  const std::vector<uint8_t> copy(bytes.begin() + static_cast<std::ptrdiff_t>(chunk.begin),
                                  bytes.begin() + static_cast<std::ptrdiff_t>(chunk.end));
  const size_t at = pickInsertionPoint(bytes, container, random);
  bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), copy.begin(), copy.end());
  return "duplicate [" + std::to_string(chunk.begin) + "," + std::to_string(chunk.end) + ") at " + std::to_string(at);
}

std::string deleteChunk(std::vector<uint8_t>& bytes, Container container, Random& random) {
  const Chunk chunk = pickChunk(bytes, container, random);
  bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(chunk.begin), bytes.begin() + static_cast<std::ptrdiff_t>(chunk.end));
  return "delete [" + std::to_string(chunk.begin) + "," + std::to_string(chunk.end) + ")";
}

// Code bytes that steer the parsers: pictures, slices, sequence-level
// headers, packs and packets, the sequence end code.
uint8_t interestingCodeByte(Random& random) {
  static const uint8_t kCodes[] = {0x00, 0x01, 0x02, 0x10, 0xAF, 0xB2, 0xB3, 0xB5, 0xB7,
                                   0xB8, 0xB9, 0xBA, 0xBB, 0xBE, 0xC0, 0xE0, 0xEF};
  return kCodes[random.below(sizeof kCodes)];
}

std::string insertGarbage(std::vector<uint8_t>& bytes, Container container, Random& random) {
  const size_t length = 1 + random.below(2048);
  std::vector<uint8_t> garbage(length);
  for (uint8_t& b : garbage) b = static_cast<uint8_t>(random.next());
  const bool codeRich = random.chance(35);
  if (codeRich) {
    for (size_t p = 0; p + 4 <= length; p += 4 + random.below(16)) {
      garbage[p] = 0;
      garbage[p + 1] = 0;
      garbage[p + 2] = 1;
      garbage[p + 3] = interestingCodeByte(random);
    }
  }
  const size_t at = pickInsertionPoint(bytes, container, random);
  bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), garbage.begin(), garbage.end());
  return std::string(codeRich ? "insert start codes " : "insert garbage ") + std::to_string(length) + " at " +
         std::to_string(at);
}

// Writes the `width`-bit big-endian field that starts `bit` bits after
// bytes[at] (bit 0 is the most significant bit of that byte).
void setBits(std::vector<uint8_t>& bytes, size_t at, size_t bit, size_t width, uint32_t value) {
  for (size_t i = 0; i < width; ++i) {
    const size_t position = bit + i;
    const size_t index = at + position / 8;
    if (index >= bytes.size()) return;
    const auto mask = static_cast<uint8_t>(0x80u >> (position % 8));
    if ((value >> (width - 1 - i)) & 1)
      bytes[index] |= mask;
    else
      bytes[index] &= static_cast<uint8_t>(~mask);
  }
}

// Sizes at and around the limits: none, one sample, one macroblock, the
// 12-bit maximum, and odd sizes that leave partial macroblocks.
uint32_t interestingDimension(Random& random) {
  static const uint32_t kSizes[] = {0, 1, 2, 8, 15, 16, 17, 31, 32, 33, 48, 64, 100, 720, 1920, 4080, 4095};
  return kSizes[random.below(sizeof kSizes / sizeof kSizes[0])];
}

// horizontal_size_value and vertical_size_value (12 bits each) right after
// the sequence header code; of one header or of all of them.
std::string geometry(std::vector<uint8_t>& bytes, Random& random) {
  const std::vector<size_t> headers = startCodeOffsets(bytes, [](uint8_t c) { return c == 0xB3; });
  if (headers.empty()) return byteFlips(bytes, random);
  const uint32_t width = random.chance(70) ? interestingDimension(random) : static_cast<uint32_t>(random.below(4096));
  const uint32_t height = random.chance(70) ? interestingDimension(random) : static_cast<uint32_t>(random.below(4096));
  const bool all = random.chance(60);
  const size_t one = random.below(headers.size());
  for (size_t i = 0; i < headers.size(); ++i) {
    if (!all && i != one) continue;
    if (random.chance(70)) setBits(bytes, headers[i] + 4, 0, 12, width);
    if (random.chance(70)) setBits(bytes, headers[i] + 4, 12, 12, height);
  }
  return "geometry " + std::to_string(width) + "x" + std::to_string(height) + (all ? " everywhere" : " once");
}

// A field of a sequence extension (identifier 1) or a picture coding
// extension (identifier 8), as (first bit after the start code, width).
struct CodingField {
  uint8_t identifier;
  size_t bit;
  size_t width;
  const char* name;
};
constexpr CodingField kCodingFields[] = {
    {1, 12, 1, "progressive_sequence"},  {1, 13, 2, "chroma_format"},
    {1, 15, 2, "horizontal_size_extension"}, {1, 17, 2, "vertical_size_extension"},
    {8, 4, 4, "f_code[0][0]"},           {8, 8, 4, "f_code[0][1]"},
    {8, 12, 4, "f_code[1][0]"},          {8, 16, 4, "f_code[1][1]"},
    {8, 20, 2, "intra_dc_precision"},    {8, 22, 2, "picture_structure"},
    {8, 24, 1, "top_field_first"},       {8, 25, 1, "frame_pred_frame_dct"},
    {8, 26, 1, "concealment_motion_vectors"}, {8, 27, 1, "q_scale_type"},
    {8, 28, 1, "intra_vlc_format"},      {8, 29, 1, "alternate_scan"},
    {8, 30, 1, "repeat_first_field"},    {8, 31, 1, "chroma_420_type"},
    {8, 32, 1, "progressive_frame"},     {8, 33, 1, "composite_display_flag"},
};

std::string codingFields(std::vector<uint8_t>& bytes, Random& random) {
  const CodingField& field = kCodingFields[random.below(sizeof kCodingFields / sizeof kCodingFields[0])];
  std::vector<size_t> extensions;
  for (size_t p : startCodeOffsets(bytes, [](uint8_t c) { return c == 0xB5; }))
    if (p + 4 < bytes.size() && (bytes[p + 4] >> 4) == field.identifier) extensions.push_back(p);
  if (extensions.empty()) return byteFlips(bytes, random);
  const auto value = static_cast<uint32_t>(random.below(uint64_t{1} << field.width));
  // One extension, or every one from a point on (a whole stretch of pictures).
  const bool stretch = random.chance(40);
  const size_t first = random.below(extensions.size());
  for (size_t i = first; i < (stretch ? extensions.size() : first + 1); ++i)
    setBits(bytes, extensions[i] + 4, field.bit, field.width, value);
  return std::string(field.name) + " = " + std::to_string(value) + (stretch ? " from" : " at") + " extension " +
         std::to_string(first);
}

}  // namespace

std::string applyMutation(std::vector<uint8_t>& bytes, MutationKind kind, Container container, Random& random) {
  if (bytes.empty()) {
    // Nothing to damage: only garbage can be added.
    kind = MutationKind::InsertGarbage;
  }
  switch (kind) {
    case MutationKind::ByteFlips: return byteFlips(bytes, random);
    case MutationKind::HeaderFlips: return headerFlips(bytes, container, random);
    case MutationKind::Truncation: return truncation(bytes, random);
    case MutationKind::ZeroRange: return zeroRange(bytes, random);
    case MutationKind::DuplicateChunk: return duplicateChunk(bytes, container, random);
    case MutationKind::DeleteChunk: return deleteChunk(bytes, container, random);
    case MutationKind::Geometry: return geometry(bytes, random);
    case MutationKind::CodingFields: return codingFields(bytes, random);
    case MutationKind::InsertGarbage:
    case MutationKind::Count: break;
  }
  return insertGarbage(bytes, container, random);
}

Mutant makeMutant(const std::vector<uint8_t>& original, Container container, MutationKind kind, uint64_t seed) {
  Random random(seed);
  Mutant m{original, {}};
  m.description = applyMutation(m.bytes, kind, container, random);
  // Now and then more damage of any kind on top.
  for (int extra = 0; extra < 2 && random.chance(25); ++extra) {
    const auto more = static_cast<MutationKind>(random.below(static_cast<uint64_t>(MutationKind::Count)));
    m.description += "; " + applyMutation(m.bytes, more, container, random);
  }
  return m;
}

namespace {

// Random bytes in which 00 00 01 cannot occur (every other byte is nonzero).
std::vector<uint8_t> startCodeFree(size_t count, Random& random) {
  std::vector<uint8_t> out(count);
  for (size_t i = 0; i < count; ++i) {
    out[i] = static_cast<uint8_t>(random.next());
    if (i % 2 == 0 && out[i] == 0) out[i] = 0x55;
  }
  return out;
}

std::vector<uint8_t> joined(const std::vector<uint8_t>& original, size_t at, const std::vector<uint8_t>& middle) {
  std::vector<uint8_t> out(original.begin(), original.begin() + static_cast<std::ptrdiff_t>(at));
  out.insert(out.end(), middle.begin(), middle.end());
  out.insert(out.end(), original.begin() + static_cast<std::ptrdiff_t>(at), original.end());
  return out;
}

// Program streams: packs of one video PES packet each, the pack header
// copied from the file's first pack.
std::vector<uint8_t> videoPacks(const std::vector<uint8_t>& original, size_t bytes, Random& random) {
  constexpr size_t kPayload = 2000;
  const std::vector<uint8_t> packHeader(original.begin(), original.begin() + 14);
  std::vector<uint8_t> packs;
  for (size_t done = 0; done < bytes; done += kPayload) {
    packs.insert(packs.end(), packHeader.begin(), packHeader.end());
    const size_t length = kPayload + 3;  // flags, flags, PES_header_data_length 0
    const uint8_t pes[] = {0, 0, 1, 0xE0, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length), 0x81, 0, 0};
    packs.insert(packs.end(), std::begin(pes), std::end(pes));
    const std::vector<uint8_t> payload = startCodeFree(kPayload, random);
    packs.insert(packs.end(), payload.begin(), payload.end());
  }
  return packs;
}

// Transport streams: copies of a video packet that continues a PES packet
// (payload only), its payload replaced.
std::vector<uint8_t> videoPackets(const std::vector<uint8_t>& original, size_t at, size_t bytes, Random& random) {
  std::vector<uint8_t> packets;
  std::vector<uint8_t> packet(original.begin() + static_cast<std::ptrdiff_t>(at),
                              original.begin() + static_cast<std::ptrdiff_t>(at + kPacket));
  for (size_t done = 0; done < bytes; done += kPacket - 4) {
    const std::vector<uint8_t> payload = startCodeFree(kPacket - 4, random);
    std::copy(payload.begin(), payload.end(), packet.begin() + 4);
    packets.insert(packets.end(), packet.begin(), packet.end());
  }
  return packets;
}

void putLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Values that break arithmetic: signs, limits, off-by-ones, small numbers.
uint32_t interestingValue(Random& random) {
  static const uint32_t kValues[] = {0, 1, 2, 3, 0xFFFFFFFFu, 0xFFFFFFFEu, 0x7FFFFFFFu, 0x80000000u,
                                     0x7FFFFFF0u, 0x10000, 750000, 0x40000000u, 9, 1023, 1024};
  if (random.chance(30)) return static_cast<uint32_t>(random.below(64));
  return kValues[random.below(sizeof kValues / sizeof kValues[0])];
}

constexpr size_t kStreamPart = 24;
constexpr size_t kIndexHeader = 16;
constexpr size_t kEntry = 32;

}  // namespace

std::vector<uint8_t> withOversizedPicture(const std::vector<uint8_t>& original, Container container, size_t picture,
                                          size_t bytes, uint64_t seed) {
  Random random(seed);
  const std::vector<size_t> pictures = startCodeOffsets(original, [](uint8_t c) { return c == 0x00; });
  if (pictures.size() <= picture) return original;
  const size_t inPicture = pictures[picture] + 40;
  switch (container) {
    case Container::Program: {
      const std::vector<size_t> packs = startCodeOffsets(original, [](uint8_t c) { return c == 0xBA; });
      const auto next = std::upper_bound(packs.begin(), packs.end(), inPicture);
      if (packs.empty() || next == packs.end()) return original;
      return joined(original, *next, videoPacks(original, bytes, random));
    }
    case Container::Transport: {
      // The packet that carries the picture's start code.
      const size_t at = inPicture / kPacket * kPacket;
      if (at + kPacket > original.size()) return original;
      std::vector<uint8_t> continuation(original.begin() + static_cast<std::ptrdiff_t>(at),
                                        original.begin() + static_cast<std::ptrdiff_t>(at + kPacket));
      continuation[1] &= 0xBF;  // no payload_unit_start_indicator
      continuation[3] = static_cast<uint8_t>((continuation[3] & 0xCF) | 0x10);  // payload only
      return joined(original, at + kPacket, videoPackets(continuation, 0, bytes, random));
    }
    default:
      return joined(original, inPicture, startCodeFree(bytes, random));
  }
}

std::string mutateSeekData(std::vector<uint8_t>& block, Random& random) {
  const size_t entries = block.size() >= kStreamPart + kIndexHeader ? (block.size() - kStreamPart - kIndexHeader) / kEntry : 0;
  switch (random.below(7)) {
    case 0: {  // index header: version, entry count, start offset, frame count
      const size_t field = kStreamPart + 4 * random.below(4);
      if (field + 4 > block.size()) break;
      const uint32_t v = interestingValue(random);
      putLe32(&block[field], v);
      return "index header field at " + std::to_string(field) + " = " + std::to_string(v);
    }
    case 1: {  // one entry field: position (either half), size, number, references, flags
      if (entries == 0) break;
      const size_t entry = kStreamPart + kIndexHeader + kEntry * random.below(entries);
      const size_t field = entry + 4 * random.below(7);
      uint32_t v = interestingValue(random);
      if (random.chance(40) && field >= entry + 12) {
        // A display number of another entry: duplicates and cycles.
        const size_t other = kStreamPart + kIndexHeader + kEntry * random.below(entries);
        std::memcpy(&v, &block[other + 12], 4);
      }
      putLe32(&block[field], v);
      return "entry field at " + std::to_string(field) + " = " + std::to_string(v);
    }
    case 2: {  // the sequence locator bytes of an entry
      if (entries == 0) break;
      const size_t entry = kStreamPart + kIndexHeader + kEntry * random.below(entries);
      block[entry + 25] = 1;
      for (int i = 0; i < 6; ++i) block[entry + 26 + i] = static_cast<uint8_t>(random.next());
      if (random.chance(50)) {
        // Somewhere inside a small file.
        for (int i = 2; i < 6; ++i) block[entry + 26 + i] = 0;
      }
      return "sequence locator of entry at " + std::to_string(entry);
    }
    case 3: {  // the stream part: file kind flags and last recorded position
      const size_t at = random.chance(50) ? 8 + random.below(3) : 16 + random.below(8);
      block[at] ^= static_cast<uint8_t>(random.between(1, 255));
      return "stream part byte " + std::to_string(at);
    }
    case 4: {  // display numbers far apart: a key entry low, another entry high
      if (entries < 2) break;
      const size_t low = kStreamPart + kIndexHeader + kEntry * random.below(entries);
      const size_t high = kStreamPart + kIndexHeader + kEntry * random.below(entries);
      putLe32(&block[low + 12], random.chance(50) ? 0x80000000u : 0x80000000u + static_cast<uint32_t>(random.below(16)));
      block[low + 24] |= 0x40;
      putLe32(&block[high + 12], random.chance(50) ? 0x7FFFFFFFu : static_cast<uint32_t>(random.below(64)));
      return "display numbers far apart at " + std::to_string(low) + " and " + std::to_string(high);
    }
    case 5: {
      const size_t length = random.below(block.size() + 1);
      block.resize(length);
      return "seek data cut to " + std::to_string(length);
    }
    default: break;
  }
  const int64_t count = random.between(1, 8);
  for (int64_t i = 0; i < count && !block.empty(); ++i)
    block[random.below(block.size())] ^= static_cast<uint8_t>(random.between(1, 255));
  return std::to_string(count) + " seek data byte flips";
}

}  // namespace quarlin::robust
