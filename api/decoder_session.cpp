#include "api/decoder_session.h"

#include <cmath>
#include <cstring>

#include "decode/slice_worker_pool.h"
#include "parse/header_parser.h"

using namespace quarlin;

namespace {
// A seek-data block shorter than its stream part and an index header is
// not used at all.
constexpr int32_t kMinimumSeekData = kStreamSeekDataSize + 16;

void releaseSharedTables(VlcTableSet*) { releaseVlcTableSet(); }
}  // namespace

namespace quarlin {
void releaseVlcTableSetReference(VlcTableSet* tables) { releaseSharedTables(tables); }
}  // namespace quarlin

DecoderSession::DecoderSession(const char16_t* p, const HostServices& services)
    : path(p ? p : u""), hostServices(services), stream(path.c_str(), hostServices) {
  vlcTables = VlcTableSetReference(acquireVlcTableSet());
  maxParts = SliceWorkerPool::instance().workerCount();
  if (maxParts < 1) maxParts = 1;
  sliceStart.resize(static_cast<size_t>(maxParts));
  sliceTotal.resize(static_cast<size_t>(maxParts));
  partBuffer.resize(static_cast<size_t>(maxParts));
}

DecoderSession::~DecoderSession() {
  partBuffer.clear();
  sliceTotal.clear();
  sliceStart.clear();
  startCodeTables.clear();
  scan.anchorList.clear();
  buffer = SharedBuffer();
  vlcTables = VlcTableSetReference();
}

int32_t DecoderSession::parseSequence() {
  pictureValues.secondField = 0;
  const int32_t result = parseSequenceHeader(*buffer, sequence);
  firstSequence = sequence;
  return result;
}

void DecoderSession::rememberSequence(int64_t locator, const SequenceInfo& header) {
  if (!rememberedSequence(locator)) laterSequences.push_back(LaterSequence{locator, header});
}

const SequenceInfo* DecoderSession::rememberedSequence(int64_t locator) const {
  for (const LaterSequence& later : laterSequences)
    if (later.locator == locator) return &later.sequence;
  return nullptr;
}

// Takes the unit's start codes, filling further units, up to the first
// sequence header; the reader then stands just after its code.
int32_t DecoderSession::findSequenceHeader() {
  StreamBuffer& unit = *buffer;
  unit.setReader(BitReader{unit.words(), 31});
  for (;;) {
    for (int32_t code = unit.nextStartCode(); code != -1; code = unit.nextStartCode())
      if (code == kSequenceHeaderCode) return 0;
    const int32_t result = stream.readNextPictureUnit(unit);
    // The last bytes of the file may still hold the header.
    if (result != 0 && !(result == -4 && unit.filled > 0)) return -3;
    unit.setReader(BitReader{unit.words(), 31});
    if (result == -4 && unit.entryCount() == 0) return -3;
  }
}

int32_t DecoderSession::open(const void* seekData, int32_t seekDataSize) {
  const auto* block = static_cast<const uint8_t*>(seekData);
  int32_t blockSize = seekDataSize;
  if (!block || blockSize < kMinimumSeekData) {
    block = nullptr;
    blockSize = 0;
  }
  const bool haveBlock = block != nullptr;
  if (stream.probe(block, blockSize) != 0) return -3;

  buffer = createSharedBuffer(kUnitCapacity, &startCodeTables, hostServices);
  if (int32_t r = stream.readNextPictureUnit(*buffer); r != 0 && !(r == -4 && buffer->filled > 0))
    return -3;
  if (findSequenceHeader() != 0) return -3;
  if (parseSequence() != 0) return -3;
  if (sequence.chromaFactor != 2) return -2;

  if (haveBlock) {
    if (frameIndex.load(block, blockSize) == 0) {
      buffer = SharedBuffer();
      return 0;
    }
    // The index part was rejected: the file is indexed afresh, so the
    // positions recorded from the block's stream part must not hold back
    // the new ones.
    stream.demux().lastRecorded = -1;
  }

  scan.reset();
  scan.currentStartCode = buffer->nextStartCode();
  if (scan.currentStartCode == kSequenceHeaderCode) {
    if (parseSequence() != 0) return -1;
    scan.currentStartCode = buffer->nextStartCode();
  }
  indexIncomplete = true;
  float progress = 0.0f;
  const int32_t result = scanIndex(*this, kOpenScanBudget, &progress);
  frameIndex.setStartFrameOffset(stream.demux().privateShort);
  indexIncomplete = result == kScanBudgetUsed;
  if (result == kScanBudgetUsed) return -4;
  return result == 0 ? 0 : -1;
}

int32_t DecoderSession::indexSlice(int32_t budget, float* progress) {
  return scanIndex(*this, budget, progress);
}

int32_t DecoderSession::getFileInfo(FileInfo* info) const {
  const uint32_t w = static_cast<uint32_t>(sequence.width);
  const uint32_t h = static_cast<uint32_t>(sequence.height);
  info->width = w;
  info->height = h;
  info->frameCount = frameIndex.frameCount();
  info->stride = static_cast<uint32_t>(sequence.stride);
  info->progressive = sequence.progressiveSequence ? 1 : 0;
  switch (sequence.aspectRatioCode) {
    case 1:
      info->pixelAspect = 1.0;
      break;
    case 2:
      info->pixelAspect = (static_cast<double>(h) * 4 / 3) / w;
      break;
    case 3:
      info->pixelAspect = (static_cast<double>(h) * 16 / 9) / w;
      break;
    case 4:
      info->pixelAspect = (static_cast<double>(h) * 2.21) / w;
      break;
    default:
      break;  // left as the host set it
  }
  info->displayWidth = static_cast<uint32_t>(sequence.displayWidth);
  info->displayHeight = static_cast<uint32_t>(sequence.displayHeight);
  return 0;
}
