#include "hooklib/core/key_buffer.h"

#include <gtest/gtest.h>

#include <cstring>

#include "engine/encoder.h"
#include "hooklib/tests/fake_keyboard.h"

namespace pellix {
namespace {

TEST(KeyTables, ScanCodePositions) {
  struct Case {
    uint32_t scan;
    char unshifted, shifted;
  } cases[] = {{13, '=', '+'}, {12, '-', '_'}, {52, '.', '>'}, {46, 'c', 'C'}, {2, '1', '!'},
               {40, '\'', '"'}, {41, '`', '~'},  {43, '\\', '|'}, {57, ' ', ' '}, {16, 'q', 'Q'},
               {0, 0, 0},       {1, 0, 0},       {14, 0, 0},      {28, 0, 0},     {42, 0, 0},
               {54, 0, 0},      {56, 0, 0},      {58, 0, 0},      {67, 0, 0},     {68, 0, 0},
               {200, 0, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(ScanCodeChar(c.scan, 0), c.unshifted) << c.scan;
    EXPECT_EQ(ScanCodeChar(c.scan, 1), c.shifted) << c.scan;
  }
}

TEST(KeyClasses, WandKeys) {
  for (uint32_t vk = 0; vk < 256; ++vk) {
    const bool letter = vk >= 65 && vk <= 90;
    const bool digit = vk >= 48 && vk <= 57;
    EXPECT_EQ(IsWandKey(vk), letter || digit || vk == 13 || vk == 189 || vk == 190) << vk;
    EXPECT_EQ(IsWandShiftedKey(vk), letter || vk == 187) << vk;
  }
  // By physical key: the US positions whose table character is a letter, a digit, minus or
  // period (Enter has none), or a letter or plus under Shift; never an extended key.
  for (uint32_t scan = 0; scan < 300; ++scan) {
    const char plain = ScanCodeChar(scan, 0), shifted = ScanCodeChar(scan, 1);
    const bool letter = plain >= 'a' && plain <= 'z';
    const bool wand = letter || (plain >= '0' && plain <= '9') || plain == '-' ||
                      plain == '.' || scan == 28;
    EXPECT_EQ(IsWandScanCode(scan, false), wand) << scan;
    EXPECT_EQ(IsWandShiftedScanCode(scan, false), letter || shifted == '+') << scan;
    EXPECT_FALSE(IsWandScanCode(scan, true) || IsWandShiftedScanCode(scan, true)) << scan;
  }
}

// The wand presses US key positions; other layouts report other virtual keys there (AZERTY's
// period position is VK_OEM_2, Dvorak's "q" is VK_OEM_7). Every character of the wand's
// alphabet is captured by its position, and a real scan decodes, on both paths.
TEST(KeyClasses, WandBurstsUnderEveryLayoutOnBothPaths) {
  const std::string alphabet =
      ".abcdefghijklmnopqrstuvwxyz.ABCDEFGHIJKLMNOPQRSTUVWXYZ.0123456789+-.";
  const std::string scan = EncodeWandText("00000000123456", "IB5", "9780262033848");
  for (const layouts::Layout& layout : layouts::kLayouts) {
    for (auto path : {testing::FakeKeyboard::Path::kLowLevel,
                      testing::FakeKeyboard::Path::kKeyboard}) {
      const bool lowLevel = path == testing::FakeKeyboard::Path::kLowLevel;
      const std::string where = std::string(layout.name) + (lowLevel ? " low-level" : " keyboard");
      testing::FakeKeyboard kb(path);
      kb.pcLayout = &layout;
      kb.WandPrefix();
      kb.app.clear();
      for (char c : alphabet) kb.WandChar(c);
      EXPECT_STREQ(kb.state.keyBuffer.scanChars, alphabet.c_str()) << where;
      EXPECT_TRUE(kb.app.empty() && kb.injected.empty()) << where << ": the burst broke off";
      AbandonBurst(kb.ctx);
      kb.Pump();

      kb.app.clear();
      kb.WandBurst(scan);
      EXPECT_EQ(kb.AppText(), "9780262033848\n") << where;
      for (const testing::KeyEvent& k : kb.app) {  // the keyboard path passes Alt and F10 up
        EXPECT_TRUE(k.injected || (!lowLevel && (k.vk == 18 || k.vk == 121))) << where;
      }
      EXPECT_EQ(kb.state.recognizerState, kIdle) << where;
    }
  }
}

class RecordKeyTest : public ::testing::Test {
 protected:
  testing::FakeKeyboard kb;
  KeyBuffer& buf = kb.state.keyBuffer;
  void Press(uint32_t vk, uint32_t scan) { RecordKey(buf, kb, vk, scan, 0); }
  void Release(uint32_t vk, uint32_t scan) { RecordKey(buf, kb, vk, scan, 1); }
};

// The layout's character of the equals key is '=': a shifted key other than a letter is
// marked instead, for the give-back to press it with Shift.
TEST_F(RecordKeyTest, ShiftedEqualsIsMarkedInKeyChars) {
  Press(16, 42);
  Press(187, 13);
  EXPECT_STREQ(buf.keyChars, "\x01");
  EXPECT_STREQ(buf.scanChars, "+");
}

TEST_F(RecordKeyTest, LettersFollowShiftInBothBuffers) {
  Press('A', 30);
  Press(160, 42);  // left Shift by its scan code, whatever the virtual key
  Press('B', 48);
  Release(160, 42);
  Press('C', 46);
  EXPECT_STREQ(buf.keyChars, "aBc");
  EXPECT_STREQ(buf.scanChars, "aBc");
  EXPECT_EQ(buf.length, 3);
}

TEST_F(RecordKeyTest, OtherLayoutGivesItsLetterInKeyCharsOnly) {
  kb.layout['Q'] = 'A';  // a French keyboard's A sits on the US Q position
  Press('Q', 16);
  EXPECT_STREQ(buf.keyChars, "a");
  EXPECT_STREQ(buf.scanChars, "q");
}

TEST_F(RecordKeyTest, ReleasesAndShiftStoreNothing) {
  Press(16, 42);
  EXPECT_EQ(buf.shiftDown, 1);
  Release('A', 30);
  Release(16, 42);
  EXPECT_EQ(buf.shiftDown, 0);
  EXPECT_EQ(buf.length, 0);
}

TEST_F(RecordKeyTest, EnterEndsBothStrings) {
  for (char c : std::string("abcd")) Press(testing::UsKeyOf(c).vk, testing::UsKeyOf(c).scan);
  buf.length = 2;
  Press(13, 28);
  EXPECT_STREQ(buf.keyChars, "ab");
  EXPECT_STREQ(buf.scanChars, "ab");
  EXPECT_EQ(buf.length, 2);
}

TEST_F(RecordKeyTest, FullBufferIsCutTo499) {
  for (int i = 0; i < kKeyBufferSize; ++i) Press('7', 8);
  EXPECT_EQ(buf.length, 500);
  EXPECT_EQ(std::strlen(buf.scanChars), 500u);  // the spare byte ends a full buffer
  Press('7', 8);
  EXPECT_EQ(buf.length, 500);
  EXPECT_EQ(std::strlen(buf.keyChars), 499u);
  EXPECT_EQ(std::strlen(buf.scanChars), 499u);
}

TEST_F(RecordKeyTest, HookKeyUsesLowSixBitsOfScanCode) {
  RecordHookKey(buf, kb, 'C', (46u + 64u) << 16 | 1, 0);
  EXPECT_STREQ(buf.scanChars, "c");
}

TEST_F(RecordKeyTest, GarbageLengthNeverIndexesOutside) {
  for (int32_t bad : {-1, -100000, 501, 1 << 30}) {
    buf.length = bad;
    Press('A', 30);
    Press(13, 28);
    EXPECT_GE(buf.length, 0);
    EXPECT_LE(buf.length, kKeyBufferSize);
  }
}

}  // namespace
}  // namespace pellix
