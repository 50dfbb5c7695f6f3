// The vector tiers' implementations: every primitive is declared in each
// tier's namespace, and a tier defines only those it accelerates (in files
// named after the family and the tier, such as idct_sse2.cpp). Declarations
// only, so that this header may be included by code compiled for any tier.
#pragma once
#include "primitives/primitive_signatures.h"

namespace quarlin::sse2 {
QUARLIN_DECLARE_PRIMITIVE_TIER()
}  // namespace quarlin::sse2

namespace quarlin::avx2 {
QUARLIN_DECLARE_PRIMITIVE_TIER()
}  // namespace quarlin::avx2
