// The four B-picture decoder variants, compiled in their own unit.
#include "slice/slice_routine.h"

namespace quarlin {

const SliceRoutines& sliceRoutinesB() {
  static const SliceRoutines routines = QUARLIN_SLICE_ROUTINES(kPictureB);
  return routines;
}

}  // namespace quarlin
