// Shared pieces of the file reader tests: file contents and a reader over
// the test host.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "io/async_file_reader.h"
#include "io/completion_service.h"
#include "io/volume_sector_size.h"
#include "tests/support/temp_file.h"
#include "tests/support/test_host.h"

namespace quarlin::test {

inline constexpr int64_t kBlock = 65536;

// Bytes that differ from their neighbours and from their offset's low byte,
// so a byte taken from the wrong place shows.
inline std::vector<uint8_t> patternBytes(size_t size, uint32_t seed = 1) {
  std::vector<uint8_t> bytes(size);
  std::mt19937 random(seed);
  for (auto& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

inline uint32_t bigEndianAt(const std::vector<uint8_t>& bytes, size_t at, int width) {
  uint32_t value = 0;
  for (int i = 0; i < width; ++i) value = (value << 8) | bytes[at + static_cast<size_t>(i)];
  return value;
}

// A directory on the normal disk, where direct I/O applies.
inline std::string diskDirectory() { return "/tmp/quarlin-io-tests"; }

// Every test leaves the host as it found it and the sector size real.
class ReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testHostClearFailures();
    liveAtStart_ = testHostLiveAllocations();
    misusesAtStart_ = testHostMisuseCount();
  }
  void TearDown() override {
    testHostClearFailures();
    overrideVolumeSectorSizeForTesting(0);
    EXPECT_EQ(testHostLiveAllocations(), liveAtStart_) << "host blocks leaked";
    EXPECT_EQ(testHostMisuseCount(), misusesAtStart_) << "host tables misused";
  }

  int64_t liveAtStart_ = 0;
  int64_t misusesAtStart_ = 0;
};

}  // namespace quarlin::test
