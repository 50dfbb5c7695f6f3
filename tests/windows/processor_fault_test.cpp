// Processor faults inside the exports: a host whose planes point into
// address space with nothing behind it gets -1 from Quarlin_GetFrame,
// whether the slices were decoded on its own thread or on the slice workers,
// and goes on: the same session decodes the frame into good planes and
// closes. A division by zero inside an export (here in the host's own memory
// table, which the open calls) gives -1 too.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "quarlin/quarlin.h"
#include "tests/support/test_host.h"

namespace {

TEST(ProcessorFault, UnmappedPlanesGiveMinusOneAndTheSessionGoesOn) {
  // Several slices per row decode on the calling thread; one per row on the
  // workers. Frame 0 of each is an I-frame.
  for (const char* file : {"es-multi-slice-rows.m2v", "es-interlaced-tff-720x576.m2v"}) {
    const std::u16string path = u16(std::string(QUARLIN_TEST_DATA) + "/streams/" + file);
    DecoderSession* session = nullptr;
    int32_t result =
        Quarlin_OpenFile(reinterpret_cast<const uint16_t*>(path.c_str()), &testHostServices(), nullptr, 0, &session);
    float progress = 0;
    while (result == QUARLIN_INDEX_INCOMPLETE) result = Quarlin_IndexFile(session, &progress);
    ASSERT_EQ(result, QUARLIN_OK) << file;
    int32_t luma = 0, chroma = 0;
    Quarlin_GetFrameSizes(session, &luma, &chroma);

    const size_t total = static_cast<size_t>(luma) + 2 * static_cast<size_t>(chroma);
    auto* unmapped = static_cast<uint8_t*>(VirtualAlloc(nullptr, total, MEM_RESERVE, PAGE_NOACCESS));
    std::vector<uint8_t> good(total);
    for (uint8_t* base : {unmapped, good.data()}) {
      PlaneSet planes{};
      planes.y.address = base;
      planes.cb.address = base + luma;
      planes.cr.address = base + luma + chroma;
      EXPECT_EQ(Quarlin_GetFrame(session, 0, nullptr, nullptr, &planes, 0, 0),
                base == unmapped ? QUARLIN_FAULT : QUARLIN_OK)
          << file << (base == unmapped ? ", unmapped planes" : ", then good planes");
    }
    EXPECT_EQ(Quarlin_CloseFile(session), QUARLIN_OK) << file;
    VirtualFree(unmapped, 0, MEM_RELEASE);
  }
}

volatile int32_t gDivisor = 0;
volatile int32_t gQuotient = 0;

int32_t QUARLIN_CALL dividingAllocate(QuarlinMemoryHandle* out, int32_t kind, uint32_t size, uint32_t alignment) {
  gQuotient = static_cast<int32_t>(size) / gDivisor;  // raises EXCEPTION_INT_DIVIDE_BY_ZERO
  return testHostServices().memorySuite->allocate(out, kind, size, alignment);
}

TEST(ProcessorFault, DivisionByZeroGivesMinusOneAndTheProcessGoesOn) {
  const std::u16string path = u16(std::string(QUARLIN_TEST_DATA) + "/streams/es-multi-slice-rows.m2v");
  const QuarlinMemorySuite dividing{nullptr, dividingAllocate};
  const HostServices& host = testHostServices();
  const HostServices faulting{host.cacheSuite, &dividing, host.handleSuite, host.cacheRef};
  for (const HostServices* services : {&faulting, &host}) {
    DecoderSession* session = nullptr;
    const int32_t result =
        Quarlin_OpenFile(reinterpret_cast<const uint16_t*>(path.c_str()), services, nullptr, 0, &session);
    EXPECT_EQ(result == QUARLIN_FAULT, services == &faulting) << result;
    if (session) {
      EXPECT_EQ(Quarlin_CloseFile(session), QUARLIN_OK);
    }
  }
}

}  // namespace
