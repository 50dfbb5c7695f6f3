// Random reads, seeks and searches compared with a plain model of the file
// reader working on the file's bytes in memory. Runs on the normal disk
// (direct I/O) and on tmpfs. QUARLIN_TEST_SEED=n repeats a run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "tests/io/reader_test_support.h"

namespace quarlin::test {
namespace {

// The reader's contract over an in-memory file.
class ReaderModel {
 public:
  explicit ReaderModel(const std::vector<uint8_t>& bytes)
      : bytes_(bytes), size_(static_cast<int64_t>(bytes.size())) {}

  int64_t position = 0;

  int32_t read(uint8_t* out, int32_t count, int32_t& got) {
    const int64_t wanted = count > 0 ? count : 0;
    got = 0;
    const int32_t status = position >= size_ ? -4 : position < 0 ? -6 : 0;
    const int64_t take = status == 0 ? std::min(wanted, size_ - position) : 0;
    std::copy_n(bytes_.begin() + (status == 0 ? position : 0), take, out);
    std::fill(out + take, out + wanted, 0);
    position += take;
    got = static_cast<int32_t>(take);
    return status != 0 ? status : take < wanted ? -4 : 0;
  }

  int32_t readValue(uint32_t& value, int width) {
    uint8_t bytes[4];
    int32_t got = 0;
    if (const int32_t result = read(bytes, width, got); result != 0) return result;
    value = 0;
    for (int i = 0; i < width; ++i) value = (value << 8) | bytes[i];
    return 0;
  }

  // Byte by byte, as the search is described.
  int32_t findStartCode(uint32_t target, uint32_t& code) {
    uint32_t byte = 0;
    for (;;) {
      do {
        if (const int32_t r = readValue(byte, 1); r != 0) return r;
      } while (byte != 0);
      if (const int32_t r = readValue(byte, 1); r != 0) return r;
      code = byte;
      if (byte != 0) continue;
      do {
        if (const int32_t r = readValue(byte, 1); r != 0) return r;
      } while (byte == 0);
      code = byte;
      if (byte != 1) continue;
      if (const int32_t r = readValue(byte, 1); r != 0) return r;
      code = 0x100 | byte;
      if (code == target) return 0;
    }
  }

 private:
  const std::vector<uint8_t>& bytes_;
  const int64_t size_;
};

// Random bytes rich in zeros and start codes, so searches find things.
std::vector<uint8_t> streamLikeBytes(size_t size, std::mt19937& random) {
  std::vector<uint8_t> bytes(size);
  for (auto& b : bytes) b = random() % 4 == 0 ? 0 : static_cast<uint8_t>(random());
  const uint8_t codes[] = {0xB3, 0xB5, 0x00, 0xB8, 0xBA, 0xE0};
  for (size_t i = 0; i + 4 < size; i += 1 + random() % 3000) {
    bytes[i] = bytes[i + 1] = 0;
    bytes[i + 2] = 1;
    bytes[i + 3] = codes[random() % 6];
  }
  return bytes;
}

uint32_t testSeed() {
  const char* text = std::getenv("QUARLIN_TEST_SEED");
  return text ? static_cast<uint32_t>(std::strtoul(text, nullptr, 10)) : std::random_device{}();
}

class ReaderPropertyTest : public ReaderTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(ReaderPropertyTest, RandomOperationsMatchTheModel) {
  const std::string directory = GetParam();
  if (!std::filesystem::exists(std::filesystem::path(directory).parent_path()))
    GTEST_SKIP() << directory << " is not available";
  const uint32_t seed = testSeed();
  SCOPED_TRACE(testing::Message() << "QUARLIN_TEST_SEED=" << seed);
  std::mt19937 random(seed);
  const std::vector<uint8_t> bytes = streamLikeBytes(4 * kBlock + random() % kBlock, random);
  const auto size = static_cast<int64_t>(bytes.size());
  TempFile file(directory, bytes);
  AsyncFileReader reader(testHostServices());
  ASSERT_EQ(reader.open(file.u16path()), 0);
  ReaderModel model(bytes);
  std::vector<uint8_t> actual(bytes.size() + 2000), expected(bytes.size() + 2000);
  const int32_t counts[] = {0, 1, 3, 4, 17, 4096, 65535, 65536, 65537, 200000};

