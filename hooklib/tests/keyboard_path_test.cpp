// The keyboard-and-message path: the keyboard hook follows the burst, the message hook spots
// Alt+F10. Synthetic keys reach the hooks when the application retrieves them.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "engine/encoder.h"
#include "hooklib/tests/fake_keyboard.h"

namespace pellix {
namespace {

using testing::FakeKeyboard;
using testing::KeyEvent;

constexpr auto kKb = FakeKeyboard::Path::kKeyboard;

TEST(KeyboardPath, OutputStylesWithSeparatorAndTerminator) {
  struct Case {
    uint32_t style;
    char separator, terminator;
    const char* typed;
  } cases[] = {{0, '.', '\n', "0123\n"},       {1, '.', '\n', "UPA.0123\n"},
               {2, '.', '\n', "123.0123\n"},   {3, '.', '\n', "123.UPA.0123\n"},
               {3, 0, '\n', "123UPA0123\n"},   {0, '.', 0, "0123"},
               {3, ',', '\t', "123,UPA,0123\t"}};
  for (const Case& c : cases) {
    FakeKeyboard kb(kKb);
    ASSERT_EQ(SetOutputType(kb.state, c.terminator, c.separator, c.style, 1, 0), 1);
    kb.WandBurst(EncodeWandText("123", "UPA", "0123"));
    EXPECT_EQ(kb.AppText(), c.typed) << c.style;
    EXPECT_EQ(kb.starts, 1);
    EXPECT_EQ(kb.state.recognizerState, kIdle);
  }
}

TEST(KeyboardPath, PrefixReachesTheApplicationOnlyAsItsAltPress) {
  FakeKeyboard kb(kKb);
  kb.WandPrefix();
  EXPECT_EQ(kb.state.recognizerState, kCapturing);
  // Alt press passes; F10 press is neutralised, F10 release passes, Alt release swallowed.
  ASSERT_EQ(kb.app.size(), 2u);
  EXPECT_EQ(kb.app[0].vk, 18u);
  EXPECT_EQ(kb.app[1], (KeyEvent{121, 68, true, false}));
}

TEST(KeyboardPath, CtrlOrAltInsideABurstDropsItSilently) {
  for (uint32_t vk : {17u, 18u}) {
    FakeKeyboard kb(kKb);
    kb.WandPrefix();
    kb.WandChar('.');
    kb.WandChar('c');
    kb.app.clear();
    EXPECT_FALSE(kb.Key(vk, vk == 17 ? 29 : 56, false));
    kb.Pump();
    EXPECT_TRUE(kb.injected.empty()) << vk;
    ASSERT_EQ(kb.app.size(), 1u) << vk;
    EXPECT_EQ(kb.app[0].vk, vk);
    EXPECT_EQ(kb.state.recognizerState, kIdle);
  }
}

TEST(KeyboardPath, OutOfRhythmKeysGiveBackKeyCharsAndAreSwallowed) {
  struct Case {
    const char* name;
    std::vector<std::array<uint32_t, 3>> keys;  // vk, scan, up
    const char* givenBack;                       // keyChars: what was captured
  } cases[] = {
      {"Shift over two letters", {{16, 42, 0}, {'A', 30, 0}, {'A', 30, 1}, {'B', 48, 0}}, ".qA"},
      {"two keys at once", {{'A', 30, 0}, {'B', 48, 0}}, ".qa"},
      {"release of an older key", {{'Z', 44, 1}}, ".q"},
      {"function key", {{116, 63, 0}}, ".q"},
  };
  for (const Case& c : cases) {
    FakeKeyboard kb(kKb);
    kb.WandPrefix();
    kb.WandChar('.');
    kb.WandChar('q');
    kb.app.clear();
    bool swallowed = false;
    for (const auto& k : c.keys) swallowed = kb.Key(k[0], k[1], k[2] != 0);
    kb.Pump();
    EXPECT_TRUE(swallowed) << c.name;
    EXPECT_EQ(kb.AppText(), c.givenBack) << c.name;  // no prefix, no offending key
    EXPECT_EQ(kb.state.recognizerState, kIdle) << c.name;
  }
}

TEST(KeyboardPath, RightShiftCountsAsShift) {
  FakeKeyboard kb(kKb);
  kb.WandPrefix();
  kb.Key(16, 54, false);  // right Shift: virtual key 16, scan code 54
  EXPECT_EQ(kb.state.recognizerState, kShiftHeld);
  EXPECT_EQ(kb.state.keyBuffer.shiftDown, 1);
}

// Only a message being removed counts: a busy application peeks at its Alt+F10 before it
// takes it, and the hook then sees the same message twice.
TEST(KeyboardPath, SystemKeyDuringBurstIsNeutralisedAndAbandonsWhenRemovedOnly) {
  FakeKeyboard kb(kKb);
  uint32_t message = kWmSysKeyDown;
  MessageStep(kb.ctx, &message, 121, 1u << 29, false, 0);  // the prefix's F10, peeked at
  EXPECT_EQ(message, kWmSysKeyDown);
  EXPECT_EQ(kb.state.recognizerState, kIdle);
  MessageStep(kb.ctx, &message, 121, 1u << 29, true, 0);  // and removed: the burst begins
  EXPECT_EQ(message, kWmNull);
  EXPECT_EQ(kb.state.recognizerState, kPrefixSeen);
  kb.Key(18, 56, true);
  kb.WandChar('.');
  message = kWmSysKeyDown;
  MessageStep(kb.ctx, &message, 121, 1u << 29, false, 0);
  EXPECT_EQ(kb.state.recognizerState, kCapturing) << "a peek ended the burst";
  MessageStep(kb.ctx, &message, 121, 1u << 29, true, 0);
  kb.Pump();
  EXPECT_EQ(message, kWmNull);
  EXPECT_EQ(kb.state.recognizerState, kIdle);
  EXPECT_EQ(kb.AppText(), ".");
}

TEST(KeyboardPath, InvalidBurstProducesNothing) {
  FakeKeyboard kb(kKb);
  kb.WandPrefix();
  kb.app.clear();
  for (char c : std::string("hello")) kb.WandChar(c);
  kb.Enter();
  kb.Pump();
  EXPECT_TRUE(kb.app.empty());
  EXPECT_TRUE(kb.injected.empty());
  EXPECT_TRUE(kb.beeps.empty());
}

// The library's keys on their way carry the same key data as the keyboard's: the wand's key
// that comes first takes their entry in the keyboard hook, and the message hook, told the
// mark (on NT; on 9x once shown one), gives the key to the burst and the entry back for the
// key of ours that follows.
TEST(KeyboardPath, AWandKeyTakenForOneOfOursGoesToTheBurstAndOursStillPasses) {
  struct Case {
    bool nt, markShown, corrected;
  } cases[] = {{true, false, true}, {false, false, false}, {false, true, true}};
  for (const Case& c : cases) {
    FakeKeyboard kb(kKb);
    kb.nt = c.nt;
    if (c.markShown) {
      NoteOwnKey(kb.state, 81, 16, false);
      kb.KeyboardPath(81, 16, false, false, true);
    }
    kb.WandPrefix();
    kb.WandChar('.');
    const int32_t length = kb.state.keyBuffer.length;
    NoteOwnKey(kb.state, 67, 46, false);  // our C, on its way behind the wand's
    const bool swallowed = kb.Key(67, 46, false);
    const uint32_t keyData = 46u << 16 | 1;
    const bool oursPassed = KeyboardStep(kb.ctx, 67, keyData) == Verdict::kPass &&
                            kb.state.ownKeysTaken == kb.state.ownKeysNoted;
    const std::array<int, 3> got{swallowed, kb.state.keyBuffer.length - length, oursPassed};
    // Uncorrected, as before: the wand's key passes and ours goes into the burst.
    const std::array<int, 3> want = c.corrected ? std::array<int, 3>{1, 1, 1}
                                                : std::array<int, 3>{0, 1, 0};
    EXPECT_EQ(got, want) << c.nt << c.markShown;
  }
}

// The hook runs inside the program it types to: a program with a pace is typed to from the
// delivery thread (keys paced from its own thread would arrive all at once), and a scan after
// it waits its turn, paced or not.
TEST(KeyboardPath, APacedScanLeavesTheHookAndTheNextWaitsItsTurn) {
  FakeKeyboard kb(kKb);
  kb.state.apps.count = 1;
  std::strcpy(kb.state.apps.rules[0].program, "client.exe");
  kb.state.apps.rules[0].paceMs = 20;
  kb.programInFront = "client.exe";
  auto burst = [&kb](const char* data) {
    kb.WandPrefix();
    for (char c : EncodeWandText("1", "UPA", data)) kb.WandChar(c);
    kb.Enter();
  };
  burst("0123");
  EXPECT_TRUE(kb.injected.empty()) << "typed inside the hook";
  kb.programInFront = "notepad.exe";
  burst("45");
  EXPECT_TRUE(kb.injected.empty()) << "the second scan went first";
  kb.programInFront = "client.exe";  // the program in front as they are typed counts
  kb.Pump();
  EXPECT_EQ(kb.AppText(), "0123\n45\n");
  // A pause between every two keys of each scan: one key fewer than pauses per scan.
  size_t keys = 0;
  std::vector<uint32_t> pauses;
  for (const KeyEvent& k : kb.injected) {
    if (k.vk == 0) {
      pauses.push_back(k.scan);
    } else {
      ++keys;
    }
  }
  EXPECT_EQ(pauses, std::vector<uint32_t>(keys - 2, 20));
}

// Own keys pass inside a burst however many are on their way: a long scan typed at once,
// capitals with Shift, four keys each, all retrieved after it.
TEST(KeyboardPath, OwnKeysPassButMessageHookStillReactsToTheUsers) {
  FakeKeyboard kb(kKb);
  kb.state.recognizerState = kCapturing;
  const std::string text = "a" + std::string(255, 'Z');
  TypeText(kb.ctx, text.c_str());
  kb.Pump();
  EXPECT_EQ(kb.AppText(), text);
  EXPECT_EQ(kb.state.recognizerState, kCapturing);
  EXPECT_EQ(kb.state.keyBuffer.length, 0);
  EXPECT_TRUE(kb.Key('A', 30, false));
  EXPECT_EQ(kb.state.keyBuffer.length, 1);
  // The library's own system keys (a give-back's Alt+F10, a keys-only AltGr chord) end no
  // burst and begin none: they reach the application.
  const int32_t serial = kb.state.burstSerial;
  std::array<uint32_t, 2> messages{kWmSysKeyDown, kWmSysKeyDown};
  std::array<int32_t, 2> states{};
  for (int i = 0; i < 2; ++i) {
    kb.state.recognizerState = i == 0 ? kCapturing : kIdle;
    MessageStep(kb.ctx, &messages[i], 121, 1u << 29, true, kOwnKeyMark);
    states[i] = kb.state.recognizerState;
  }
  EXPECT_EQ(messages, (std::array<uint32_t, 2>{kWmSysKeyDown, kWmSysKeyDown}));
  EXPECT_EQ(states, (std::array<int32_t, 2>{kCapturing, kIdle}));
  EXPECT_EQ(kb.state.burstSerial, serial);
  kb.state.recognizerState = kCapturing;
  uint32_t message = kWmSysKeyDown;
  MessageStep(kb.ctx, &message, 115, 1u << 29, true, 0);
  EXPECT_EQ(message, kWmNull);
  EXPECT_EQ(kb.state.recognizerState, kIdle);
}

}  // namespace
}  // namespace pellix
