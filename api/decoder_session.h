// Everything the library keeps for one open file: the handle the host holds.
#pragma once
#include <cstdint>
#include <vector>

#include "api/kelso/stl_allocator.h"
#include "index/frame_index.h"
#include "index/index_scan.h"
#include "io/stream_source.h"
#include "parse/headers.h"
#include "parse/picture_header.h"
#include "parse/stream_buffer.h"
#include "quarlin/quarlin.h"
#include "slice/slice_context.h"

struct DecoderSession {
  template <class T>
  using Array = std::vector<T, Kelso::STLAllocator<T>>;

  Kelso::WString path;
  HostServices hostServices;
  bool indexIncomplete = false;
  quarlin::StreamSource stream;
  quarlin::FrameIndex frameIndex;
  quarlin::VlcTableSetReference vlcTables;
  quarlin::SharedBuffer buffer;
  quarlin::SequenceInfo sequence;       // the sequence values in force for the picture at hand
  quarlin::SequenceInfo firstSequence;  // the file's first sequence header: its geometry is the file's
  quarlin::PictureInfo picture;
  quarlin::PictureDecodeValues pictureValues;
  quarlin::IndexBuildState scan;
  quarlin::StartCodeTable startCodeTables;
  int32_t reducedResolution = 0;
  int32_t reductionMode = 0;
  int32_t maxParts = 1;
  Array<int32_t> sliceStart;
  Array<int32_t> sliceTotal;
  Array<quarlin::SharedBuffer> partBuffer;
  // The second field of the frame being decoded has no forward reference
  // frame (see PictureContext::noPastField).
  bool noPastField = false;

  DecoderSession(const char16_t* path, const HostServices& services);
  ~DecoderSession();
  DecoderSession(const DecoderSession&) = delete;
  DecoderSession& operator=(const DecoderSession&) = delete;

  // The open sequence: probe, find and parse the sequence header, then load
  // the seek data or run the first index slice. 0 index complete, -4 index
  // incomplete, -1 the first scan failed, -2 not 4:2:0, -3 the file is not
  // a readable MPEG-2 stream.
  int32_t open(const void* seekData, int32_t seekDataSize);
  int32_t indexSlice(int32_t budget, float* progress);
  int32_t getFileInfo(FileInfo* info) const;
  // The plane sizes the host allocates (see planeExtent).
  void getFrameSizes(int32_t& lumaSize, int32_t& chromaSize) const;

 private:
  int32_t findSequenceHeader();
};
