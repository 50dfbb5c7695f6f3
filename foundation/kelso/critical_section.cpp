#include "foundation/kelso/critical_section.h"

namespace Kelso {

void CriticalSection::Enter() { lock_.enter(); }
bool CriticalSection::TryEnter() { return lock_.tryEnter(); }
void CriticalSection::Leave() { lock_.leave(); }

CriticalSectionLock::CriticalSectionLock(CriticalSection& section) : section_(section) {
  section_.Enter();
}

CriticalSectionLock::~CriticalSectionLock() { section_.Leave(); }

}  // namespace Kelso
