// Deterministic damage to a stream's bytes: each mutant is fully determined
// by its seed, so a failure names the seed that reproduces it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace quarlin::robust {

// splitmix64: small, fast, identical on every platform and library.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t next();
  // Uniform in [0, bound); bound 0 gives 0.
  uint64_t below(uint64_t bound) { return bound == 0 ? 0 : next() % bound; }
  // Uniform in [low, high].
  int64_t between(int64_t low, int64_t high) { return low + static_cast<int64_t>(below(static_cast<uint64_t>(high - low + 1))); }
  bool chance(uint32_t percent) { return below(100) < percent; }

 private:
  uint64_t state_;
};

// The container a stream's bytes are cut along (packets, packs or pictures).
enum class Container { Elementary, Program, Transport, Other };

enum class MutationKind {
  ByteFlips,       // random bytes anywhere XORed with random values
  HeaderFlips,     // bits flipped in the bytes after chosen start codes
  Truncation,      // the file cut short
  ZeroRange,       // a range overwritten with zeros
  DuplicateChunk,  // a packet, pack or picture repeated elsewhere
  DeleteChunk,     // a packet, pack or picture removed
  InsertGarbage,   // random bytes, sometimes rich in start codes, inserted
  Geometry,        // the coded picture size of the sequence headers rewritten
  CodingFields,    // one field of sequence or picture coding extensions rewritten
  Count
};

const char* mutationName(MutationKind kind);

// One damaging step applied to `bytes` with the generator's next values.
// Returns a short description ("truncate at 1234").
std::string applyMutation(std::vector<uint8_t>& bytes, MutationKind kind, Container container, Random& random);

// A mutant of `original`: one to three steps, the first of `kind`.
struct Mutant {
  std::vector<uint8_t> bytes;
  std::string description;
};
Mutant makeMutant(const std::vector<uint8_t>& original, Container container, MutationKind kind, uint64_t seed);

// Offsets of every start code prefix 00 00 01 in `bytes` whose code byte
// satisfies `wanted`.
template <class Predicate>
std::vector<size_t> startCodeOffsets(const std::vector<uint8_t>& bytes, Predicate wanted) {
  std::vector<size_t> offsets;
  for (size_t p = 0; p + 3 < bytes.size(); ++p)
    if (bytes[p] == 0 && bytes[p + 1] == 0 && bytes[p + 2] == 1 && wanted(bytes[p + 3])) offsets.push_back(p);
  return offsets;
}

// A picture grown past the 750000-byte unit every part of the library reads
// pictures into: `bytes` start-code-free bytes inserted into picture number
// `picture` (0-based, in file order), carried as the container carries
// video (whole PES packets in packs for program streams, whole video packets
// for transport streams).
std::vector<uint8_t> withOversizedPicture(const std::vector<uint8_t>& original, Container container, size_t picture,
                                          size_t bytes, uint64_t seed);

// Damage to a seek-data block (header fields, entries, length).
std::string mutateSeekData(std::vector<uint8_t>& block, Random& random);

// A stable 64-bit hash of a name (FNV-1a), to derive per-stream seeds.
uint64_t nameHash(const std::string& name);

}  // namespace quarlin::robust
