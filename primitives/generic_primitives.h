// The portable implementation of every primitive (no instruction-set
// requirement beyond the compiler's baseline). It fills slots 1 to 5 of every
// dispatch table until a faster tier replaces a slot.
#pragma once
#include "primitives/primitive_signatures.h"

namespace quarlin::generic {
QUARLIN_DECLARE_PRIMITIVE_TIER()
}  // namespace quarlin::generic
