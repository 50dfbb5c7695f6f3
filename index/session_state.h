// What the index scan and the frame requests share of an open file: the
// input, the picture unit being read, the headers in force, the decode tables
// and the index. The decoder session is built on it; the scan works on this
// alone.
#pragma once
#include <cstdint>

#include "index/frame_index.h"
#include "index/index_scan.h"
#include "parse/headers.h"
#include "parse/picture_header.h"
#include "parse/stream_buffer.h"
#include "parse/stream_source.h"
#include "quarlin/quarlin.h"
#include "slice/slice_context.h"

namespace quarlin {

struct SessionState {
  SessionState(const char16_t* path, const HostServices& services);
  SessionState(const SessionState&) = delete;
  SessionState& operator=(const SessionState&) = delete;

  HostServices hostServices;
  bool indexIncomplete = false;  // true from the first scan slice to the end of the stream
  StreamSource stream;
  FrameIndex frameIndex;
  VlcTableSetReference vlcTables;
  SharedBuffer buffer;              // the picture unit while a scan or a request runs
  SequenceInfo sequence;            // the sequence values in force for the picture at hand
  SequenceInfo firstSequence;       // the file's first sequence header: its geometry is the file's
  PictureInfo picture;
  PictureDecodeValues pictureValues;
  IndexBuildState scan;
  StartCodeTable startCodeTables;
};

}  // namespace quarlin
