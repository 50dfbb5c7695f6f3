// How a frame picture's slices are cut into runs for the slice workers, and
// how many runs a picture gets.
#include "decode/slice_partition.h"

#include <gtest/gtest.h>

#include <vector>

namespace quarlin {
namespace {

struct PartitionCase {
  const char* name;
  int32_t slices;
  int32_t parts;
  std::vector<int32_t> start;
  std::vector<int32_t> total;
};

void PrintTo(const PartitionCase& c, std::ostream* out) { *out << c.slices << " slices, " << c.parts << " parts"; }

class SlicePartition : public testing::TestWithParam<PartitionCase> {};

TEST_P(SlicePartition, CutsContiguousRunsWithTheRemainderLast) {
  const PartitionCase& c = GetParam();
  // Sentinels beyond the parts show that nothing past them is written.
  std::vector<int32_t> start(static_cast<size_t>(c.parts) + 1, -99);
  std::vector<int32_t> total(static_cast<size_t>(c.parts) + 1, -99);
  partitionSlices(c.slices, c.parts, start.data(), total.data());
  EXPECT_EQ(std::vector<int32_t>(start.begin(), start.end() - 1), c.start);
  EXPECT_EQ(std::vector<int32_t>(total.begin(), total.end() - 1), c.total);
  EXPECT_EQ(start.back(), -99);
  EXPECT_EQ(total.back(), -99);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SlicePartition,
    testing::Values(
        // 720 x 576: 36 macroblock rows, one slice each.
        PartitionCase{"Rows36Workers7", 36, 7, {0, 5, 10, 15, 20, 25, 30}, {5, 5, 5, 5, 5, 5, 6}},
        // Fewer slices than workers: q is 0, only the last worker decodes.
        PartitionCase{"Rows2Workers4", 2, 4, {0, 0, 0, 0}, {0, 0, 0, 2}},
        PartitionCase{"NoSlices", 0, 3, {0, 0, 0}, {0, 0, 0}},
        // 1920 x 1088 on the 64-worker cap: 68 rows, q 1, last run 5.
        PartitionCase{"Rows68Workers64", 68, 64,
                      [] {
                        std::vector<int32_t> v;
                        for (int32_t k = 0; k < 64; ++k) v.push_back(k);
                        return v;
                      }(),
                      [] {
                        std::vector<int32_t> v(64, 1);
                        v.back() = 5;
                        return v;
                      }()}),
    [](const testing::TestParamInfo<PartitionCase>& info) { return std::string(info.param.name); });

TEST(SlicePartition, RunsCoverEverySliceOnceInOrder) {
  for (int32_t slices = 0; slices <= 70; ++slices) {
    for (int32_t parts = 1; parts <= 64; ++parts) {
      std::vector<int32_t> start(static_cast<size_t>(parts)), total(static_cast<size_t>(parts));
      partitionSlices(slices, parts, start.data(), total.data());
      int32_t next = 0;
      for (int32_t k = 0; k < parts; ++k) {
        ASSERT_GE(total[k], 0) << slices << " slices, " << parts << " parts, run " << k;
        if (total[k] > 0) {
          ASSERT_EQ(start[k], next) << slices << " slices, " << parts << " parts, run " << k;
        }
        next += total[k];
      }
      ASSERT_EQ(next, slices) << parts << " parts";
    }
  }
}

struct PartCountCase {
  bool oneSlicePerRow;
  int32_t maxParts;
  int32_t workerCount;
  int32_t parts;
};

TEST(SlicePartCount, OnlyOneSlicePerRowPicturesAreSplit) {
  const PartCountCase cases[] = {
      {false, 4, 4, 1},  // slices not one per row: always sequential
      {true, 4, 4, 4},
      {true, 2, 7, 2},  // session made while the pool had 2 workers
      {true, 7, 2, 2},  // pool shrank since the session was made
      {true, 1, 1, 1},  // one processor: the worker never runs
      {true, 4, 0, 1},  // no pool
      {true, 0, 4, 1},
  };
  for (const PartCountCase& c : cases)
    EXPECT_EQ(slicePartCount(c.oneSlicePerRow, c.maxParts, c.workerCount), c.parts)
        << c.oneSlicePerRow << " " << c.maxParts << " " << c.workerCount;
}

}  // namespace
}  // namespace quarlin
