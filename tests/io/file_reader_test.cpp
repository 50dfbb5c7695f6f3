// AsyncFileReader against a plain model of its contract over the file's
// bytes in memory, on the normal disk (direct I/O) and on tmpfs
// (QUARLIN_TEST_SEED=n repeats a run); files that do not open, host memory
// failures; the completion service shared by all readers.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "foundation/host/host_services.h"
#include "io/async_file_reader.h"
#include "io/completion_service.h"
#include "tests/support/corpus.h"
#include "tests/support/test_host.h"

namespace quarlin::test {
namespace {

constexpr int64_t kBlock = 65536;
const std::string kDisk = "/tmp/quarlin-io-tests";  // where direct I/O applies

std::vector<uint8_t> randomBytes(size_t size) {
  std::vector<uint8_t> bytes(size);
  std::mt19937 random(1);
  for (auto& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

// Every test leaves the host as it found it.
class ReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testHostClearFailures();
    live = testHostLiveAllocations();
    misuses = testHostMisuseCount();
  }
  void TearDown() override {
    testHostClearFailures();
    EXPECT_EQ(testHostLiveAllocations(), live) << "host blocks leaked";
    EXPECT_EQ(testHostMisuseCount(), misuses) << "host tables misused";
  }
  int64_t live = 0, misuses = 0;
};

// The reader's contract over an in-memory file.
struct ReaderModel {
  const std::vector<uint8_t>& bytes;
  int64_t position = 0;

  int32_t read(uint8_t* out, int32_t count, int32_t& got) {
    const int64_t size = static_cast<int64_t>(bytes.size()), wanted = std::max(count, 0);
    const int32_t status = position >= size ? -4 : position < 0 ? -6 : 0;
    const int64_t take = status == 0 ? std::min(wanted, size - position) : 0;
    std::copy_n(bytes.begin() + (status == 0 ? position : 0), take, out);
    std::fill(out + take, out + wanted, 0);
    position += take;
    got = static_cast<int32_t>(take);
    return status != 0 ? status : take < wanted ? -4 : 0;
  }
  int32_t readValue(uint32_t& value, int width) {
    uint8_t b[4];
    int32_t got = 0;
    if (const int32_t result = read(b, width, got); result != 0) return result;
    value = 0;
    for (int i = 0; i < width; ++i) value = (value << 8) | b[i];
    return 0;
  }
  // Byte by byte, as the search is described: `code` is the last byte
  // after a zero or the last code; a code byte is taken whatever it is (a
  // zero there starts no prefix).
  int32_t findStartCode(uint32_t target, uint32_t& code) {
    for (int zeros = 0;;) {
      uint32_t byte = 0;
      if (const int32_t r = readValue(byte, 1); r != 0) return r;
      if (zeros >= 2 && byte == 1) {
        if (const int32_t r = readValue(byte, 1); r != 0) return r;
        if ((code = 0x100 | byte) == target) return 0;
        zeros = 0;
        continue;
      }
      if (zeros > 0) code = byte;
      zeros = byte == 0 ? zeros + 1 : 0;
    }
  }
};

class ReaderPropertyTest : public ReaderTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(ReaderPropertyTest, RandomOperationsMatchTheModel) {
  const std::string directory = GetParam();
  if (!std::filesystem::exists(std::filesystem::path(directory).parent_path()))
    GTEST_SKIP() << directory << " is not available";
  const char* seedText = std::getenv("QUARLIN_TEST_SEED");
  const uint32_t seed = seedText ? static_cast<uint32_t>(std::strtoul(seedText, nullptr, 10)) : std::random_device{}();
  SCOPED_TRACE(testing::Message() << "QUARLIN_TEST_SEED=" << seed);
  std::mt19937 random(seed);
  // Bytes rich in zeros and start codes, so that searches find things.
  std::vector<uint8_t> bytes(4 * kBlock + random() % kBlock);
  for (auto& b : bytes) b = random() % 4 == 0 ? 0 : static_cast<uint8_t>(random());
  const uint8_t codes[] = {0xB3, 0xB5, 0x00, 0xB8, 0xBA, 0xE0};
  for (size_t i = 0; i + 4 < bytes.size(); i += 1 + random() % 3000)
    bytes[i] = bytes[i + 1] = 0, bytes[i + 2] = 1, bytes[i + 3] = codes[random() % 6];
  const auto size = static_cast<int64_t>(bytes.size());
  TempFile file(directory, bytes);
  AsyncFileReader reader(testHostServices());
  ASSERT_EQ(reader.open(file.u16path()), 0);
  ReaderModel model{bytes};
  std::vector<uint8_t> actual(bytes.size() + 2000), expected(bytes.size() + 2000);
  const int32_t counts[] = {0, 1, 3, 4, 17, 4096, 65535, 65536, 65537, 200000};
  const int64_t marks[] = {0, kBlock, 2 * kBlock, 3 * kBlock, 4 * kBlock, size};

