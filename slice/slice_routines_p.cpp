// The four P-picture decoder variants, compiled in their own unit.
#include "slice/slice_routine.h"

namespace quarlin {

const SliceRoutines& sliceRoutinesP() {
  static const SliceRoutines routines = QUARLIN_SLICE_ROUTINES(kPictureP);
  return routines;
}

}  // namespace quarlin
