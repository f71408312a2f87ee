// The low-level path: every keystroke goes through LowLevelStep, and every key the library
// types comes straight back through it, marked injected.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "engine/encoder.h"
#include "hooklib/tests/fake_keyboard.h"

namespace pellix {
namespace {

using testing::FakeKeyboard;
using testing::KeyEvent;

const std::vector<KeyEvent> kReplayedPrefix = {
    {164, 56, false, true}, {121, 68, false, true}, {121, 68, true, true}, {164, 56, true, true}};

std::vector<KeyEvent> First(const std::vector<KeyEvent>& v, size_t n) {
  return std::vector<KeyEvent>(v.begin(), v.begin() + std::min(n, v.size()));
}

TEST(LowLevelPath, BurstIsSwallowedDecodedAndTyped) {
  FakeKeyboard kb;
  const std::string text = EncodeWandText("00000000123456", "UPA", "012345678905");
  EXPECT_TRUE(kb.LowLevel(164, 56, 0x20));
  EXPECT_TRUE(kb.LowLevel(121, 68, 0x20));
  EXPECT_TRUE(kb.LowLevel(121, 68, 0xA0));
  EXPECT_TRUE(kb.LowLevel(164, 56, 0x80));
  EXPECT_EQ(kb.starts, 1);
  EXPECT_EQ(kb.state.recognizerState, kCapturing);
  for (char c : text) kb.WandChar(c);
  kb.Enter();
  kb.Pump();
  EXPECT_EQ(kb.beeps.size(), 1u);
  EXPECT_EQ(kb.AppText(), "012345678905\n");
  for (const KeyEvent& k : kb.app) EXPECT_TRUE(k.injected);  // nothing of the burst leaked
  EXPECT_EQ(kb.state.recognizerState, kIdle);
  EXPECT_EQ(kb.state.keyBuffer.length, 0);
}

// KV_CC_STOP matters only to the watcher's clock, which runs from KV_CC_START: every burst
// that began stops it once, however it ends, and nothing else enters the kernel for it.
TEST(LowLevelPath, EveryBurstThatBeganStopsTheClockAndNothingElseDoes) {
  const std::string text = EncodeWandText("1", "UPA", "0123");
  FakeKeyboard kb;
  for (int i = 0; i < 50; ++i) {  // ordinary typing, presses and releases
    EXPECT_FALSE(kb.LowLevel('A' + i % 26, 30, i % 2 ? 0x80 : 0));
  }
  EXPECT_EQ(kb.stops, 0);
  // Alt is held as the prefix's first key; F5 passes, after the Alt given back.
  EXPECT_TRUE(kb.LowLevel(164, 56, 0x20));
  EXPECT_FALSE(kb.LowLevel(116, 63, 0));
  ASSERT_GE(kb.app.size(), 2u);
  EXPECT_EQ(kb.app[kb.app.size() - 2], (KeyEvent{164, 56, false, true}));
  EXPECT_EQ(kb.app.back(), (KeyEvent{116, 63, false, false}));
  EXPECT_EQ(kb.starts, 0);
  EXPECT_EQ(kb.stops, 0) << "a prefix matched in part started no clock";

  kb.WandPrefix();  // broken by an ordinary key right after the prefix
  EXPECT_FALSE(kb.LowLevel(116, 63, 0));
  EXPECT_EQ(kb.starts, 1);
  EXPECT_EQ(kb.stops, 1);

  kb.WandPrefix();  // ended
  for (char c : text) kb.WandChar(c);
  kb.Enter();
  kb.Pump();
  EXPECT_EQ(kb.starts, 2);
  EXPECT_EQ(kb.stops, 2);

  kb.WandPrefix();  // abandoned by the watcher's timeout, on the hook's thread
  kb.WandChar('.');
  EndStalledBurst(kb.ctx, kb.state.burstSerial - 1);
  EXPECT_EQ(kb.state.recognizerState, kCapturing) << "a request for an earlier burst ended this";
  EndStalledBurst(kb.ctx, kb.state.burstSerial);
  EXPECT_EQ(kb.starts, 3);
  EXPECT_EQ(kb.stops, 3);
  EXPECT_EQ(kb.state.recognizerState, kIdle);
  EXPECT_FALSE(kb.LowLevel('Q', 16, 0));
  EXPECT_EQ(kb.stops, 3);
}

TEST(LowLevelPath, LookalikePrefixesDoNotMatch) {
  struct Case {
    const char* name;
    uint32_t vk, scan, flags;
  } cases[] = {
      {"injected", 164, 56, 0x30}, {"right Alt", 165, 56, 0x21}, {"no Alt flag", 164, 56, 0}};
  for (const Case& c : cases) {
    FakeKeyboard kb;
    EXPECT_FALSE(kb.LowLevel(c.vk, c.scan, c.flags)) << c.name;
    EXPECT_EQ(kb.state.prefixPosition, 0) << c.name;
    EXPECT_TRUE(kb.injected.empty()) << c.name;
  }
}

TEST(LowLevelPath, UsersAltF10ThenFunctionKeyReplaysPrefix) {
  FakeKeyboard kb;
  kb.WandPrefix();
  EXPECT_FALSE(kb.LowLevel(116, 63, 0));  // F5 fails the class test
  EXPECT_EQ(kb.injected, kReplayedPrefix);
  ASSERT_EQ(kb.app.size(), 5u);
  EXPECT_EQ(kb.app[4], (KeyEvent{116, 63, false, false}));
  EXPECT_EQ(kb.state.recognizerState, kIdle);
}

TEST(LowLevelPath, LoneAltPressIsHeldUntilTheNextKey) {
  FakeKeyboard kb;
  EXPECT_TRUE(kb.LowLevel(164, 56, 0x20));
  EXPECT_EQ(kb.starts, 0);  // no timeout runs for a partial prefix
  EXPECT_FALSE(kb.LowLevel(164, 56, 0x80));
  EXPECT_EQ(kb.injected, First(kReplayedPrefix, 1));
  EXPECT_EQ(kb.app.back(), (KeyEvent{164, 56, true, false}));
}

TEST(LowLevelPath, KeysOutOfTheWandsRhythmAbandonTheBurst) {
  struct Case {
    const char* name;
    std::vector<std::array<uint32_t, 3>> keys;  // vk, scan, flags after the prefix and ".a"
    bool lastPassed;
  } cases[] = {
      {"right Shift", {{161, 54, 0}}, true},
      {"Shift then digit", {{160, 42, 0}, {'1', 2, 0}}, true},
      {"Enter release without press", {{13, 28, 0x80}}, true},
      {"repeated Enter press", {{13, 28, 0}, {13, 28, 0}}, true},
  };
  for (const Case& c : cases) {
    FakeKeyboard kb;
    kb.WandPrefix();
    kb.WandChar('.');
    kb.WandChar('a');
    bool swallowed = true;
    for (const auto& k : c.keys) swallowed = kb.LowLevel(k[0], k[1], k[2]);
    kb.Pump();
    EXPECT_EQ(!swallowed, c.lastPassed) << c.name;
    EXPECT_EQ(First(kb.injected, 4), kReplayedPrefix) << c.name;
    EXPECT_EQ(kb.state.recognizerState, kIdle) << c.name;
    EXPECT_EQ(kb.state.keyBuffer.length, 0) << c.name;
  }
}

TEST(LowLevelPath, AbandonedDotAInjectsPrefixThenText) {
  FakeKeyboard kb;
  kb.WandPrefix();
  kb.WandChar('.');
  kb.WandChar('a');
  AbandonBurst(kb.ctx);
  // Each with its key's scan code, as a keyboard sends it.
  std::vector<KeyEvent> expected = kReplayedPrefix;
  for (auto [vk, scan] : {std::pair{190u, 52u}, std::pair{65u, 30u}}) {
    expected.push_back({vk, scan, false, true});
    expected.push_back({vk, scan, true, true});
  }
  EXPECT_EQ(kb.injected, expected);
  EXPECT_EQ(kb.AppText(), ".a");
}

// A key between the Enter's press and release breaks the burst: given back with its Enter,
// then the key.
TEST(LowLevelPath, KeyBeforeTheEntersReleaseGivesBackTheEnterToo) {
  FakeKeyboard kb;
  kb.WandPrefix();
  kb.WandChar('.');
  kb.WandChar('a');
  kb.Enter(true, false);
  EXPECT_FALSE(kb.Key('X', 45, false));
  kb.Key('X', 45, true);
  kb.Enter(false, true);
  EXPECT_EQ(kb.AppText(), ".a\nx");
}

// Keys another program injects while the hook's thread gives a burst back are held and
// then typed again as they came: a Unicode key with its whole 16-bit character, each with its
// own tag; coming back through the hook they pass at once.
TEST(LowLevelPath, OtherProgramsKeysHeldDuringAGiveBackGoOnAsTheyCame) {
  FakeKeyboard kb;
  kb.WandPrefix();
  kb.WandChar('.');
  kb.WandChar('a');
  int typed = 0;
  kb.onKeybdEvent = [&] {
    if (++typed != 3) return;
    kb.LowLevel(kVkPacket, 0x416, kLowLevelInjected, 0x1234);
    kb.LowLevel(kVkPacket, 0x416, kLowLevelInjected | kLowLevelUp, 0x1234);
    kb.LowLevel('Q', 16, kLowLevelInjected, 0x77);
    kb.LowLevel('Q', 16, kLowLevelInjected | kLowLevelUp, 0);
  };
  // F5 breaks the burst: typed again after the give-back, before the keys held meanwhile.
  EXPECT_TRUE(kb.Key(116, 63, false));
  kb.onKeybdEvent = nullptr;
  EXPECT_EQ(kb.app, (std::vector<KeyEvent>{{164, 56, false, true},
                                           {121, 68, false, true},
                                           {121, 68, true, true},
                                           {164, 56, true, true},
                                           {190, 52, false, true},
                                           {190, 52, true, true},
                                           {'A', 30, false, true},
                                           {'A', 30, true, true},
                                           {116, 63, false, true},
                                           {kVkPacket, 0x416, false, true},
                                           {kVkPacket, 0x416, true, true},
                                           {'Q', 16, false, true},
                                           {'Q', 16, true, true}}));
  EXPECT_EQ(std::vector<uintptr_t>(kb.appExtra.begin() + 8, kb.appExtra.end()),
            (std::vector<uintptr_t>{kOwnKeyMark, 0x1234, 0x1234, 0x77, 0}));
  EXPECT_EQ(kb.injected.size(), kb.app.size()) << "keys typed again more than once";
  EXPECT_EQ(kb.local.replayCount, 0);
}

// The output of a process in the order its bursts ended: a burst given back while the scan
// before it waits for its delivery (an offer may wait 3 s) comes after that scan's text, and
// the key that broke it after the give-back; then the next scan.
TEST(LowLevelPath, GiveBackWaitsForTheScansBeforeIt) {
  FakeKeyboard kb;
  auto burst = [&](const std::string& text) {
    kb.WandPrefix();
    for (char c : text) kb.WandChar(c);
  };
  burst(EncodeWandText("1", "UPA", "111"));
  kb.Enter();
  burst(".b");
  kb.Key(188, 51, false);  // ',' breaks the burst
  kb.Key(188, 51, true);
  burst(EncodeWandText("1", "UPA", "222"));
  kb.Enter();
  EXPECT_EQ(kb.AppText(), "") << "nothing before the deliveries run";
  kb.Pump();
  EXPECT_EQ(kb.AppText(), "111\n.b,222\n");
  EXPECT_EQ(kb.local.deliveriesPending, 0);
}

// Given back as typed: '+' and capitals with their Shift, on both paths.
TEST(LowLevelPath, WordThatDecodesInvalidIsTypedBackWhole) {
  for (const auto path : {FakeKeyboard::Path::kLowLevel, FakeKeyboard::Path::kKeyboard}) {
    FakeKeyboard kb(path);
    kb.WandPrefix();
    kb.app.clear();
    for (char c : std::string("he+Llo+1")) kb.WandChar(c);
    // Invalid at its Enter on this path; broken by a function key on the other, which drops
    // an invalid burst.
    if (path == FakeKeyboard::Path::kLowLevel) {
      kb.Enter();
    } else {
      kb.Key(112, 59, false);
    }
    kb.Pump();
    if (path == FakeKeyboard::Path::kLowLevel) {
      EXPECT_EQ(First(kb.injected, 4), kReplayedPrefix);
    }
    EXPECT_EQ(kb.AppText(), "he+Llo+1");
    EXPECT_TRUE(kb.beeps.empty());
  }
}

TEST(LowLevelPath, SecondShorterBurstDecodesOnlyItsOwnCharacters) {
  FakeKeyboard kb;
  kb.WandBurst(EncodeWandText("1111111111111111", "IBN", "9780201633610"));
  kb.app.clear();
  kb.WandBurst(EncodeWandText("1", "UPA", "012"));
  EXPECT_EQ(kb.AppText(), "012\n");
}

// The library's own keys (its mark) pass untouched, the prefix among them; every other key,
// another program's injected keys too, is recognised as ever, so a burst that runs while the
// library types keeps every key.
TEST(LowLevelPath, OwnKeysPassAndNoOthers) {
  FakeKeyboard kb;
  EXPECT_FALSE(kb.LowLevel(164, 56, kLowLevelAltDown, kOwnKeyMark)) << "own Alt began a prefix";
  kb.WandPrefix();
  EXPECT_FALSE(kb.LowLevel(190, 52, kLowLevelInjected, kOwnKeyMark));
  EXPECT_FALSE(kb.LowLevel(190, 52, kLowLevelInjected | kLowLevelUp, kOwnKeyMark));
  EXPECT_EQ(kb.state.keyBuffer.length, 0);
  kb.WandChar('x');
  EXPECT_EQ(kb.state.recognizerState, kCapturing);
  EXPECT_TRUE(kb.LowLevel('Y', 21, kLowLevelInjected, kOwnKeyMark + 1));
  EXPECT_EQ(kb.state.keyBuffer.length, 2);
  EXPECT_EQ(kb.app, (std::vector<KeyEvent>{{164, 56, false, false}, {190, 52, false, true},
                                           {190, 52, true, true}}));
}

// Without a delivery thread the scan is beeped and typed from the hook's thread, unoffered
// and untold: that thread may wait on no window.
TEST(LowLevelPath, DeliveryThreadThatCannotStartTypesTheScan) {
  FakeKeyboard kb;
  kb.state.messageId = 0xC123;
  kb.state.targetWindow = reinterpret_cast<void*>(16);
  kb.threadsStart = false;
  kb.WandBurst(EncodeWandText("1", "UPA", "012345678905"));
  EXPECT_EQ(kb.AppText(), "012345678905\n");
  EXPECT_EQ(kb.beeps, std::vector<uint32_t>{0});
  EXPECT_TRUE(kb.offers.empty());
  EXPECT_TRUE(kb.reports.empty());
  EXPECT_EQ(kb.state.recognizerState, kIdle);
}

TEST(LowLevelPath, GarbageInTheSharedRecordStaysInBounds) {
  const int32_t states[] = {-5, 3, 8, 1 << 30};
  const int32_t positions[] = {-1, 4, 9, 1 << 30};
  const int32_t lengths[] = {-7, 0, 500, 501, 1 << 30};
  for (int32_t st : states)
    for (int32_t pos : positions)
      for (int32_t len : lengths) {
        FakeKeyboard kb;
        kb.state.recognizerState = st;
        kb.state.prefixPosition = pos;
        kb.state.keyBuffer.length = len;
        kb.state.outputStyle = 77;
        kb.LowLevel('A', 30, 0);
        kb.LowLevel(13, 28, 0);
        kb.LowLevel(13, 28, 0x80);
        kb.Pump();
        EXPECT_GE(kb.state.recognizerState, 0);
        EXPECT_LT(kb.state.recognizerState, kStateCount);
        if (kb.state.recognizerState == kIdle) {
          EXPECT_EQ(kb.state.keyBuffer.length, 0);
        }
        EXPECT_LE(kb.injected.size(), 4u + 2u * 4u * kKeyBufferSize);
      }
}

}  // namespace
}  // namespace pellix
