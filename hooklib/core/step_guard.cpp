#include "hooklib/core/step_guard.h"

namespace pellix {

bool WaitForStep(int32_t* owner, int32_t me, HookPlatform& platform, uint32_t maxWaitMs) {
  const uint32_t start = platform.NowMs();
  for (;;) {
    platform.YieldThread();
    if (AtomicCompareExchange(owner, 0, me)) return true;
    if (platform.NowMs() - start >= maxWaitMs) return false;
  }
}

}  // namespace pellix
