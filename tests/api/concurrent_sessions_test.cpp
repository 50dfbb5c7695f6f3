// Two sessions used from two threads at once give the same results as one
// session alone.
#include <gtest/gtest.h>

#include <thread>

#include "tests/support/corpus.h"
#include "tests/support/exported_session.h"

namespace quarlin::test {
namespace {

TEST(ConcurrentSessions, TwoThreadsIndexLikeOne) {
  const std::vector<CorpusStream> streams = decodableStreams();
  std::vector<std::vector<uint8_t>> alone;
  for (const CorpusStream& s : streams) alone.push_back(ExportedSession(s.path()).seekData());

  std::vector<std::vector<uint8_t>> together(streams.size());
  auto worker = [&](size_t first) {
    for (size_t i = first; i < streams.size(); i += 2) together[i] = ExportedSession(streams[i].path()).seekData();
  };
  std::thread a(worker, 0), b(worker, 1);
  a.join();
  b.join();
  for (size_t i = 0; i < streams.size(); ++i) EXPECT_EQ(together[i], alone[i]) << streams[i].file;
}

}  // namespace
}  // namespace quarlin::test
