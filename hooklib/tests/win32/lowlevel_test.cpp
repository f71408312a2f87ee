// The low-level path with real delivery: scans offered by KV_CC_MSG to a receiver window,
// typed into a focused edit control of another process, abandoned bursts given back, the
// timeout watcher and its race with the end of a burst.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <vector>

#include "engine/encoder.h"
#include "hooklib/core/shared_state.h"
#include "hooklib/tests/win32/lowlevel_harness.h"
#include "tools/keyboard_layouts.h"
#include "hooklib/win32/library.h"
#include "hooklib/win32/win_platform.h"

namespace pellix {
namespace {

using testing::FeedChars;
using testing::FeedEnterPress;
using testing::FeedEnterRelease;
using testing::FeedPrefix;
using testing::Receiver;

class LowLevelPath : public ::testing::Test {
 protected:
  static testing::Target target;
  static Receiver receiver;
  static void SetUpTestSuite() {
    win32::OnProcessAttach(GetModuleHandleA(nullptr));
    ASSERT_TRUE(target.Start());
    ASSERT_TRUE(receiver.Start());
    ASSERT_EQ(win32::InstallHook(receiver.window(), 0), 1);
  }
  static void TearDownTestSuite() {
    win32::RemoveHook();
    receiver.Stop();
    target.Stop();
  }
  void SetUp() override {
    HookSharedState& s = win32::Shared();
    SetOutputType(s, '\n', '.', 0, 1, 0);
    SetTimeOut(s, 1250);
    s.targetWindow = receiver.window();
    s.messageId = RegisterWindowMessageA("KV_CC_MSG");
    Receiver::mode = Receiver::kDecline;
    Receiver::offers = 0;
    target.Clear();
    testing::Pump(50);
  }
  // A whole scan through the hook; true when every keystroke was swallowed.
  static bool Scan(const std::string& serial, const std::string& type, const std::string& data,
                   const char* layout = "us") {
    bool all = FeedPrefix();
    all &= FeedChars(EncodeWandText(serial, type, data), layout);
    all &= FeedEnterPress();
    all &= FeedEnterRelease();
    return all;
  }
  static bool NoAtomsLeft(const char* a, const char* b, const char* c) {
    return !GlobalFindAtomA(a) && !GlobalFindAtomA(b) && !GlobalFindAtomA(c);
  }
};
testing::Target LowLevelPath::target;
Receiver LowLevelPath::receiver;

namespace {
// The library's keys as a hook installed after its own sees them: how many, and how many
// without a scan code (which programs that forward scan codes drop).
volatile LONG g_ownKeys = 0, g_ownKeysWithoutScan = 0;
LRESULT CALLBACK CountOwnKeys(int code, WPARAM w, LPARAM l) {
  const auto* k = reinterpret_cast<const KBDLLHOOKSTRUCT*>(l);
  if (code == HC_ACTION && k->dwExtraInfo == kOwnKeyMark && k->vkCode != VK_PACKET) {
    InterlockedIncrement(&g_ownKeys);
    if (k->scanCode == 0) InterlockedIncrement(&g_ownKeysWithoutScan);
  }
  return CallNextHookEx(nullptr, code, w, l);
}
}  // namespace

// On every keyboard layout: the wand's keys come with the US scan codes and the layout's
// virtual keys. Every key typed carries its scan code.
TEST_F(LowLevelPath, UnclaimedScanIsTypedIntoTheFocusedEdit) {
  g_ownKeys = g_ownKeysWithoutScan = 0;
  HHOOK counter = SetWindowsHookExA(WH_KEYBOARD_LL, CountOwnKeys, GetModuleHandleA(nullptr), 0);
  ASSERT_NE(counter, nullptr);
  for (const layouts::Layout& layout : layouts::kLayouts) {
    target.Clear();
    ASSERT_TRUE(Scan("00000000123456", "UPA", "012345678905", layout.name)) << layout.name;
    EXPECT_TRUE(target.WaitText("012345678905\n", 5000)) << layout.name << ": " << target.Text();
    EXPECT_GE(Receiver::offers, 1);
    EXPECT_STREQ(Receiver::lastData, "012345678905");
    EXPECT_TRUE(NoAtomsLeft("012345678905", "UPA", "00000000123456"));
    EXPECT_EQ(win32::Shared().recognizerState, kIdle);
  }
  testing::Pump(100);
  UnhookWindowsHookEx(counter);
  std::printf("%ld keys typed, %ld without a scan code\n", g_ownKeys, g_ownKeysWithoutScan);
  // 13 characters, a press and a release each, per layout.
  EXPECT_GE(g_ownKeys, static_cast<LONG>(std::size(layouts::kLayouts)) * 26);
  EXPECT_EQ(g_ownKeysWithoutScan, 0);
}

TEST_F(LowLevelPath, OutputStylesSeparatorsAndTerminators) {
  struct Case {
    char terminator, separator;
    unsigned style;
    const char* typed;
  } cases[] = {{'\n', '.', 1, "UPA.0123\n"}, {'\n', '-', 3, "123-UPA-0123\n"},
               {0, '.', 2, "123.0123"}, {'\t', 0, 3, "123UPA0123\t"}};
  for (const Case& c : cases) {
    target.Clear();
    ASSERT_EQ(SetOutputType(win32::Shared(), c.terminator, c.separator, c.style, 0, 0), 1);
    ASSERT_TRUE(Scan("123", "UPA", "0123"));
    EXPECT_TRUE(target.WaitText(c.typed, 5000)) << c.style << ": " << target.Text();
  }
}

TEST_F(LowLevelPath, ClaimedScanIsNeitherTypedNorLeftAsAtoms) {
  Receiver::mode = Receiver::kClaim;
  ASSERT_TRUE(Scan("777", "IBN", "9780201633610"));
  EXPECT_EQ(target.SettleText(800), "");
  EXPECT_EQ(Receiver::offers, 1);  // claimed by the first window: the foreground not asked
  EXPECT_TRUE(NoAtomsLeft("9780201633610", "IBN", "777"));
}

// The first scan's offer waits out its three seconds; the scans after it, whose offers are
// quick, land after it, in the order their bursts ended.
TEST_F(LowLevelPath, SlowReceiverIsGivenUpAfterThreeSecondsAndTheNextScansWait) {
  Receiver::mode = Receiver::kSlowOnce;
  const double start = testing::NowMs();
  ASSERT_TRUE(Scan("1", "UPA", "0123"));
  ASSERT_TRUE(Scan("1", "UPA", "4567"));
  ASSERT_TRUE(Scan("1", "C39", "89AB"));
  EXPECT_TRUE(target.WaitText("0123\n4567\n89AB\n", 8000)) << target.Text();
  const double elapsed = testing::NowMs() - start;
  EXPECT_GE(elapsed, 2900);
  EXPECT_LT(elapsed, 6000);
  testing::Pump(600);  // the receiver wakes up again
  EXPECT_TRUE(NoAtomsLeft("0123", "UPA", "1"));
  EXPECT_EQ(win32::Local().deliveriesPending, 0);
}

TEST_F(LowLevelPath, NoMessageOrNoTargetWindow) {
  win32::Shared().messageId = 0;
  ASSERT_TRUE(Scan("1", "UPA", "4567"));
  EXPECT_TRUE(target.WaitText("4567\n", 5000)) << target.Text();
  EXPECT_EQ(Receiver::offers, 0);
  target.Clear();
  SetUp();
  win32::Shared().targetWindow = nullptr;
  ASSERT_TRUE(Scan("1", "UPA", "89"));
  EXPECT_TRUE(target.WaitText("89\n", 5000)) << target.Text();
  EXPECT_EQ(Receiver::offers, 0);  // only the foreground window was asked
  EXPECT_TRUE(NoAtomsLeft("89", "UPA", "1"));
}

TEST_F(LowLevelPath, GarbageMessageIdIsNeverSent) {
  // WM_CLOSE where KV_CC_MSG belongs: sent, it would close the tray's window and then the
  // focused program. It is no registered message, so the scan is typed and nothing is sent.
  win32::Shared().messageId = WM_CLOSE;
  ASSERT_TRUE(Scan("1", "UPA", "2468"));
  EXPECT_TRUE(target.WaitText("2468\n", 5000)) << target.Text();
  EXPECT_EQ(Receiver::offers, 0);
  EXPECT_TRUE(IsWindow(receiver.window()));
  EXPECT_TRUE(NoAtomsLeft("2468", "UPA", "1"));
}

// A right Shift the user holds as a scan is typed (a key of its own, no mark): the scan comes
// out as composed, the Shift is the user's again for the next key, and up once released.
// Wine tells the right Shift by the extended flag.
TEST_F(LowLevelPath, ShiftTheUserHoldsAsAScanIsTypedStaysTheUsers) {
  ASSERT_EQ(SetOutputType(win32::Shared(), '\n', '.', 1, 0, 0), 1);
  auto user = [](BYTE vk, BYTE scan, DWORD flags) {
    keybd_event(vk, scan, flags, 0);
    testing::Pump(20);
  };
  user(VK_RSHIFT, 0x36, KEYEVENTF_EXTENDEDKEY);
  ASSERT_TRUE(Scan("1", "128", "HeLd-q"));
  EXPECT_TRUE(target.WaitText("128.HeLd-q\n", 5000)) << target.Text();
  user('W', 0x11, 0);
  user('W', 0x11, KEYEVENTF_KEYUP);
  EXPECT_TRUE(target.WaitText("128.HeLd-q\nW", 5000)) << target.Text();
  user(VK_RSHIFT, 0x36, KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP);
  user('W', 0x11, 0);
  user('W', 0x11, KEYEVENTF_KEYUP);
  EXPECT_TRUE(target.WaitText("128.HeLd-q\nWw", 5000)) << target.Text();
  EXPECT_EQ(GetAsyncKeyState(VK_SHIFT) & 0x8000, 0) << "a Shift left down";
}

namespace {
// When each of the library's keys came, in milliseconds.
std::vector<double> g_ownKeyTimes;
LRESULT CALLBACK TimeOwnKeys(int code, WPARAM w, LPARAM l) {
  const auto* k = reinterpret_cast<const KBDLLHOOKSTRUCT*>(l);
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  if (code == HC_ACTION && (k->dwExtraInfo | 1) == kOwnKeyMark)
    g_ownKeyTimes.push_back(1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart));
  return CallNextHookEx(nullptr, code, w, l);
}
}  // namespace

// A program with a pace of its own: each scan typed key by key at that pace while the hook
// takes the next burst at once; the next scan after it, whole; a right Shift the user
// presses while the first is typed is let go before its next character and is the user's
// again after the scans.
TEST_F(LowLevelPath, APacedScanIsWholeAndTheNextWaitsItsTurn) {
  HookSharedState& s = win32::Shared();
  s.apps.count = 1;
  std::strcpy(s.apps.rules[0].program, "pellix-target.exe");
  s.apps.rules[0].paceMs = 20;
  g_ownKeyTimes.clear();
  HHOOK timer = SetWindowsHookExA(WH_KEYBOARD_LL, TimeOwnKeys, GetModuleHandleA(nullptr), 0);
  ASSERT_NE(timer, nullptr);
  ASSERT_TRUE(Scan("1", "UPA", "012345678905"));
  ASSERT_TRUE(Scan("2", "C39", "AB-12"));
  testing::Pump(150);
  keybd_event(VK_RSHIFT, 0x36, KEYEVENTF_EXTENDEDKEY, 0);
  EXPECT_TRUE(target.WaitText("012345678905\nAB-12\n", 10000)) << target.Text();
  testing::Pump(100);
  keybd_event('W', 0x11, 0, 0);
  keybd_event('W', 0x11, KEYEVENTF_KEYUP, 0);
  keybd_event(VK_RSHIFT, 0x36, KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP, 0);
  EXPECT_TRUE(target.WaitText("012345678905\nAB-12\nW", 5000)) << target.Text();
  UnhookWindowsHookEx(timer);
  s.apps.count = 0;
  // Every two keys of a scan 20 ms apart; the second scan's first key may follow at once.
  int quick = 0;
  for (size_t i = 1; i < g_ownKeyTimes.size(); ++i)
    quick += g_ownKeyTimes[i] - g_ownKeyTimes[i - 1] < 15.0;
  std::printf("%zu keys typed, %d less than 15 ms after the one before\n", g_ownKeyTimes.size(), quick);
  EXPECT_GE(g_ownKeyTimes.size(), 40u);
  EXPECT_LE(quick, 1);
}

// The hook watch reinstalls the hooks when they have been slow, which may be while a scan is
// typed: the scan comes out whole, and so does the next one.
TEST_F(LowLevelPath, ReinstalledWhileAScanIsTypedTheNextScanIsExact) {
  ASSERT_EQ(SetOutputType(win32::Shared(), '\n', '-', 3, 0, 0), 1);
  ASSERT_TRUE(Scan("00000000123456", "UPA", "012345678905"));
  testing::Pump(15);  // the delivery thread is typing
  ASSERT_EQ(win32::RemoveHook(), 1);
  ASSERT_EQ(win32::InstallHook(receiver.window(), 0), 1);
  EXPECT_TRUE(target.WaitText("00000000123456-UPA-012345678905\n", 5000)) << target.Text();
  target.Clear();
  ASSERT_TRUE(Scan("42", "C39", "AB"));
  EXPECT_TRUE(target.WaitText("42-C39-AB\n", 5000)) << target.Text();
  EXPECT_EQ(win32::Shared().keyBuffer.length, 0);
  // Reinstalled mid-burst: what was captured is given back, not lost.
  target.Clear();
  ASSERT_TRUE(FeedPrefix());
  ASSERT_TRUE(FeedChars("ab.1"));
  ASSERT_EQ(win32::RemoveHook(), 1);
  ASSERT_EQ(win32::InstallHook(receiver.window(), 0), 1);
  EXPECT_TRUE(target.WaitText("ab.1", 5000)) << target.Text();
  // A capture that the installation meets (its host ended mid-burst, its hooks gone with it):
  // given back too.
  target.Clear();
  ASSERT_EQ(win32::RemoveHook(), 1);
  ASSERT_TRUE(FeedPrefix());
  ASSERT_TRUE(FeedChars("cd.2"));
  ASSERT_EQ(win32::InstallHook(receiver.window(), 0), 1);
  EXPECT_TRUE(target.WaitText("cd.2", 5000)) << target.Text();
}

namespace {
// Hooks around ours: the last installed is called first. When each saw a key of the typist.
double g_before[512], g_after[512];
volatile LONG g_typed = 0;
// Another program's typing alternates two keys, so that the text shows their order, with a
// Unicode key every tenth: the euro sign, U+20AC (0x80 in code page 1252; cut to 8 bits it
// would be another character). Each key is numbered in its extra information.
bool TypistKey(const KBDLLHOOKSTRUCT* k) {
  return (k->vkCode == 'Q' || k->vkCode == 'W' || k->vkCode == VK_PACKET) &&
         !(k->flags & LLKHF_UP) && k->dwExtraInfo < 512;
}
LRESULT CALLBACK SeenBefore(int code, WPARAM w, LPARAM l) {
  const auto* k = reinterpret_cast<const KBDLLHOOKSTRUCT*>(l);
  if (code == HC_ACTION && TypistKey(k)) g_before[k->dwExtraInfo] = testing::NowMs();
  return CallNextHookEx(nullptr, code, w, l);
}
LRESULT CALLBACK SeenAfter(int code, WPARAM w, LPARAM l) {
  const auto* k = reinterpret_cast<const KBDLLHOOKSTRUCT*>(l);
  if (code == HC_ACTION && TypistKey(k)) g_after[k->dwExtraInfo] = testing::NowMs();
  return CallNextHookEx(nullptr, code, w, l);
}
char TypistChar(LONG i) { return i % 10 == 0 ? '\x80' : i % 2 ? 'q' : 'w'; }
// A key every 4 ms.
DWORD WINAPI Typist(LPVOID) {
  for (LONG i = 1; i < 300; ++i) {
    if (i % 10 == 0) {
      INPUT keys[2] = {};
      for (int k = 0; k < 2; ++k) {
        keys[k].type = INPUT_KEYBOARD;
        keys[k].ki.wScan = 0x20AC;
        keys[k].ki.dwFlags = KEYEVENTF_UNICODE | (k ? KEYEVENTF_KEYUP : 0);
        keys[k].ki.dwExtraInfo = static_cast<ULONG_PTR>(i);
      }
      SendInput(2, keys, sizeof(INPUT));
    } else {
      const BYTE vk = i % 2 ? 'Q' : 'W', scan = i % 2 ? 16 : 17;
      keybd_event(vk, scan, 0, static_cast<ULONG_PTR>(i));
      keybd_event(vk, scan, KEYEVENTF_KEYUP, static_cast<ULONG_PTR>(i));
    }
    g_typed = i;
    Sleep(4);
  }
  return 0;
}
}  // namespace

// Keys keep coming while a stalled burst is given back (on the hook's own thread, where the
// watcher's request arrives): each is captured into the burst and given back with it, passes
// at once, or, coming while the give-back is typed, is held and typed after it as it came
// (its tag, its whole Unicode character); none waits, none is lost, and the text keeps their
// order.
TEST_F(LowLevelPath, KeysDuringAGiveBackPassAtOnceOrAreCaptured) {
  ASSERT_EQ(win32::RemoveHook(), 1);
  HHOOK after = SetWindowsHookExA(WH_KEYBOARD_LL, SeenAfter, GetModuleHandleA(nullptr), 0);
  ASSERT_EQ(win32::InstallHook(receiver.window(), 0), 1);
  HHOOK before = SetWindowsHookExA(WH_KEYBOARD_LL, SeenBefore, GetModuleHandleA(nullptr), 0);
  ASSERT_TRUE(before && after);
  SetUp();
  SetTimeOut(win32::Shared(), 500);
  ASSERT_TRUE(FeedPrefix());
  ASSERT_TRUE(FeedChars(".x"));
  std::fill(g_before, g_before + 512, 0.0);
  std::fill(g_after, g_after + 512, 0.0);
  HANDLE typist = CreateThread(nullptr, 0, &Typist, nullptr, 0, nullptr);
  while (WaitForSingleObject(typist, 0) == WAIT_TIMEOUT) testing::Pump(5);
  CloseHandle(typist);
  std::string want = ".x";
  for (LONG i = 1; i <= g_typed; ++i) want += TypistChar(i);
  EXPECT_TRUE(target.WaitText(want, 10000)) << target.Text();
  const std::string text = target.Text();
  UnhookWindowsHookEx(before);
  UnhookWindowsHookEx(after);
  double worst = 0;
  int passed = 0;
  for (LONG i = 1; i <= g_typed; ++i)
    if (g_after[i] > 0) {
      ++passed;
      worst = std::max(worst, g_after[i] - g_before[i]);
    }
  std::printf("%d keys typed meanwhile, %d passed, the slowest in %.2f ms; text %zu\n",
              static_cast<int>(g_typed), passed, worst, text.size());
  EXPECT_LT(worst, 10.0) << "a key waited in the hook";
  // Those captured into the burst were given back as its text; every other reached the hook
  // after ours with its own tag, whether it passed at once or was held.
  LONG captured = 0;
  while (captured < g_typed && g_after[captured + 1] == 0 && g_before[captured + 1] > 0) ++captured;
  EXPECT_EQ(passed, g_typed - captured) << captured << " captured";
}

TEST_F(LowLevelPath, BrokenBurstsAreGivenBack) {
  // A key outside the wand's keys: prefix and captured keys typed back, the key passed on.
  ASSERT_TRUE(FeedPrefix());
  ASSERT_TRUE(FeedChars(".ab"));
  EXPECT_EQ(testing::Feed(VK_F5, 63, 0), 0);
  EXPECT_TRUE(target.WaitText(".ab", 5000)) << target.Text();
  target.Clear();
  // A burst that decodes invalid: all of it typed back, the Enter stays swallowed.
  ASSERT_TRUE(FeedPrefix());
  ASSERT_TRUE(FeedChars("hello"));
  ASSERT_TRUE(FeedEnterPress());
  ASSERT_TRUE(FeedEnterRelease());
  EXPECT_TRUE(target.WaitText("hello", 5000)) << target.Text();
  target.Clear();
  // The same keys injected (flag 0x10) do not start a capture.
  EXPECT_EQ(testing::Feed(164, 56, 0x30), 0);
  EXPECT_EQ(win32::Shared().prefixPosition, 0);
  EXPECT_EQ(win32::Shared().recognizerState, kIdle);
}

// Ordinary typing enters no kernel: KV_CC_STOP, which only the watcher's clock needs, is not
// signalled for it. A burst broken off right after the prefix still stops the clock, and the
// next burst that stalls is abandoned in its time.
TEST_F(LowLevelPath, OrdinaryKeysLeaveTheStopEventAlone) {
  HANDLE stop = OpenEventA(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, "KV_CC_STOP");
  ASSERT_NE(stop, nullptr);
  testing::Pump(100);  // the watcher is back waiting for a start
  ResetEvent(stop);
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(testing::Feed('A' + i, 30, 0), 0);
    EXPECT_EQ(testing::Feed('A' + i, 30, LLKHF_UP), 0);
  }
  EXPECT_EQ(WaitForSingleObject(stop, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  CloseHandle(stop);

  ASSERT_TRUE(FeedPrefix());
  EXPECT_EQ(testing::Feed(VK_F5, 63, 0), 0);  // broken off: the prefix comes back
  target.Clear();
  testing::Pump(200);
  SetTimeOut(win32::Shared(), 500);
  ASSERT_TRUE(FeedPrefix());
  const double start = testing::NowMs();
  ASSERT_TRUE(FeedChars(".y"));
  const double latency = testing::WaitWhileCapturing(start);
  std::printf("watcher: timeout 500 ms, stalled burst abandoned after %.1f ms\n", latency);
  // Timed from its own start (not from the broken burst's) and abandoned: when exactly after
  // its timeout is the machine's business, the figure is printed.
  EXPECT_GE(latency, 499.0);
  EXPECT_LT(latency, 4999.0) << "the stalled burst was never abandoned";
  EXPECT_TRUE(target.WaitText(".y", 5000)) << target.Text();
}

TEST_F(LowLevelPath, WatcherAbandonsABurstThatDoesNotEndInTime) {
  for (unsigned timeout : {1250u, 500u}) {
    target.Clear();
    SetTimeOut(win32::Shared(), timeout);
    ASSERT_TRUE(FeedPrefix());
    const double start = testing::NowMs();
    ASSERT_TRUE(FeedChars(".x"));
    const double latency = testing::WaitWhileCapturing(start);
    std::printf("watcher: timeout %u ms, burst abandoned after %.1f ms\n", timeout, latency);
    EXPECT_GE(latency, timeout - 1.0);
    EXPECT_LT(latency, 4999.0) << "never abandoned";
    EXPECT_TRUE(target.WaitText(".x", 5000)) << target.Text();
  }
}

// The final Enter release arrives around the moment the watcher's wait times out. Either the
// scan is delivered or the burst is given back: once, never both, and the buffer ends empty.
TEST_F(LowLevelPath, BurstEndingAsTheWatcherAbandonsItIsHandledOnce) {
  SetTimeOut(win32::Shared(), 500);
  const std::string text = EncodeWandText("5", "UPA", "0123");
  int delivered = 0, givenBack = 0;
  for (int i = 0; i < 16; ++i) {
    target.Clear();
    testing::Pump(30);
    ASSERT_TRUE(FeedPrefix());
    const double start = testing::NowMs();
    ASSERT_TRUE(FeedChars(text));
    ASSERT_TRUE(FeedEnterPress());
    const double at = start + 500 + (i % 8) * 4 - 14;  // -14 .. +14 ms around the timeout
    while (testing::NowMs() < at) {
    }
    FeedEnterRelease();
    const std::string got = target.SettleText(900);
    if (got == "0123\n") ++delivered;
    else if (got == text) ++givenBack;
    else ADD_FAILURE() << "round " << i << ": " << got;
    EXPECT_EQ(win32::Shared().recognizerState, kIdle);
    EXPECT_EQ(win32::Shared().keyBuffer.length, 0);
  }
  std::printf("race: %d delivered, %d given back\n", delivered, givenBack);
}

}  // namespace
}  // namespace pellix
