// pellix-wand-keys: one wand scan sent with keybd_event exactly as Windows reports it under a
// given keyboard layout: each key's US scan code (the position the wand presses) with the
// virtual key that layout gives that position. For the tests of other layouts under Wine,
// whose X server here keeps one keymap.
//
//   pellix-wand-keys LAYOUT SERIAL TYPE DATA [RATE_MS]    LAYOUT: us german french belgian
//                                                         dvorak; RATE_MS between events (3)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/encoder.h"
#include "tools/keyboard_layouts.h"

namespace {

DWORD g_rateMs = 3;

void Send(uint32_t vk, uint32_t scan, bool up) {
  keybd_event(static_cast<BYTE>(vk), static_cast<BYTE>(scan), up ? KEYEVENTF_KEYUP : 0, 0);
  Sleep(g_rateMs);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace pellix::layouts;
  if (argc < 5) {
    std::fprintf(stderr, "usage: pellix-wand-keys LAYOUT SERIAL TYPE DATA [RATE_MS]\n");
    return 2;
  }
  const Layout* layout = FindLayout(argv[1]);
  if (!layout) {
    std::fprintf(stderr, "unknown layout '%s'\n", argv[1]);
    return 2;
  }
  if (argc > 5) g_rateMs = static_cast<DWORD>(std::atoi(argv[5]));
  const std::string text = pellix::EncodeWandText(argv[2], argv[3], argv[4]);
  Send(VK_MENU, 56, false);
  Send(VK_F10, 68, false);
  Send(VK_F10, 68, true);
  Send(VK_MENU, 56, true);
  for (char c : text) {
    const WandKey k = WandKeyOf(c);
    const uint32_t vk = VkAt(*layout, k.scan, k.vk);
    if (k.shift) Send(VK_SHIFT, 42, false);
    Send(vk, k.scan, false);
    Send(vk, k.scan, true);
    if (k.shift) Send(VK_SHIFT, 42, true);
  }
  Send(VK_RETURN, 28, false);
  Send(VK_RETURN, 28, true);
  return 0;
}
