// The contract the fake keyboard and the real system both keep, as far as the hook library's
// tests rely on it. The suite runs natively against the fake and under Wine against the
// Windows implementation of the port.
#pragma once
#include <memory>
#include <vector>

#include "hooklib/core/hook_platform.h"

namespace pellix::testing {

struct ContractPlatform {
  virtual ~ContractPlatform() = default;
  virtual HookPlatform& platform() = 0;
  // Types one key with KeybdEvent from the hooks' thread; true when the low-level hook saw it,
  // flagged injected and carrying the library's mark, before KeybdEvent returned.
  virtual bool OwnKeySeenAtOnce(uint8_t vk) = 0;
  // Runs another thread that enters the step lock and ends inside its step, as a thread
  // killed inside a hook does.
  virtual void EndInsideAStep() = 0;
  // Another thread enters the step lock and holds it until ReleaseStepElsewhere.
  virtual void HoldStepElsewhere() = 0;
  virtual void ReleaseStepElsewhere() = 0;
  // Lets started deliveries run (pumping what the system needs) until `count` keys of
  // virtual key 0x87 (F24) have been typed, or a while has passed; their extra information,
  // in the order they came.
  virtual std::vector<uintptr_t> TagsOfF24(size_t count) = 0;
};

// Defined once for the fake (native) and once for Windows.
std::unique_ptr<ContractPlatform> MakeContractPlatform();

}  // namespace pellix::testing
