#include "api/decoder_session.h"

#include <cmath>
#include <cstring>

#include "parse/header_parser.h"
#include "slice/scale_geometry.h"

using namespace quarlin;

namespace {
// A seek-data block shorter than its stream part and an index header is
// not used at all.
constexpr int32_t kMinimumSeekData = kStreamSeekDataSize + 16;
}  // namespace

DecoderSession::DecoderSession(const char16_t* p, const HostServices& services)
    : DecodeState(p ? p : u"", services), path(p ? p : u"") {}

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
    for (int32_t code = unit.nextStartCode(); code != kNoStartCode; code = unit.nextStartCode())
      if (code == kSequenceHeaderCode) return 0;
    const int32_t result = stream.readNextPictureUnit(unit);
    // The last bytes of the file may still hold the header.
    if (result != kReadOk && !(result == kEndOfData && unit.filled > 0)) return QUARLIN_FAILED;
    unit.setReader(BitReader{unit.words(), 31});
    if (result == kEndOfData && unit.entryCount() == 0) return QUARLIN_FAILED;
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
  if (stream.probe(block, blockSize) != kReadOk) return QUARLIN_FAILED;
  // The block's last recorded position holds only if its index part loads:
  // until then the positions read here are recorded as in a scan, so that
  // a rejected block leaves the file to be indexed as without one.
  const int64_t blockLastRecorded = stream.demux().lastRecorded;
  stream.demux().lastRecorded = -1;

  buffer = createSharedBuffer(kUnitCapacity, &startCodeTables, hostServices);
  if (int32_t r = stream.readNextPictureUnit(*buffer); r != kReadOk && !(r == kEndOfData && buffer->filled > 0))
    return QUARLIN_FAILED;
  if (findSequenceHeader() != 0) return QUARLIN_FAILED;
  if (parseSequenceHeader(*buffer, sequence) != kHeaderOk) return QUARLIN_FAILED;
  // horizontal_size_value and vertical_size_value 0 are forbidden.
  if (sequence.width == 0 || sequence.height == 0) return QUARLIN_FAILED;
  if (sequence.chromaFactor != 2) return QUARLIN_NOT_420;
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
  if (result == kScanBudgetUsed) return QUARLIN_INDEX_INCOMPLETE;
  return result == 0 ? QUARLIN_OK : QUARLIN_FAULT;
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
