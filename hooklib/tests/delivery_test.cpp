// The offer of a scan to the tray program and the foreground window, and the typing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <vector>

#include "engine/scan_record.h"
#include "engine/transform_table.h"
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

TEST_F(DeliveryTest, TheTrayProgramHearsEveryScanOnceAndWhatBecameOfIt) {
  struct Case {
    const char* name;
    uintptr_t trayAnswer;
    void* claimer;
    const char* data;
    std::vector<std::string> offers;   // KV_CC_MSG, window:data|type|serial
    std::vector<std::string> reports;  // the notes, window:kind/burst/outcome|type|data
    const char* typed;
  } cases[] = {
      {"the tray program takes it", kTrayTookScan, nullptr, "0123", {},
       {"16:1/0/0|UPA|0123 after 0 keys"}, ""},
      {"the foreground window takes it", kTrayLeftScan, kFront, "0123", {"32:0123|UPA|123"},
       {"16:1/0/0|UPA|0123 after 0 keys", "16:2/0/2|UPA|0123 after 0 keys"}, ""},
      {"nobody takes it: told before typing", kTrayLeftScan, nullptr, "0123",
       {"32:0123|UPA|123"},
       {"16:1/0/0|UPA|0123 after 0 keys", "16:2/0/1|UPA|0123 after 0 keys"}, "0123\n"},
      {"filtered to nothing: no atom for anyone", kTrayLeftScan, nullptr, "", {},
       {"16:1/0/0|UPA| after 0 keys", "16:2/0/3|UPA| after 0 keys"}, "\n"},
      // Integer atoms cannot be claimed, #0 and #49152 cannot be made: no KV_CC_MSG. (The
      // fake's US keys have no '#': it goes as Unicode input.)
      {"#5", kTrayLeftScan, kFront, "#5", {},
       {"16:1/0/0|UPA|#5 after 0 keys", "16:2/0/1|UPA|#5 after 0 keys"}, "#5\n"},
      {"#0", kTrayTookScan, nullptr, "#0", {}, {"16:1/0/0|UPA|#0 after 0 keys"}, ""},
      {"#49152", kTrayLeftScan, nullptr, "#49152", {},
       {"16:1/0/0|UPA|#49152 after 0 keys", "16:2/0/1|UPA|#49152 after 0 keys"}, "#49152\n"},
      {"#12a is a name", kTrayLeftScan, kFront, "#12a", {"32:#12a|UPA|123"},
       {"16:1/0/0|UPA|#12a after 0 keys", "16:2/0/2|UPA|#12a after 0 keys"}, ""},
      // A window that knows only KV_CC_MSG (its answer to the note is 0) is offered it and
      // told nothing more; one that did not answer at all is not asked again.
      {"a KV_CC_MSG window claims", 0, kTray, "0123", {"16:0123|UPA|123"},
       {"16:1/0/0|UPA|0123 after 0 keys"}, ""},
      {"a KV_CC_MSG window declines", 0, nullptr, "0123", {"16:0123|UPA|123", "32:0123|UPA|123"},
       {"16:1/0/0|UPA|0123 after 0 keys"}, "0123\n"},
      {"the tray program hangs", kTrayUnreachable, nullptr, "0123", {"32:0123|UPA|123"},
       {"16:1/0/0|UPA|0123 after 0 keys"}, "0123\n"},
      // Backspaces, Escape and Ctrl+V in a label would act as keys: left out of the typing,
      // and the tray program told so; the terminator (a control byte too) still goes out.
      {"control bytes", kTrayLeftScan, nullptr, "keep\b\b\x1b\x16\x7f" "B",
       {"32:keep\b\b\x1b\x16\x7f" "B|UPA|123"},
       {"16:1/0/0|UPA|keep\b\b\x1b\x16\x7f" "B after 0 keys",
        "16:2/0/4|UPA|keep\b\b\x1b\x16\x7f" "B after 0 keys"},
       "keepB\n"},
  };
  for (const Case& c : cases) {
    FakeKeyboard fresh;
    fresh.state.messageId = 0xC123;
    fresh.state.targetWindow = kTray;
    fresh.foreground = kFront;
    fresh.trayAnswer = [&c](void*, const TrayNote&) { return c.trayAnswer; };
    fresh.receiver = [&fresh, &c](void* w, uint16_t data, uint16_t, uint16_t) {
      if (w == c.claimer) fresh.RemoveAtomByReceiver(data);
    };
    const ScanRecord r = Record("123", "UPA", c.data);
    DeliverScan(fresh.ctx, r);
    EXPECT_EQ(fresh.offers, c.offers) << c.name;
    EXPECT_EQ(fresh.reports, c.reports) << c.name;
    EXPECT_EQ(fresh.AppText(), c.typed) << c.name;
    EXPECT_TRUE(fresh.atoms.empty()) << c.name;
  }
}

