// Test names from corpus file names.
#pragma once
#include <cctype>
#include <string>

#include <gtest/gtest.h>

#include "corpus_catalog.h"

namespace quarlin::decodetest {

inline std::string streamTestName(const ::testing::TestParamInfo<CorpusStream>& info) {
  std::string name = info.param.file;
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

// ts-truncated.ts ends inside a picture: its last indexed frame may fail (-3).
inline bool lastFrameMayFail(const CorpusStream& s) { return s.file == "ts-truncated.ts"; }

}  // namespace quarlin::decodetest
