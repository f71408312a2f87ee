// The contract suite's platform natively: the fake keyboard.
#include "hooklib/tests/fake_keyboard.h"
#include "hooklib/tests/platform_contract.h"

namespace pellix::testing {

namespace {
struct FakeContract : ContractPlatform {
  FakeKeyboard kb;
  HookPlatform& platform() override { return kb; }
  bool OwnKeySeenAtOnce(uint8_t vk) override {
    kb.KeybdEvent(vk, 0, 0);
    return !kb.app.empty() && kb.app.back().vk == vk && kb.app.back().injected &&
           kb.lastExtraInfo == kOwnKeyMark;
  }
  void EndInsideAStep() override {
    kb.threadId = 4242;
    kb.EnterStep(0);
    kb.endedThreads.insert(4242);
    kb.threadId = 100;
  }
  void HoldStepElsewhere() override {
    kb.threadId = 4343;
    kb.EnterStep(0);
    kb.threadId = 100;
  }
  std::vector<uintptr_t> TagsOfF24(size_t) override {
    kb.Pump();
    std::vector<uintptr_t> tags;
    for (size_t i = 0; i < kb.app.size(); ++i)
      if (kb.app[i].vk == 0x87 && !kb.app[i].up) tags.push_back(kb.appExtra[i]);
    return tags;
  }
  void ReleaseStepElsewhere() override {
    kb.threadId = 4343;
    kb.LeaveStep();
    kb.threadId = 100;
  }
};
}  // namespace

std::unique_ptr<ContractPlatform> MakeContractPlatform() {
  return std::make_unique<FakeContract>();
}

}  // namespace pellix::testing