TEST_F(DeliveryTest, TheTrayProgramsWindowInFrontIsNotOfferedTheScanAgain) {
  kb.foreground = kTray;
  DeliverScan(kb.ctx, scan);
  DeliverScan(kb.ctx, scan);
  EXPECT_TRUE(kb.offers.empty());
  EXPECT_EQ(kb.reports, (std::vector<std::string>{
                            "16:1/0/0|UPA|0123 after 0 keys", "16:2/0/1|UPA|0123 after 0 keys",
                            "16:1/1/0|UPA|0123 after 10 keys", "16:2/1/1|UPA|0123 after 10 keys"}))
      << "each scan its own burst";
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
    EXPECT_TRUE(fresh.reports.empty()) << std::hex << garbage;
    EXPECT_EQ(fresh.AppText(), "0123\n") << std::hex << garbage;
    EXPECT_TRUE(fresh.atoms.empty());
  }
  // The edges of the registered range are used.
  for (uint32_t registered : {0xC000u, 0xFFFFu}) {
    FakeKeyboard fresh;
    fresh.state.messageId = registered;
    fresh.state.targetWindow = kTray;
    DeliverScan(fresh.ctx, scan);
    EXPECT_EQ(fresh.reports.size(), 2u) << std::hex << registered;
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

AppRule Row(const char* program, uint32_t pace, uint32_t method, int32_t profile) {
  AppRule r{};
  std::strncpy(r.program, program, sizeof r.program);
  r.paceMs = pace;
  r.method = method;
  r.profile = profile;
  return r;
}

// Each scan takes the row of the program in front: its profile's filter, its pace between
// keys, its method; the tray program hears which program it was. Whatever another process
// wrote into the table, every field is read in range.
TEST(ProgramRows, EachScanTakesItsProgramsRowWhateverTheTableHolds) {
  struct Case {
    const char* program;
    int32_t count;     // rows the table says it has
    const char* typed;
    uint32_t pace;     // between every two keys
    bool unicode;      // '|' (no plain key on de) as Unicode input
  } cases[] = {
      {"", 3, "01|\n", 0, true},                  // unknown: every other program
      {"notepad.exe", 3, "01|\n", 0, true},       // not listed
      {"MSTSC.EXE", 3, "012\n", 20, false},       // its own profile, pace and keys only
      {"Excel.exe", 3, "01|\n", 0, true},         // the current profile by its row
      {"junk.exe", 3, "01|\n", kMaxPaceMs, true},  // garbage fields read in range
      {"unterminated", 3, "01|\n", 0, true},      // a name with no end names nothing
      {"MSTSC.EXE", -5, "01|\n", 0, true},        // no rows
      {"MSTSC.EXE", 1000, "012\n", 20, false},    // at most the table's rows
  };
  for (const Case& c : cases) {
    FakeKeyboard kb;
    kb.state.messageId = 0xC123;
    kb.state.targetWindow = kTray;
    kb.state.terminator = '\n';
    kb.programInFront = c.program;
    const auto* de = testing::FindWineLayout("de");
    for (int i = 0; i < testing::kLayoutCharCount; ++i)
      kb.keyForChar[testing::kLayoutChars[i]] = de->keys[i];
    AddOrUpdate(kb.state.transforms, "UPA", "++-+", 0);
    AppRules& rules = kb.state.apps;
    rules.everyOther = Row("ignored.exe", 0, kMethodKeysAndUnicode, 3);  // always current
    rules.rules[0] = Row("mstsc.exe", 20, kMethodKeysOnly, 1);
    rules.rules[1] = Row("excel.exe", 0, kMethodKeysAndUnicode, kCurrentProfile);
    rules.rules[2] = Row("junk.exe", 99999, 7, 99);
    std::memset(rules.rules[3].program, 'u', sizeof rules.rules[3].program);
    rules.count = c.count;
    AddOrUpdate(rules.profiles[1], "UPA", "+++", 0);
    AddOrUpdate(rules.profiles[3], "UPA", "+", 0);
    DeliverScan(kb.ctx, Record("1", "UPA", "012|"));
    // The keys and pauses alternate when paced: a pause between every two keys, none after
    // the last. A Unicode character's press and release go out together.
    std::vector<KeyEvent> keys;
    size_t at = 0;
    for (const KeyEvent& k : kb.injected) {
      if (k.vk == 231 && k.up) {
        keys.push_back(k);
        continue;
      }
      EXPECT_EQ(k.vk == 0, c.pace != 0 && at++ % 2 == 1) << c.program << " key " << at;
      if (k.vk == 0) {
        EXPECT_EQ(k.scan, c.pace) << c.program;
      } else {
        keys.push_back(k);
      }
    }
    EXPECT_EQ(kb.AppText(), c.typed) << c.program;
    EXPECT_EQ(std::count_if(keys.begin(), keys.end(), [](const KeyEvent& k) { return k.vk == 231; }),
              c.unicode ? 2 : 0) << c.program;
    EXPECT_EQ(kb.notePrograms, (std::vector<std::string>{c.program, c.program})) << c.program;
  }
}

// A refused Unicode key stops the typing; the tray program, told "typed" before the keys,
// hears that they were refused.
TEST(ProgramRows, RefusedInputStopsTheTypingAndTheTrayProgramHearsIt) {
  FakeKeyboard kb;
  kb.state.messageId = 0xC123;
  kb.state.targetWindow = kTray;
  kb.refuseUnicode = true;
  DeliverScan(kb.ctx, Record("1", "128", "ab(cd"));
  EXPECT_EQ(kb.AppText(), "ab");
  EXPECT_EQ(kb.reports, (std::vector<std::string>{"16:1/0/0|128|ab(cd after 0 keys",
                                                  "16:2/0/1|128|ab(cd after 0 keys",
                                                  "16:2/0/5|128|ab(cd after 4 keys"}));
}

TEST(Typing, CapitalNeedsShiftAroundTheKey) {
  FakeKeyboard kb;
  TypeText(kb.ctx, "Aa");
  // Every key with its scan code, as a keyboard sends it: programs that forward scan codes
  // (remote desktops, virtual machines) get nothing from a key with none.
  const std::vector<KeyEvent> expected = {{16, 42, false, true}, {'A', 30, false, true},
                                          {'A', 30, true, true}, {16, 42, true, true},
                                          {'A', 30, false, true}, {'A', 30, true, true}};
  EXPECT_EQ(kb.injected, expected);
  EXPECT_EQ(kb.state.recognizerState, kIdle);  // restored
}

// A scan comes out as composed whatever the lock and the modifiers the user holds: each key
// the lock changes goes with the other Shift (letters, and the keys a layout's lock shifts
// too), the lock stays as it is; the user's Shift, Ctrl and Alt are let go around the scan's
// keys and are down again after them, unless the user released them meanwhile (while the
// library types on the low-level path, later in the queue on the keyboard-hook path); one
// the user presses while a scan is typed is let go before the scan's next character. A burst
// given back comes out as the keyboard would have typed it, the lock's case. The user types
// x before the scans and y after them.
TEST(Typing, ScanIsExactWhateverTheLockAndTheKeysTheUserHolds) {
  constexpr auto kLl = FakeKeyboard::Path::kLowLevel;
  constexpr auto kKb = FakeKeyboard::Path::kKeyboard;
  struct Held {
    uint32_t vk, scan;
    bool extended;
  };
  struct Case {
    const char* what;
    FakeKeyboard::Path path;
    bool caps;
    std::set<uint8_t> capsShifts;
    std::vector<Held> held;
    int releasedAt;  // the user releases the held keys at this key the library types (0: not)
    const char* text;
    uint32_t downAfter;
    bool pressedThen = false;  // the user presses the keys at releasedAt instead, held after
  } cases[] = {
      {"lock", kLl, true, {}, {}, 0, "XIBN.057114716X\n128.AbcXyz-Qr7+1\nY.A", 0},
      {"lock shifting digits", kLl, true, {'1', '7'}, {}, 0,
       "XIBN.057114716X\n128.AbcXyz-Qr7+1\nY.A", 0},
      {"-98 lock", kKb, true, {}, {}, 0, "XIBN.057114716X\n128.AbcXyz-Qr7+1\nY", 0},
      {"right Shift", kLl, false, {}, {{161, 54, false}}, 0,
       "XIBN.057114716X\n128.AbcXyz-Qr7+1\nY", kRightShiftBit},
      {"-98 right Shift", kKb, false, {}, {{161, 54, false}}, 0,
       "XIBN.057114716X\n128.AbcXyz-Qr7+1\nY", kRightShiftBit},
      {"Shift released while typed", kLl, false, {}, {{160, 42, false}}, 9,
       "XIBN.057114716X\n128.AbcXyz-Qr7+1\ny", 0},
      {"-98 Shift released while typed", kKb, false, {}, {{16, 42, false}}, 9,
       "XIBN.057114716X\n128.AbcXyz-Qr7+1\ny", 0},
      {"lock and Shift", kLl, true, {}, {{160, 42, false}}, 0,
       "xIBN.057114716X\n128.AbcXyz-Qr7+1\ny", kLeftShiftBit},
      {"Ctrl and right Alt", kLl, false, {}, {{162, 29, false}, {165, 56, true}}, 0,
       "^xIBN.057114716X\n128.AbcXyz-Qr7+1\n^y", kLeftCtrlBit | kRightAltBit},
      {"-98 right Ctrl released while typed", kKb, false, {}, {{17, 29, true}}, 30,
       "^xIBN.057114716X\n128.AbcXyz-Qr7+1\ny", 0},
      {"right Shift pressed while typed", kLl, false, {}, {{161, 54, false}}, 9,
       "xIBN.057114716X\n128.AbcXyz-Qr7+1\nY", kRightShiftBit, true},
  };
  for (const Case& c : cases) {
    FakeKeyboard kb(c.path);
    kb.capsLock = c.caps;
    kb.capsShifts = c.capsShifts;
    kb.state.outputStyle = 1;
    for (const Held& h : c.pressedThen ? std::vector<Held>{} : c.held)
      kb.path == kLl ? kb.LowLevel(h.vk, h.scan, h.extended ? kLowLevelExtended : 0)
                     : kb.KeyboardPath(h.vk, h.scan, false, false, false, h.extended);
    kb.WandChar('x');
    int typed = 0;
    kb.onKeybdEvent = [&] {
      if (++typed != c.releasedAt) return;
      for (const Held& h : c.held) kb.KeyDuringTyping(h.vk, h.scan, !c.pressedThen, h.extended);
    };
    DeliverScan(kb.ctx, Record("1", "IBN", "057114716X"));
    kb.Pump();
    DeliverScan(kb.ctx, Record("1", "128", "AbcXyz-Qr7+1"));
    kb.Pump();
    kb.onKeybdEvent = nullptr;
    kb.WandChar('y');
    if (kb.path == kLl && c.held.empty()) {  // given back with the lock, as typed
      kb.WandPrefix();
      kb.WandChar('.');
      kb.WandChar('a');
      AbandonBurst(kb.ctx);
    }
    EXPECT_EQ(kb.AppText(), c.text) << c.what;
    EXPECT_EQ(kb.capsLock, c.caps) << c.what;
    EXPECT_EQ(kb.AppModifiers(), c.downAfter) << c.what;
  }
}

// 9, 10 and 13 go as the Tab and Return keys themselves: Wine's look-up gives 10 an X
// Linefeed key (0xE4) that rich-edit controls ignore, and may give 9 or 13 a key with Ctrl.
TEST(Typing, TabAndLineBreaksAreTheirOwnKeysWhateverTheLookUpSays) {
  FakeKeyboard kb;
  kb.keyForChar = {{'\n', 0x00E4}, {'\r', 0x020D}, {'\t', 0x0209}};
  TypeText(kb.ctx, "\t\n\r");
  const std::vector<KeyEvent> expected = {{9, 15, false, true},  {9, 15, true, true},
                                          {13, 28, false, true}, {13, 28, true, true},
                                          {13, 28, false, true}, {13, 28, true, true}};
  EXPECT_EQ(kb.injected, expected);
}

// The library's keys in order: "+41" a press of virtual key 0x41, "-41" its release, "+U|" a
// Unicode press of '|', "+U82A0" of a two-byte character, "~20" a pause of 20 ms.
std::string KeyLog(const std::vector<KeyEvent>& keys) {
  std::string out;
  char token[12];
  for (const KeyEvent& k : keys) {
    if (k.vk == 0) {
      std::snprintf(token, sizeof token, "~%u ", k.scan);
    } else if (k.vk == 231 && k.scan > 0x7f) {
      std::snprintf(token, sizeof token, "%cU%04X ", k.up ? '-' : '+', k.scan);
    } else if (k.vk == 231) {
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
// AltGr, dead and keyless characters as Unicode on NT; on 9x, and for a program typed to
// with keys only, AltGr held as Ctrl and Alt, a space after a dead accent, and no key skipped.
// A two-byte character goes whole as Unicode input; a refused one stops the typing.
constexpr int kKeysOnly = 1, kDoubleByte = 2, kRefused = 4;
TEST(Typing, EachCharacterByItsRouteOnEveryLayout) {
  struct Case {
    const char* layout;  // a row of kWineLayouts, or "dead" (Swiss German's keys on Windows)
    bool nt;
    const char* text;
    const char* keys;
    int how = 0;
  } cases[] = {
      {"de", true, "a|@", "+41 -41 +11 +12 +E2 -E2 -12 -11 +11 +12 +51 -51 -12 -11", kKeysOnly},
      {"dead", true, "^`!", "+DD -DD +20 -20 +10 +DD -DD -10 +20 -20 +10 +C0 -C0 -10", kKeysOnly},
      {"us", true, "a\x82\xA0" "b\x82", "+41 -41 +U82A0 -U82A0 +42 -42", kDoubleByte},
      {"us", false, "a\x82\xA0" "b", "+41 -41 +42 -42", kDoubleByte},
      {"us", true, "a\x82\xA0" "b", "+41 -41 +42 -42", kDoubleByte | kKeysOnly},
      {"de", true, "a|b", "+41 -41", kRefused},
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
    kb.ctx.keysOnly = (c.how & kKeysOnly) != 0;
    kb.dbcs = (c.how & kDoubleByte) != 0;
    kb.refuseUnicode = (c.how & kRefused) != 0;
    TypeText(kb.ctx, c.text);
    EXPECT_EQ(KeyLog(kb.injected), c.keys) << c.layout << (c.nt ? " NT " : " 9x ") << c.text;
    EXPECT_EQ(kb.ctx.refused, (c.how & kRefused) != 0) << c.text;
  }
}

// The typing leaves the recognizer's state alone: a burst given back while it types stays
// given back, and one being captured goes on capturing.
TEST(Typing, LeavesTheRecognizersStateAlone) {
  FakeKeyboard kb;
  kb.state.recognizerState = kCapturing;
  kb.onKeybdEvent = [&] { ResetCapture(kb.state); };
  TypeText(kb.ctx, "xy");
  EXPECT_EQ(kb.state.recognizerState, kIdle);
  kb.onKeybdEvent = nullptr;
  kb.state.recognizerState = kCapturing;
  TypeText(kb.ctx, "xy");
  EXPECT_EQ(kb.state.recognizerState, kCapturing);
  EXPECT_EQ(kb.state.keyBuffer.length, 0);
}

}  // namespace
}  // namespace pellix