  for (int step = 0; step < 4000; ++step) {
    SCOPED_TRACE(testing::Message() << "step " << step << " at " << model.position);
    const unsigned op = random() % 9;
    int32_t a = 0, e = 0;
    if (op == 0) {  // seek anywhere, a little before the start or past the end
      const int64_t to = static_cast<int64_t>(random() % (bytes.size() + 200)) - 100;
      reader.skip(to - reader.getPosition());
      model.position = to;
    } else if (op == 1) {  // small relative step, either way
      const int64_t delta = static_cast<int64_t>(random() % 64) - 40;
      reader.skip(delta);
      model.position += delta;
    } else if (op == 2) {  // reads of every size, negative ones included
      int32_t count = random() % 2 ? counts[random() % 10] : static_cast<int32_t>(random() % 2000);
      if (random() % 20 == 0) count = -count - 1;
      int32_t gotA = -1, gotE = -1;
      std::fill(actual.begin(), actual.end(), 0xAA);
      std::fill(expected.begin(), expected.end(), 0xAA);
      a = reader.read(actual.data(), count, gotA);
      e = model.read(expected.data(), count, gotE);
      ASSERT_EQ(gotA, gotE);
      ASSERT_TRUE(std::equal(actual.begin(), actual.begin() + std::max(count, 0) + 8,
                             expected.begin()));
    } else if (op <= 5) {  // single values
      const int width = op == 3 ? 1 : op == 4 ? 2 : 4;
      // Values start as a marker that must survive a failed read.
      const uint32_t marker = width == 1 ? 0x5A : width == 2 ? 0x5A5A : 0x5A5A5A5A;
      uint8_t byte = 0x5A;
      uint16_t half = 0x5A5A;
      uint32_t valueA = marker, valueE = 0;
      if (width == 1) a = reader.readByte(byte), valueA = byte;
      if (width == 2) a = reader.readU16BE(half), valueA = half;
      if (width == 4) a = reader.readU32BE(valueA);
      e = model.readValue(valueE, width);
      ASSERT_EQ(valueA, e == 0 ? valueE : marker);
    } else if (op <= 7) {  // searches
      const uint32_t targets[] = {0x1B3, 0x1B5, 0x100, 0x1B8, 0x1BA, 0x1E0, 0x1FF};
      const uint32_t target = targets[random() % 7];
      uint32_t codeA = 7, codeE = 7;
      a = reader.findStartCode(target, codeA);
      e = model.findStartCode(target, codeE);
      ASSERT_EQ(codeA, codeE);
    } else {
      int32_t length = -1;
      const int64_t at = model.position;
      a = reader.peekPesHeaderLength(length);
      model.position = at + 2;
      uint32_t byte = 0;
      e = model.readValue(byte, 1);
      model.position = at;
      ASSERT_EQ(length, e == 0 ? static_cast<int32_t>(byte) + 3 : -1);
    }
    ASSERT_EQ(a, e) << "operation " << op;
    ASSERT_EQ(reader.getPosition(), model.position) << "operation " << op;
    ASSERT_LE(testHostLiveAllocations(), liveAtStart_ + 1) << "one block per reader";
  }
  EXPECT_EQ(reader.getFileSize(), size);
}

INSTANTIATE_TEST_SUITE_P(Volumes, ReaderPropertyTest,
                         ::testing::Values(diskDirectory(), std::string("/dev/shm/quarlin-io-tests")),
                         [](const auto& info) {
                           return info.param.rfind("/dev/shm", 0) == 0 ? "Tmpfs" : "Disk";
                         });

}  // namespace
}  // namespace quarlin::test
