// The offer of a scan to the tray program and the foreground window, and the typing.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "engine/scan_record.h"
#include "hooklib/tests/fake_keyboard.h"
#include "hooklib/tests/wine_layouts.h"

namespace pellix {
namespace {

using testing::FakeKeyboard;
using testing::KeyEvent;

void* const kTray = reinterpret_cast<void*>(0x10);
void* const kFront = reinterpret_cast<void*>(0x20);

ScanRecord Record(const char* serial, const char* type, const char* data) {
  ScanRecord r{};
  std::strcpy(r.serial, serial);
  std::strcpy(r.type, type);
  std::strcpy(r.data, data);
  r.valid = 1;
  return r;
}

class DeliveryTest : public ::testing::Test {
 protected:
  FakeKeyboard kb;
  ScanRecord scan = Record("123", "UPA", "0123");
  void SetUp() override {
    kb.state.messageId = 0xC123;
    kb.state.targetWindow = kTray;
    kb.foreground = kFront;
  }
  void ClaimedBy(void* claimer) {
    kb.receiver = [this, claimer](void* w, uint16_t data, uint16_t, uint16_t) {
      if (w == claimer) kb.RemoveAtomByReceiver(data);
    };
  }
};

TEST_F(DeliveryTest, TrayClaimsNothingBeepedOrTypedForegroundNotAsked) {
  ClaimedBy(kTray);
  DeliverScan(kb.ctx, scan);
  ASSERT_EQ(kb.offers.size(), 1u);
  EXPECT_EQ(kb.offers[0], "16:0123|UPA|123");
  EXPECT_TRUE(kb.beeps.empty());
  EXPECT_TRUE(kb.injected.empty());
  EXPECT_TRUE(kb.atoms.empty());
  EXPECT_TRUE(kb.reports.empty()) << "the tray program knows what it claimed";
}

TEST_F(DeliveryTest, ForegroundWindowMayClaim) {
  ClaimedBy(kFront);
  DeliverScan(kb.ctx, scan);
  EXPECT_EQ(kb.offers.size(), 2u);
  EXPECT_TRUE(kb.injected.empty());
  EXPECT_TRUE(kb.atoms.empty());
  EXPECT_EQ(kb.reports, std::vector<std::string>{"16:2|UPA after 0 keys"});
}

TEST_F(DeliveryTest, NobodyClaimsBeepAndType) {
  kb.state.beepType = 0x30;
  DeliverScan(kb.ctx, scan);
  EXPECT_EQ(kb.offers.size(), 2u);
  EXPECT_EQ(kb.beeps, std::vector<uint32_t>{0x30});
  EXPECT_EQ(kb.AppText(), "0123\n");
  EXPECT_TRUE(kb.atoms.empty());
  EXPECT_EQ(kb.reports, std::vector<std::string>{"16:1|UPA after 0 keys"}) << "before typing";
}

TEST_F(DeliveryTest, DataFilteredToNothingIsOfferedToNobodyTypedAndReported) {
  scan = Record("123", "C39", "");
  DeliverScan(kb.ctx, scan);
  EXPECT_TRUE(kb.offers.empty());
  EXPECT_EQ(kb.AppText(), "\n");
  EXPECT_EQ(kb.reports, std::vector<std::string>{"16:3|C39 after 0 keys"});
  kb.reports.clear();
  kb.state.targetWindow = nullptr;  // no tray window: nobody to tell
  DeliverScan(kb.ctx, scan);
  EXPECT_TRUE(kb.reports.empty());
}

TEST_F(DeliveryTest, NoMessageIdMeansNoAtomsAndImmediateTyping) {
  kb.state.messageId = 0;
  kb.state.beepOn = 0;
  DeliverScan(kb.ctx, scan);
  EXPECT_TRUE(kb.offers.empty());
  EXPECT_TRUE(kb.beeps.empty());
  EXPECT_EQ(kb.AppText(), "0123\n");
}

TEST_F(DeliveryTest, MessageIdThatIsNoRegisteredMessageIsNeverSent) {
  // Another process may have written anything into the record: WM_CLOSE, a number past the
  // message range, one just below the registered ones. None is sent; the scan is typed.
  for (uint32_t garbage : {0x0010u, 0x0111u, 0xBFFFu, 0x10000u, 0xFFFFFFFFu}) {
    FakeKeyboard fresh;
    fresh.state.messageId = garbage;
    fresh.state.targetWindow = kTray;
    fresh.foreground = kFront;
    DeliverScan(fresh.ctx, scan);
    EXPECT_TRUE(fresh.offers.empty()) << std::hex << garbage;
    EXPECT_EQ(fresh.AppText(), "0123\n") << std::hex << garbage;
    EXPECT_TRUE(fresh.atoms.empty());
  }
  // The edges of the registered range are used.
  for (uint32_t registered : {0xC000u, 0xFFFFu}) {
    FakeKeyboard fresh;
    fresh.state.messageId = registered;
    fresh.state.targetWindow = kTray;
    DeliverScan(fresh.ctx, scan);
    EXPECT_EQ(fresh.offers.size(), 1u) << std::hex << registered;
  }
}

TEST_F(DeliveryTest, NoTargetWindowOffersOnlyTheForeground) {
  kb.state.targetWindow = nullptr;
  DeliverScan(kb.ctx, scan);
  ASSERT_EQ(kb.offers.size(), 1u);
  EXPECT_EQ(kb.offers[0].substr(0, 3), "32:");
}

TEST_F(DeliveryTest, DataAtomThatCannotBeMadeCountsAsDeclined) {
  kb.atomsFail = true;
  DeliverScan(kb.ctx, scan);
  EXPECT_TRUE(kb.offers.empty());
  EXPECT_EQ(kb.AppText(), "0123\n");
}

TEST_F(DeliveryTest, InvalidRecordIsNeverDelivered) {
  scan.valid = 0;
  DeliverScan(kb.ctx, scan);
  EXPECT_TRUE(kb.offers.empty());
  EXPECT_TRUE(kb.injected.empty());
  EXPECT_TRUE(kb.beeps.empty());
}

TEST(Typing, CapitalNeedsShiftAroundTheKey) {
  FakeKeyboard kb;
  TypeText(kb.ctx, "Aa");
  const std::vector<KeyEvent> expected = {{16, 0, false, true}, {'A', 0, false, true},
                                          {'A', 0, true, true},  {16, 0, true, true},
                                          {'A', 0, false, true}, {'A', 0, true, true}};
  EXPECT_EQ(kb.injected, expected);
  EXPECT_EQ(kb.state.recognizerState, kIdle);  // restored
}

// 9, 10 and 13 go as the Tab and Return keys themselves: Wine's look-up gives 10 an X
// Linefeed key (0xE4) that rich-edit controls ignore, and may give 9 or 13 a key with Ctrl.
TEST(Typing, TabAndLineBreaksAreTheirOwnKeysWhateverTheLookUpSays) {
  FakeKeyboard kb;
  kb.keyForChar = {{'\n', 0x00E4}, {'\r', 0x020D}, {'\t', 0x0209}};
  TypeText(kb.ctx, "\t\n\r");
  const std::vector<KeyEvent> expected = {{9, 0, false, true},  {9, 0, true, true},
                                          {13, 0, false, true}, {13, 0, true, true},
                                          {13, 0, false, true}, {13, 0, true, true}};
  EXPECT_EQ(kb.injected, expected);
}

// The library's keys in order: "+41" a press of virtual key 0x41, "-41" its release, "+U|" a
// Unicode press of '|'.
std::string KeyLog(const std::vector<KeyEvent>& keys) {
  std::string out;
  char token[8];
  for (const KeyEvent& k : keys) {
    if (k.vk == 231) {
      std::snprintf(token, sizeof token, "%cU%c ", k.up ? '-' : '+', static_cast<char>(k.scan));
    } else {
      std::snprintf(token, sizeof token, "%c%02X ", k.up ? '-' : '+', k.vk);
    }
    out += token;
  }
  if (!out.empty()) out.pop_back();
  return out;
}

// Each character by its route, under the layouts' answers as Wine gives them (and one with
// Windows' dead keys, which Wine reports as no key): key by key with no modifier or Shift;
// AltGr, dead and keyless characters as Unicode on NT; on 9x AltGr held as Ctrl and Alt, a
// space after a dead accent, and no key skipped.
TEST(Typing, EachCharacterByItsRouteOnEveryLayout) {
  struct Case {
    const char* layout;  // a row of kWineLayouts, or "dead" (Swiss German's keys on Windows)
    bool nt;
    const char* text;
    const char* keys;
  } cases[] = {
      {"us", true, "aA|~(", "+41 -41 +10 +41 -41 -10 +10 +DC -DC -10 +10 +C0 -C0 -10 +U( -U("},
      {"de", true, "a|\\~@^`{}#",
       "+41 -41 +U| -U| +U\\ -U\\ +U~ -U~ +U@ -U@ +U^ -U^ +U` -U` +U{ -U{ +U} -U} +DC -DC"},
      {"fr", true, "A^(", "+10 +41 -41 -10 +U^ -U^ +35 -35"},
      {"ru", true, "aA@|", "+Ua -Ua +UA -UA +U@ -U@ +10 +85 -85 -10"},
      {"de", false, "a|@^~",
       "+41 -41 +11 +12 +E2 -E2 -12 -11 +11 +12 +51 -51 -12 -11 +11 +12 +DD -DD -12 -11"},
      {"ru", false, "a\\", "+DC -DC"},
      {"dead", false, "^`!", "+DD -DD +20 -20 +10 +DD -DD -10 +20 -20 +10 +C0 -C0 -10"},
      {"dead", true, "^`!", "+U^ -U^ +U` -U` +10 +C0 -C0 -10"},
  };
  for (const Case& c : cases) {
    FakeKeyboard kb;
    kb.nt = c.nt;
    if (const auto* layout = testing::FindWineLayout(c.layout)) {
      for (int i = 0; i < testing::kLayoutCharCount; ++i)
        kb.keyForChar[testing::kLayoutChars[i]] = layout->keys[i];
    } else {
      kb.keyForChar = {{'^', 0x00DD}, {'`', 0x01DD}, {'!', 0x01C0}};
      kb.deadKeys = {0xDD, 0xC0};
    }
    TypeText(kb.ctx, c.text);
    EXPECT_EQ(KeyLog(kb.injected), c.keys) << c.layout << (c.nt ? " NT " : " 9x ") << c.text;
  }
}

// The typing leaves the recognizer's state alone: a burst given back while it types (the
// watcher's ResetCapture) stays given back, and the hooks pass keys only while it types.
TEST(Typing, GiveBackDuringTypingIsNotUndone) {
  FakeKeyboard kb;
  kb.state.recognizerState = kCapturing;
  int typingSeen = 0;
  kb.onKeybdEvent = [&] {
    typingSeen += Typing(kb.state);
    ResetCapture(kb.state);
  };
  TypeText(kb.ctx, "xy");
  EXPECT_EQ(typingSeen, 4);
  EXPECT_EQ(kb.state.recognizerState, kIdle);
  EXPECT_FALSE(Typing(kb.state));
}

}  // namespace
}  // namespace pellix
