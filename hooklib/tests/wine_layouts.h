// What Wine 8's VkKeyScanA answers under real X keyboard layouts (setxkbmap -rules evdev
// -model pc105), for the characters the typing tests use. The fake keyboard answers from this
// table natively; pellix-layout-check compares it with Wine under the same X layout.
// Wine reports a dead key's character as no key (-1), and gives US-Dvorak the QWERTY answers.
#pragma once
#include <cstdint>
#include <cstring>

namespace pellix::testing {

constexpr char kLayoutChars[] = "|\\~@^`{}aA(#";
constexpr int kLayoutCharCount = sizeof kLayoutChars - 1;

struct WineLayout {
  const char* xkb;  // setxkbmap's layout and variant
  int16_t keys[kLayoutCharCount];
};

constexpr WineLayout kWineLayouts[] = {
    {"us",
     {0x01dc, 0x00dc, 0x01c0, 0x0132, 0x0136, 0x00c0, 0x01db, 0x01dd, 0x0041, 0x0141, -1, 0x0133}},
    {"de",
     {0x06e2, 0x06ba, 0x06dd, 0x0651, -1, -1, 0x0637, 0x0630, 0x0041, 0x0141, -1, 0x00dc}},
    {"fr",
     {0x0636, 0x0638, 0x01c0, 0x0630, 0x0639, 0x0637, 0x0634, 0x06bb, 0x0041, 0x0141, 0x0035, 0x0633}},
    {"us dvorak",
     {0x01dc, 0x00dc, 0x01c0, 0x0132, 0x0136, 0x00c0, 0x01db, 0x01dd, 0x0041, 0x0141, -1, 0x0133}},
    {"gb",
     {0x01e2, 0x00e2, 0x01dc, 0x01de, 0x0136, 0x00c0, 0x01db, 0x01dd, 0x0041, 0x0141, -1, 0x00dc}},
    {"ch de",
     {0x0631, 0x06e2, -1, 0x0632, -1, -1, 0x06c0, 0x0630, 0x0041, 0x0141, -1, 0x0633}},
    {"be",
     {0x0631, 0x06db, -1, 0x0632, 0x0636, -1, 0x0637, 0x0630, 0x0041, 0x0141, 0x0035, 0x0633}},
    {"es",
     {0x0631, 0x06bd, 0x0634, 0x0632, -1, -1, 0x0637, 0x0630, 0x0041, 0x0141, -1, 0x0633}},
    {"it",
     {0x01c0, 0x00c0, 0x06ba, 0x0651, 0x01ba, 0x06bd, 0x0637, 0x0630, 0x0041, 0x0141, -1, 0x06dc}},
    {"se",
     {0x06e2, 0x06bb, -1, 0x0632, -1, -1, 0x0637, 0x0630, 0x0041, 0x0141, -1, 0x0133}},
    {"ru",
     {0x0185, 0x00dc, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1}},
};

inline const WineLayout* FindWineLayout(const char* xkb) {
  for (const WineLayout& l : kWineLayouts)
    if (std::strcmp(l.xkb, xkb) == 0) return &l;
  return nullptr;
}

}  // namespace pellix::testing
