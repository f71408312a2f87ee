#include "hooklib/core/step_guard.h"

namespace pellix {

bool WaitForStep(int32_t* owner, int32_t me, HookPlatform& platform, uint32_t maxWaitMs) {
  const uint32_t start = platform.NowMs();
  int32_t running = 0;  // the last owner found running: asked about once, not on every spin
  for (;;) {
    const int32_t current = AtomicLoad(owner);
    if (current == 0) {
      if (AtomicCompareExchange(owner, 0, me)) return true;
    } else if (current != running) {
      // A thread that died inside its step (its program killed) never frees the word; every
      // hook everywhere would wait and pass its key from then on. Take the step over.
      if (!platform.ThreadRunning(static_cast<uint32_t>(current))) {
        if (AtomicCompareExchange(owner, current, me)) return true;
        continue;
      }
      running = current;
    }
    if (platform.NowMs() - start >= maxWaitMs) return false;
    platform.YieldThread();
  }
}

}  // namespace pellix
