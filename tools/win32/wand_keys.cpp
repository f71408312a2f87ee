// pellix-wand-keys: the wand emulator's keys that Wine misreports under an X layout, sent with
// keybd_event exactly as Windows reports them under that layout: the key's US scan code (the
// position the wand presses) with the virtual key the layout gives that position.
//
//   pellix-wand-keys --serve LAYOUT    LAYOUT: us german french belgian dvorak. One key a
//                                      line from standard input, "KEY 1" (press) or "KEY 0"
//                                      (release), KEY a character of the wand's keyboard ('='
//                                      for its Shift key +, S for Shift); says "ready" a line
//                                      first, then "ok" a line for each key once sent.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "tools/keyboard_layouts.h"

int main(int argc, char** argv) {
  using namespace pellix::layouts;
  const Layout* layout =
      argc == 3 && std::strcmp(argv[1], "--serve") == 0 ? FindLayout(argv[2]) : nullptr;
  if (!layout) {
    std::fprintf(stderr, "usage: pellix-wand-keys --serve LAYOUT\n");
    return 2;
  }
  char line[64];
  std::printf("ready\n");
  std::fflush(stdout);
  while (std::fgets(line, sizeof line, stdin)) {
    const WandKey k = line[0] == 'S' ? WandKey{42, VK_SHIFT, false}
                                     : WandKeyOf(line[0] == '=' ? '+' : line[0]);
    if (k.scan == 0) return 2;
    keybd_event(static_cast<BYTE>(VkAt(*layout, k.scan, k.vk)), static_cast<BYTE>(k.scan),
                line[2] == '1' ? 0 : KEYEVENTF_KEYUP, 0);
    std::printf("ok\n");
    std::fflush(stdout);
  }
  return 0;
}