  for (int step = 0; step < 4000; ++step) {
    SCOPED_TRACE(testing::Message() << "step " << step << " at " << model.position);
    const unsigned op = random() % 8;
    int32_t a = 0, e = 0;
    if (op <= 1) {  // seek next to a block boundary or the end, or anywhere, a little before or past the file
      const int64_t to = op == 0 ? marks[random() % 6] + static_cast<int64_t>(random() % 12) - 6
                                 : static_cast<int64_t>(random() % (bytes.size() + 200)) - 100;
      reader.skip(to - reader.getPosition());
      model.position = to;
    } else if (op == 2) {  // reads of every size, negative ones included
      int32_t count = random() % 2 ? counts[random() % 10] : static_cast<int32_t>(random() % 2000);
      if (random() % 20 == 0) count = -count - 1;
      int32_t gotA = -1, gotE = -1;
      std::fill(actual.begin(), actual.end(), 0xAA);
      std::fill(expected.begin(), expected.end(), 0xAA);
      a = reader.read(actual.data(), count, gotA);
      e = model.read(expected.data(), count, gotE);
      ASSERT_EQ(gotA, gotE);
      ASSERT_TRUE(std::equal(actual.begin(), actual.begin() + std::max(count, 0) + 8, expected.begin()));
    } else if (op <= 5) {  // single values; a failed read leaves the output alone
      const int width = op == 3 ? 1 : op == 4 ? 2 : 4;
      const uint32_t marker = 0x5A5A5A5Au >> (32 - 8 * width);
      uint8_t byte = 0x5A;
      uint16_t half = 0x5A5A;
      uint32_t valueA = marker, valueE = 0;
      if (width == 1) a = reader.readByte(byte), valueA = byte;
      if (width == 2) a = reader.readU16BE(half), valueA = half;
      if (width == 4) a = reader.readU32BE(valueA);
      e = model.readValue(valueE, width);
      ASSERT_EQ(valueA, e == 0 ? valueE : marker);
    } else {
      const uint32_t targets[] = {0x1B3, 0x1B5, 0x100, 0x1B8, 0x1BA, 0x1E0, 0x1FF};
      const uint32_t target = targets[random() % 7];
      uint32_t codeA = 7, codeE = 7;
      a = reader.findStartCode(target, codeA);
      e = model.findStartCode(target, codeE);
      ASSERT_EQ(codeA, codeE);
    }
    ASSERT_EQ(a, e) << "operation " << op;
    ASSERT_EQ(reader.getPosition(), model.position) << "operation " << op;
    ASSERT_LE(testHostLiveAllocations(), live + 1) << "one block per reader";
  }
  EXPECT_EQ(reader.getFileSize(), size);
}

INSTANTIATE_TEST_SUITE_P(Volumes, ReaderPropertyTest, ::testing::Values(kDisk, "/dev/shm/quarlin-io-tests"),
                         [](const auto& info) { return info.param == kDisk ? "Disk" : "Tmpfs"; });

// A block that cannot be had gives -7 with what was read before it, and
// the reader recovers; closed, it reads -6.
TEST_F(ReaderTest, HostMemoryFailuresAndClose) {
  const std::vector<uint8_t> bytes = randomBytes(3 * kBlock);
  TempFile file(kDisk, bytes);
  for (const bool lock : {false, true}) {
    SCOPED_TRACE(lock ? "lock" : "allocate");
    AsyncFileReader reader(testHostServices());
    ASSERT_EQ(reader.open(file.u16path()), 0);
    reader.skip(kBlock - 2);
    std::vector<uint8_t> out(8, 0xAA), expected(bytes.begin() + kBlock - 2, bytes.begin() + kBlock);
    expected.resize(8, 0);
    lock ? testHostFailLock(1, 1) : testHostFailAllocate(1, 1);  // the first block loads, the second not
    int32_t got = -1;
    EXPECT_EQ(reader.read(out.data(), 8, got), -7);
    EXPECT_EQ(std::pair(got, out), std::pair(2, expected));
    EXPECT_EQ(reader.getPosition(), kBlock);
    EXPECT_EQ(testHostLiveAllocations(), live) << "nothing held after the failure";
    testHostFailAllocate(1);
    uint32_t word = 0x33333333;
    EXPECT_EQ(reader.readU32BE(word), -7);
    EXPECT_EQ(word, 0x33333333u);
    ASSERT_EQ(reader.readU32BE(word), 0);  // the same read again succeeds
    EXPECT_EQ(word, uint32_t{bytes[kBlock]} << 24 | bytes[kBlock + 1] << 16 | bytes[kBlock + 2] << 8 | bytes[kBlock + 3]);
    reader.skip(-kBlock - 4);  // the block current before is reloaded, alone when the host
    reader.prefetch(2 * kBlock);  // refuses the two blocks a prefetch asks for
    testHostFailAllocate(1);
    EXPECT_EQ(reader.read(out.data(), 8, got), 0);
    EXPECT_EQ(out, std::vector<uint8_t>(bytes.begin(), bytes.begin() + 8));
    reader.skip(kBlock - 8 - 4);  // a search that needs the next block fails alike
    testHostFailAllocate(1);
    uint32_t code = 0;
    EXPECT_EQ(reader.findStartCode(0x1B3, code), -7);
    EXPECT_EQ(reader.getPosition(), kBlock);
    reader.close();
    EXPECT_EQ(testHostLiveAllocations(), live) << "close releases the block";
    reader.rewind();
    EXPECT_EQ(reader.read(out.data(), 1, got), -6);
    reader.close();  // a second close is harmless
  }
}

// Runs of blocks are read ahead in spans, several at once, each read once; a seek reads only the
// blocks it uses (unless a span holds them), and bytes changed under the spans are read afresh.
TEST_F(ReaderTest, ReadsAheadOnlyInSequentialRuns) {
  constexpr int64_t kSpan = AsyncFileReader::kReadAheadSpan, size = 10 * kSpan + 777;
  std::vector<uint8_t> bytes = randomBytes(size);
  TempFile file(kDisk, bytes);
  // prefetch: the bytes announced after the seek, read in one go.
  struct Piece { int64_t from, length, maxRequested; bool rewrittenFirst = false; int64_t prefetch = 0; };
  const std::vector<Piece> cases[] = {
      {{0, size, 11 * kSpan}},  // below: spans 1 to 4 are held after the first piece; span 3 is rewritten
      {{0, 2 * kSpan, 6 * kSpan}, {kSpan + 5, kBlock, 0}, {8 * kSpan + 1000, 3 * kBlock, 4 * kBlock},
       {3 * kSpan, 20, kBlock, true}},
      {{kBlock + 3, 3 * kSpan, 8 * kSpan}, {1000, 3 * kBlock, 4 * kBlock}, {size - 100, 100, kBlock}},
      // A prefetch loads its blocks at once (the second piece needs no read); at the end, only what exists.
      {{3 * kSpan + 100, 10, 4 * kBlock, false, 3 * kBlock}, {3 * kSpan + 3 * kBlock + 50, 20, 0},
       {size - kBlock - 100, kBlock, 2 * kBlock, false, 4 * kSpan}}};
  for (const auto& pieces : cases) {
    AsyncFileReader reader(testHostServices());
    ASSERT_EQ(reader.open(file.u16path()), 0);
    for (int32_t got = 0; const Piece& piece : pieces) {
      SCOPED_TRACE(testing::Message() << "case " << &pieces - cases << " from " << piece.from);
      if (piece.rewrittenFirst) {
        std::fill_n(bytes.begin() + piece.from, 10, uint8_t{0xEE});
        std::fstream(file.path(), std::ios::in | std::ios::out | std::ios::binary)
            .seekp(piece.from).write(reinterpret_cast<const char*>(&bytes[piece.from]), 10);
        namespace fs = std::filesystem;  // a later time, as the file system's clock may not have moved on
        fs::last_write_time(file.path(), fs::last_write_time(file.path()) + std::chrono::seconds(1));
        reader.forgetIfChanged();
      }
      const int64_t before = reader.bytesRequested();
      reader.skip(piece.from - reader.getPosition());
      reader.prefetch(piece.prefetch);
      std::vector<uint8_t> out(static_cast<size_t>(piece.length));
      ASSERT_EQ(reader.read(out.data(), static_cast<int32_t>(piece.length), got), 0);
      ASSERT_TRUE(std::equal(out.begin(), out.end(), bytes.begin() + piece.from));
      EXPECT_LE(reader.bytesRequested() - before, piece.maxRequested);
    }
  }
}

// --- The completion service -----------------------------------------------

QuarlinMemoryHandle hostBlock() {  // as a read-ahead takes it
  QuarlinMemoryHandle handle = nullptr;
  EXPECT_EQ(host::allocate(testHostServices(), &handle, 4096, 4096), 0);
  return handle;
}

// Left running by no failed open; started by the first open and stopped by
// the last close, which drops pending requests and their blocks; a cancelled request
// is released without caching.
TEST_F(ReaderTest, CompletionServiceSharedByAllReaders) {
  using completion_service::diagnostics;
  ASSERT_FALSE(diagnostics().running) << "another test left a reader open";
  TempFile file(kDisk, randomBytes(5000)), empty(kDisk, {});
  for (const std::string& path : {empty.path(), kDisk + "/no-such-file.mpg", kDisk, std::string()}) {
    AsyncFileReader reader(testHostServices());
    EXPECT_EQ(reader.open(u16(path).c_str()), -6) << path;
    EXPECT_FALSE(reader.isOpen() || diagnostics().running) << path;
  }
  const auto start = diagnostics();
  {
    AsyncFileReader reader(testHostServices()), other(testHostServices());
    ASSERT_EQ(reader.open(file.u16path()), 0);
    ASSERT_EQ(other.open(file.u16path()), 0);
    EXPECT_EQ(diagnostics().starts, start.starts + 1);
    EXPECT_EQ(diagnostics().freeRequests, kReadRequestCount);
    const int64_t cacheCalls = testHostCacheCalls();
    ReadRequest* mine = completion_service::startRequest(&reader, hostBlock(), 1, kBlock);
    ReadRequest* theirs = completion_service::startRequest(&other, hostBlock(), 1, kBlock);
    ASSERT_TRUE(mine && theirs);
    reader.cancelPending();
    EXPECT_TRUE(mine->cancelled);
    EXPECT_FALSE(theirs->cancelled) << "only the reader's own requests";
    completion_service::postCompletion(mine, 4096);
    completion_service::postCompletion(theirs, 4096);
    for (int i = 0; i < 1000 && diagnostics().pendingRequests != 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(diagnostics().pendingRequests, 0);
    EXPECT_EQ(testHostCacheCalls(), cacheCalls + 1);
    EXPECT_EQ(testHostLiveAllocations(), live);
    for (int i = 0; i < 3; ++i) ASSERT_NE(completion_service::startRequest(&other, hostBlock(), i, i * kBlock), nullptr);
    reader.close();
    EXPECT_EQ(std::pair(diagnostics().running, diagnostics().pendingRequests), std::pair(true, 3));
  }
  EXPECT_FALSE(diagnostics().running);
  EXPECT_EQ(diagnostics().stops, start.stops + 1);
  EXPECT_EQ(completion_service::startRequest(nullptr, nullptr, 0, 0), nullptr) << "no requests without a service";
}

}  // namespace
}  // namespace quarlin::test
