#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "hooklib/core/delivery.h"
#include "hooklib/core/key_buffer.h"
#include "hooklib/tests/platform_contract.h"

namespace pellix::testing {
namespace {

class PlatformContract : public ::testing::Test {
 protected:
  std::unique_ptr<ContractPlatform> p = MakeContractPlatform();
};

// VkKeyScanA under a US layout, for the characters a scan's output can hold (the line feed
// is left out: Windows gives Ctrl+Enter, Wine a Linefeed key; the typing sends Return for it).
TEST_F(PlatformContract, KeyForCharacterUnderUsLayout) {
  struct Case {
    char c;
    int16_t key;
  } cases[] = {{'a', 'A'},         {'z', 'Z'},         {'A', 0x100 | 'A'}, {'Q', 0x100 | 'Q'},
               {'0', '0'},         {'9', '9'},         {'.', 190},         {'-', 189},
               {'=', 187},         {'+', 0x100 | 187}, {'_', 0x100 | 189}, {',', 188},
               {'/', 191},         {' ', 32},          {'\t', 9},          {'!', 0x100 | '1'}};
  for (const Case& c : cases) EXPECT_EQ(p->platform().KeyForChar(c.c), c.key) << c.c;
}

TEST_F(PlatformContract, UnshiftedCharacterOfVirtualKey) {
  const uint32_t cases[][2] = {{'A', 'A'}, {'M', 'M'}, {'0', '0'}, {'7', '7'}, {189, '-'},
                               {190, '.'}, {187, '='}, {13, 13},   {32, ' '}};
  for (const auto& c : cases) {
    EXPECT_EQ(p->platform().MapVirtualKeyToChar(c[0]) & 0xff, c[1]) << c[0];
    EXPECT_EQ(KeyToChar(p->platform(), c[0], 0),
              static_cast<char>(c[1] >= 'A' && c[1] <= 'Z' ? c[1] + 32 : c[1]));
  }
}

// The scan code each key is typed with under a US layout, as a keyboard sends it; 0x100 marks
// a key sent with the extended prefix.
TEST_F(PlatformContract, ScanCodeOfVirtualKeyUnderUsLayout) {
  const uint32_t cases[][2] = {{'A', 30},  {'Q', 16}, {'M', 50},  {'1', 2},  {'0', 11},
                               {189, 12},  {190, 52}, {187, 13},  {188, 51}, {16, 42},
                               {13, 28},   {32, 57},  {9, 15},    {165, 0x138}};
  for (const auto& c : cases) {
    EXPECT_EQ(p->platform().ScanCodeOf(c[0]), c[1]) << c[0];
    if (c[0] != 16 && c[1] < 0x100) {
      EXPECT_EQ(p->platform().KeyAtScanCode(c[1]), c[0]) << c[1];
    }
  }
}

// A key's character with Shift and Caps Lock as a scan's typing asks it (US layout): the lock
// changes letters alone there, and Shift with the lock gives the small letter.
TEST_F(PlatformContract, CharacterOfKeyWithShiftAndCapsLockUnderUsLayout) {
  struct Case {
    uint8_t vk;
    bool shift, caps;
    uint16_t c;
  } cases[] = {{'A', false, false, 'a'}, {'A', true, false, 'A'}, {'A', false, true, 'A'},
               {'A', true, true, 'a'},   {'Q', false, true, 'Q'}, {'1', false, true, '1'},
               {'1', true, true, '!'},   {190, false, true, '.'}, {187, true, false, '+'},
               {189, true, true, '_'},   {32, false, true, ' '}};
  for (const Case& c : cases)
    EXPECT_EQ(p->platform().CharOfKey(c.vk, c.shift, c.caps), c.c)
        << c.vk << (c.shift ? " Shift" : "") << (c.caps ? " lock" : "");
}

// Each sided Shift, Ctrl and Alt key pressed with a tag (another program's) is held at once
// as the typing thread sees it, and released so.
TEST_F(PlatformContract, TaggedModifierKeysAreHeldAtOnce) {
  struct Case {
    uint32_t vk, scan, flags, bit;
  } cases[] = {{160, 0x2A, 0, kLeftShiftBit}, {161, 0x36, 1, kRightShiftBit},
               {162, 0x1D, 0, kLeftCtrlBit},  {163, 0x1D, 1, kRightCtrlBit},
               {164, 0x38, 0, kLeftAltBit},   {165, 0x38, 1, kRightAltBit}};
  HookPlatform& h = p->platform();
  const uint32_t before = h.ModifiersHeld();
  EXPECT_EQ(before, 0u);
  for (const Case& c : cases) {
    h.SendTagged(c.vk, c.scan, c.flags, 0x1234);
    EXPECT_EQ(h.ModifiersHeld(), c.bit) << c.vk;
    h.SendTagged(c.vk, c.scan, c.flags | 2, 0x1234);
    EXPECT_EQ(h.ModifiersHeld(), 0u) << c.vk;
  }
}

TEST_F(PlatformContract, AtomsAreCountedByName) {
  HookPlatform& h = p->platform();
  const uint16_t a = h.MakeAtom("PellixContractAtom");
  ASSERT_NE(a, 0);
  EXPECT_EQ(h.MakeAtom("PellixContractAtom"), a);
  EXPECT_TRUE(h.AtomExists(a));
  h.RemoveAtom(a);
  EXPECT_TRUE(h.AtomExists(a));  // one reference left
  h.RemoveAtom(a);
  EXPECT_FALSE(h.AtomExists(a));
  EXPECT_EQ(h.MakeAtom(""), 0);
}

// One step at a time, none inside another on the same thread, and a step whose thread ended
// inside it handed on to the next taker.
TEST_F(PlatformContract, StepLockIsHeldByOneThreadAndOutlivesNone) {
  HookPlatform& h = p->platform();
  ASSERT_TRUE(h.EnterStep(0));
  EXPECT_FALSE(h.EnterStep(0)) << "a thread inside a step entered another";
  h.LeaveStep();
  p->HoldStepElsewhere();
  EXPECT_FALSE(h.EnterStep(10)) << "entered a step that another thread holds";
  p->ReleaseStepElsewhere();
  ASSERT_TRUE(h.EnterStep(1000));
  h.LeaveStep();
  p->EndInsideAStep();
  EXPECT_TRUE(h.EnterStep(0)) << "the step of a thread that ended was not handed on";
  h.LeaveStep();
  EXPECT_TRUE(h.EnterStep(0));
  h.LeaveStep();
}

// Deliveries run one after another, in the order they were started, whatever each takes:
// the first gives back a long text, and each ends with a key of its own number (the key that
// broke its burst, another program's, typed again with its tag). The schedule explorer
// assumes this of the port.
TEST_F(PlatformContract, DeliveriesRunOneAfterAnotherInTheOrderStarted) {
  std::vector<uintptr_t> started;
  for (uintptr_t i = 0; i < 6; ++i) {
    auto* d = new Delivery{};
    d->scan.valid = 0;
    if (i == 0) std::memset(d->text, '-', 120);
    d->hasAfter = true;
    d->after = {0x87, 0x76, kLowLevelInjected, 0x5000 + i};
    started.push_back(0x5000 + i);
    ASSERT_TRUE(p->platform().StartDelivery(d));
  }
  EXPECT_EQ(p->TagsOfF24(started.size()), started);
}

TEST_F(PlatformContract, OwnKeyReachesTheLowLevelHookAtOnceWithTheMark) {
  EXPECT_TRUE(p->OwnKeySeenAtOnce(16));
}

}  // namespace
}  // namespace pellix::testing
