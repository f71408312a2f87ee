// The wand's keys on the low-level path under Wine, for the tests: keybd_event marks every key
// it sends injected, which the recognizer rightly never takes for a wand, and Wine sets no Alt
// flag. Keys typed with kWandTag are made to look like the wand's by a hook of the test's own,
// set after the library's (so called before it), that calls MakeWandLike.
#pragma once
#include <windows.h>

#include <string>

namespace pellix::testing {

constexpr ULONG_PTR kWandTag = 0x57414E44;

inline void MakeWandLike(KBDLLHOOKSTRUCT* key) {
  if (key->dwExtraInfo != kWandTag) return;
  key->flags &= ~static_cast<DWORD>(LLKHF_INJECTED);
  const bool altKey = key->vkCode == VK_LMENU && !(key->flags & LLKHF_UP);
  if (altKey || key->vkCode == VK_F10) key->flags |= LLKHF_ALTDOWN;
}

// The wand's burst for the dotted text: prefix, each character (Shift held across a shifted
// one), Enter; each key through `key(vk, scan, up)`, which sends it tagged.
template <typename KeyFn>
void TypeWandBurst(const std::string& text, KeyFn key) {
  key(VK_LMENU, 56, false);
  key(VK_F10, 68, false);
  key(VK_F10, 68, true);
  key(VK_LMENU, 56, true);
  for (char c : text) {
    const SHORT vkShift = VkKeyScanA(c);
    const BYTE vk = LOBYTE(vkShift);
    const BYTE scan = static_cast<BYTE>(MapVirtualKeyA(vk, 0));
    const bool shift = (HIBYTE(vkShift) & 1) != 0;
    if (shift) key(VK_LSHIFT, 42, false);
    key(vk, scan, false);
    key(vk, scan, true);
    if (shift) key(VK_LSHIFT, 42, true);
  }
  key(VK_RETURN, 28, false);
  key(VK_RETURN, 28, true);
}

}  // namespace pellix::testing
