// Everything the library keeps for one open file: the handle the host holds.
#pragma once
#include <cstdint>

#include "decode/decode_state.h"
#include "foundation/kelso/stl_allocator.h"
#include "quarlin/quarlin.h"

struct DecoderSession : quarlin::DecodeState {
  Kelso::WString path;

  DecoderSession(const char16_t* path, const HostServices& services);
  ~DecoderSession();

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
