#include "api/decoder_session.h"

#include <cmath>
#include <cstring>

#include "decode/slice_worker_pool.h"
#include "parse/header_parser.h"
#include "slice/scale_geometry.h"

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
  scan.heldFrames.clear();
  buffer = SharedBuffer();
  vlcTables = VlcTableSetReference();
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
  // The block's last recorded position holds only if its index part loads:
  // until then the positions read here are recorded as in a scan, so that
  // a rejected block leaves the file to be indexed as without one.
  const int64_t blockLastRecorded = stream.demux().lastRecorded;
  stream.demux().lastRecorded = -1;

  buffer = createSharedBuffer(kUnitCapacity, &startCodeTables, hostServices);
  if (int32_t r = stream.readNextPictureUnit(*buffer); r != 0 && !(r == -4 && buffer->filled > 0))
    return -3;
  if (findSequenceHeader() != 0) return -3;
  if (parseSequenceHeader(*buffer, sequence) != kHeaderOk) return -3;
  // horizontal_size_value and vertical_size_value 0 are forbidden.
  if (sequence.width == 0 || sequence.height == 0) return -3;
  if (sequence.chromaFactor != 2) return -2;
  firstSequence = sequence;
  pictureValues.secondField = 0;

  if (haveBlock && frameIndex.load(block, blockSize) == 0) {
    stream.demux().lastRecorded = blockLastRecorded;
    buffer = SharedBuffer();
    return 0;
  }

  // A second sequence header right after the first is met by the scan
  // like any later one.
  scan.reset();
  scan.currentStartCode = buffer->nextStartCode();
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

// Everything comes from the file's first sequence header, whatever was
// decoded since.
int32_t DecoderSession::getFileInfo(FileInfo* info) const {
  const SequenceInfo& sequence = firstSequence;
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

void DecoderSession::getFrameSizes(int32_t& lumaSize, int32_t& chromaSize) const {
  const PlaneExtent extent = planeExtent(firstSequence.width, firstSequence.height);
  lumaSize = static_cast<int32_t>(extent.luma);
  chromaSize = static_cast<int32_t>(extent.chroma);
}
