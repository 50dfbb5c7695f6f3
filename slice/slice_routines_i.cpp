// The four I-picture decoder variants, compiled in their own unit.
#include "slice/slice_routine.h"

namespace quarlin {

const SliceRoutines& sliceRoutinesI() {
  static const SliceRoutines routines = QUARLIN_SLICE_ROUTINES(kPictureI);
  return routines;
}

}  // namespace quarlin
