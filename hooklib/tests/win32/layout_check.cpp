// pellix-layout-check XKB: the fake keyboard's layout table (wine_layouts.h) against Wine's
// VkKeyScanA under the X layout in force, and the library's Unicode input as a low-level hook
// sees it: VK_PACKET with the character as its scan code, injected, with the library's mark.
// Prints each difference; status 0 when there is none.
#include <windows.h>

#include <cstdio>

#include "hooklib/tests/wine_layouts.h"
#include "hooklib/win32/win_platform.h"

namespace {

struct Seen {
  WPARAM message;
  DWORD vk, scan, flags;
  ULONG_PTR extra;
};
Seen g_seen[4];
int g_count = 0;

LRESULT CALLBACK Spy(int code, WPARAM wParam, LPARAM lParam) {
  const auto* k = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
  if (code == HC_ACTION && g_count < 4)
    g_seen[g_count++] = {wParam, k->vkCode, k->scanCode, k->flags, k->dwExtraInfo};
  return 1;  // the check's keys go nowhere
}

}  // namespace

int main(int argc, char** argv) {
  using namespace pellix::testing;
  const WineLayout* layout = argc == 2 ? FindWineLayout(argv[1]) : nullptr;
  if (!layout) {
    std::fprintf(stderr, "usage: pellix-layout-check XKB (a layout of wine_layouts.h)\n");
    return 2;
  }
  int wrong = 0;
  for (int i = 0; i < kLayoutCharCount; ++i) {
    const SHORT v = VkKeyScanA(kLayoutChars[i]);
    if (v != layout->keys[i]) {
      std::printf("%s: VkKeyScanA('%c') is %04x, the table says %04x\n", layout->xkb,
                  kLayoutChars[i], v & 0xffff, layout->keys[i] & 0xffff);
      ++wrong;
    }
  }
  HHOOK hook = SetWindowsHookExA(WH_KEYBOARD_LL, Spy, GetModuleHandleA(nullptr), 0);
  pellix::win32::WinPlatform platform;
  if (!platform.IsNt()) {
    std::printf("not the NT family\n");
    ++wrong;
  }
  if (!platform.UnicodeChar("|", 1)) {
    std::printf("Unicode input refused\n");
    ++wrong;
  }
  UnhookWindowsHookEx(hook);
  for (int i = 0; i < 2; ++i) {
    const Seen& s = g_seen[i];
    // By the message: Wine 8 leaves LLKHF_UP off a Unicode release.
    if (g_count != 2 || s.message != (i == 0 ? WM_KEYDOWN : WM_KEYUP) || s.vk != VK_PACKET ||
        s.scan != '|' || !(s.flags & LLKHF_INJECTED) || s.extra != pellix::kOwnKeyMark) {
      std::printf("Unicode key %d of %d: message %lx vk %lx scan %lx flags %lx extra %lx\n", i,
                  g_count, static_cast<unsigned long>(s.message), s.vk, s.scan, s.flags,
                  static_cast<unsigned long>(s.extra));
      ++wrong;
    }
  }
  if (wrong == 0) std::printf("%s: the fake's answers are Wine's\n", layout->xkb);
  return wrong == 0 ? 0 : 1;
}
