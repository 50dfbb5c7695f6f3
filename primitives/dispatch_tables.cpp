// The dispatch tables, constant-initialised so that they are complete before
// any code of the library runs.
//
// Adding a vector tier: write one source file per family named after its tier
// (for example idct_sse2.cpp; primitives/CMakeLists.txt gives files ending in
// _sse, _sse2 and _sse3 their instruction-set flags), define its functions in
// namespace quarlin::sse2 with the signatures of primitive_signatures.h,
// declare them in a header next to generic_primitives.h, and name them in the
// slots below (slot 3 for SSE2; slot 4 too when no SSE3 version is better;
// slot 5, AVX2, keeps the best lower tier where AVX2 does not pay).
#include "primitives/dispatch_tables.h"

#include "primitives/generic_primitives.h"

namespace quarlin {

#define QUARLIN_GENERIC_SLOTS(member, Type, entry) \
  .member = {nullptr, &generic::member, &generic::member, &generic::member, &generic::member, &generic::member},

constinit PrimitiveTables gPrimitiveTables = {QUARLIN_PRIMITIVE_LIST(QUARLIN_GENERIC_SLOTS)};

#undef QUARLIN_GENERIC_SLOTS

}  // namespace quarlin
