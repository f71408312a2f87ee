// The virtual keys that Windows reports, under some keyboard layouts, for the US key positions
// a wand presses (it sends their scan codes whatever the PC's layout). Positions a layout does
// not list report the US virtual key (Russian among them). Read off the layouts' tables (kbdgr,
// kbdfr, kbdbe, kbddv, kbdsg, kbdsp, kbdit, kbdsw): the keys of the wand's alphabet, minus,
// period and equals.
#pragma once
#include <cstdint>
#include <cstring>

namespace pellix::layouts {

struct MovedKey {
  uint8_t scan;
  uint8_t vk;
};

struct Layout {
  const char* name;
  const MovedKey* moved;
  int count;
};

constexpr MovedKey kGerman[] = {{12, 219}, {13, 221}, {21, 'Z'}, {44, 'Y'}};
constexpr MovedKey kFrench[] = {{12, 219}, {16, 'A'}, {17, 'Z'}, {30, 'Q'},
                                {44, 'W'}, {50, 188}, {52, 191}};
constexpr MovedKey kBelgian[] = {{12, 219}, {13, 189}, {16, 'A'}, {17, 'Z'},
                                 {30, 'Q'}, {44, 'W'}, {50, 188}, {52, 191}};
constexpr MovedKey kDvorak[] = {
    {12, 219}, {13, 221}, {16, 222}, {17, 188}, {18, 190}, {19, 'P'}, {20, 'Y'}, {21, 'F'},
    {22, 'G'}, {23, 'C'}, {24, 'R'}, {25, 'L'}, {30, 'A'}, {31, 'O'}, {32, 'E'}, {33, 'U'},
    {34, 'I'}, {35, 'D'}, {36, 'H'}, {37, 'T'}, {38, 'N'}, {44, 186}, {45, 'Q'}, {46, 'J'},
    {47, 'K'}, {48, 'X'}, {49, 'B'}, {50, 'M'}, {52, 'V'}};

constexpr MovedKey kSwiss[] = {{12, 219}, {13, 221}, {21, 'Z'}, {44, 'Y'}};
constexpr MovedKey kSpanish[] = {{12, 219}, {13, 221}};
constexpr MovedKey kItalian[] = {{12, 219}, {13, 221}};
constexpr MovedKey kSwedish[] = {{12, 187}, {13, 219}};

constexpr Layout kLayouts[] = {
    {"us", nullptr, 0},
    {"german", kGerman, sizeof kGerman / sizeof kGerman[0]},
    {"french", kFrench, sizeof kFrench / sizeof kFrench[0]},
    {"belgian", kBelgian, sizeof kBelgian / sizeof kBelgian[0]},
    {"dvorak", kDvorak, sizeof kDvorak / sizeof kDvorak[0]},
    {"swiss", kSwiss, sizeof kSwiss / sizeof kSwiss[0]},
    {"spanish", kSpanish, sizeof kSpanish / sizeof kSpanish[0]},
    {"italian", kItalian, sizeof kItalian / sizeof kItalian[0]},
    {"swedish", kSwedish, sizeof kSwedish / sizeof kSwedish[0]},
};

inline const Layout* FindLayout(const char* name) {
  for (const Layout& l : kLayouts)
    if (std::strcmp(l.name, name) == 0) return &l;
  return nullptr;
}

// The virtual key the layout reports at a US position whose own virtual key is `usVk`.
inline uint32_t VkAt(const Layout& layout, uint32_t scan, uint32_t usVk) {
  for (int i = 0; i < layout.count; ++i)
    if (layout.moved[i].scan == scan) return layout.moved[i].vk;
  return usVk;
}

// US scan code, virtual key and Shift of a character of the wand's text (letters, digits,
// '+', '-', '.'); scan 0 for any other character.
struct WandKey {
  uint32_t scan;
  uint32_t vk;
  bool shift;
};
inline WandKey WandKeyOf(char c) {
  static constexpr uint8_t kLetterScan[26] = {30, 48, 46, 32, 18, 33, 34, 35, 23,
                                              36, 37, 38, 50, 49, 24, 25, 16, 19,
                                              31, 20, 22, 47, 17, 45, 21, 44};
  if (c >= 'a' && c <= 'z') return {kLetterScan[c - 'a'], static_cast<uint32_t>(c - 32), false};
  if (c >= 'A' && c <= 'Z') return {kLetterScan[c - 'A'], static_cast<uint32_t>(c), true};
  if (c >= '1' && c <= '9') return {static_cast<uint32_t>(c - '1' + 2), static_cast<uint32_t>(c), false};
  if (c == '0') return {11, '0', false};
  if (c == '-') return {12, 189, false};
  if (c == '+') return {13, 187, true};
  if (c == '.') return {52, 190, false};
  return {0, 0, false};
}

}  // namespace pellix::layouts
