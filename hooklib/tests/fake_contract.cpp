// The contract suite's platform natively: the fake keyboard.
#include "hooklib/tests/fake_keyboard.h"
#include "hooklib/tests/platform_contract.h"

namespace pellix::testing {

namespace {
struct FakeContract : ContractPlatform {
  FakeKeyboard kb;
  HookPlatform& platform() override { return kb; }
  bool InjectedKeySeenAtOnce(uint8_t vk) override {
    kb.state.recognizerState = kInjecting;
    kb.KeybdEvent(vk, 0, 0);
    return !kb.app.empty() && kb.app.back().vk == vk && kb.app.back().injected;
  }
  uint32_t EndedThreadId() override {
    kb.endedThreads.insert(4242);
    return 4242;
  }
};
}  // namespace

std::unique_ptr<ContractPlatform> MakeContractPlatform() {
  return std::make_unique<FakeContract>();
}

}  // namespace pellix::testing
