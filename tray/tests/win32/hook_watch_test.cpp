// The watch over the low-level hook under Wine: the real KEYWEDGE.DLL installs its hook on a
// window of this thread, the watch counts raw input there (in the background: pellix-target
// has the foreground), keys come from keybd_event.
// First what Wine delivers (printed as figures), then the hook taken away behind the
// library's back: it must come back by itself, once, with one balloon asked for, and the next
// burst must be recognized by the hook that came back.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "engine/encoder.h"
#include "hooklib/core/shared_state.h"
#include "hooklib/tests/win32/process.h"
#include "hooklib/tests/win32/section.h"
#include "hooklib/win32/bind_exports.h"
#include "tray/win32/hook_watch.h"
#include "tray/win32/shell_notify.h"
#include "tray/tests/win32/wand_keys.h"

namespace pellix {
namespace {

HHOOK g_shim = nullptr;
UINT g_ccMsg = 0;
char g_lastData[256];
volatile LONG g_offers = 0;
HookWatch* g_watch = nullptr;

LRESULT CALLBACK ShimProc(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION) {
    testing::MakeWandLike(reinterpret_cast<KBDLLHOOKSTRUCT*>(lParam));
  }
  return CallNextHookEx(g_shim, code, wParam, lParam);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (g_ccMsg != 0 && message == g_ccMsg) {  // claim the scan: nothing is typed
    InterlockedIncrement(&g_offers);
    GlobalGetAtomNameA(static_cast<ATOM>(wParam), g_lastData, sizeof g_lastData);
    GlobalDeleteAtom(static_cast<ATOM>(wParam));
    return 0;
  }
  if (g_watch) g_watch->OnMessage(window, message, wParam, lParam);
  return DefWindowProcA(window, message, wParam, lParam);
}

void Pump(DWORD ms) {
  const DWORD start = GetTickCount();
  do {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    Sleep(1);
  } while (GetTickCount() - start < ms);
}

void Key(BYTE vk, BYTE scan, bool up, ULONG_PTR extra = 0) {
  keybd_event(vk, scan, up ? KEYEVENTF_KEYUP : 0, extra);
  Pump(5);
}
// One stroke of a key that no application here minds (F14).
void Stroke() {
  Key(VK_F14, 0x65, false);
  Key(VK_F14, 0x65, true);
}

class Host : public HookWatchHost {
 public:
  HookLibraryExports* exports = nullptr;
  HWND window = nullptr;
  int reinstalls = 0, balloons = 0;
  std::string told;
  bool Reinstall() override {
    ++reinstalls;
    exports->removeHook();
    return exports->installHook(window, 0) != 0;
  }
  void ShowReinstalled(const char* text) override {
    ++balloons;
    told = text;
  }
};

class HookWatchUnderWine : public ::testing::Test {
 protected:
  // Another program's window in the foreground, so that this one's raw input comes as it does
  // to the tray program, in the background; also, Wine makes raw input only while some window
  // is in the foreground.
  static void SetUpTestSuite() {
    target_ = testing::StartSibling("pellix-target.exe", "--title \"Pellix Watch Target\"");
    for (int i = 0; i < 200 && target_; ++i) {
      if (HWND w = FindWindowA("PellixTargetWnd", "Pellix Watch Target")) {
        SetForegroundWindow(w);
        Pump(300);
        return;
      }
      Sleep(50);
    }
  }
  static void TearDownTestSuite() {
    if (!target_) return;
    TerminateProcess(target_, 0);
    WaitForSingleObject(target_, 5000);
    CloseHandle(target_);
    target_ = nullptr;
  }
  static HANDLE target_;

  void SetUp() override {
    ASSERT_NE(FindWindowA("PellixTargetWnd", "Pellix Watch Target"), nullptr) << "no target";
    library_ = LoadLibraryA("KEYWEDGE.DLL");
    ASSERT_NE(library_, nullptr);
    ASSERT_TRUE(BindHookExports(library_, &exports_));
    keyCount_ = ExportAs<GetKeyCountFn>(GetProcAddress(library_, kGetKeyCountName));
    ASSERT_NE(keyCount_, nullptr);
    const IMAGE_SECTION_HEADER* section = testing::FindSection(library_, "Shared");
    ASSERT_NE(section, nullptr);
    shared_ = reinterpret_cast<HookSharedState*>(testing::SectionBytes(library_, section));
    g_ccMsg = RegisterWindowMessageA("KV_CC_MSG");
    WNDCLASSA wc = {};
    wc.lpfnWndProc = &WindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "PellixHookWatchTest";
    RegisterClassA(&wc);
    window_ = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, nullptr, nullptr,
                              wc.hInstance, nullptr);
    ASSERT_NE(window_, nullptr);
    ASSERT_EQ(exports_.installHook(window_, 0), 1);
    host_.exports = &exports_;
    host_.window = window_;
    ASSERT_TRUE(watch_.Start(window_, keyCount_, &host_));
    g_watch = &watch_;
  }
  void TearDown() override {
    g_watch = nullptr;
    watch_.Stop();
    if (g_shim) UnhookWindowsHookEx(g_shim);
    g_shim = nullptr;
    exports_.removeHook();
    if (window_) DestroyWindow(window_);
    if (library_) FreeLibrary(library_);
  }

  HMODULE library_ = nullptr;
  HookLibraryExports exports_ = {};
  GetKeyCountFn keyCount_ = nullptr;
  HookSharedState* shared_ = nullptr;
  HWND window_ = nullptr;
  Host host_;
  HookWatch watch_;
};

HANDLE HookWatchUnderWine::target_ = nullptr;

TEST_F(HookWatchUnderWine, WhatWineDelivers) {
  Pump(300);
  const uint32_t hook0 = keyCount_(), raw0 = watch_.RawKeystrokes();
  for (int i = 0; i < 20; ++i) Stroke();
  Pump(300);
  const uint32_t hook = keyCount_() - hook0, raw = watch_.RawKeystrokes() - raw0;
  std::printf("keybd_event, 40 key events, window in the background: hook %u, raw input %u\n",
              hook, raw);
  EXPECT_EQ(hook, 40u);
  RecordProperty("raw_input_of_40", static_cast<int>(raw));
  EXPECT_EQ(host_.reinstalls, 0) << "the hook was there all along";
}

// Strokes typed from another thread while this one sleeps: the hook's calls come late.
DWORD WINAPI TypeWhileStalled(void*) {
  for (int i = 0; i < 5; ++i) {
    keybd_event(VK_F14, 0x65, 0, 0);
    keybd_event(VK_F14, 0x65, KEYEVENTF_KEYUP, 0);
    Sleep(20);
  }
  return 0;
}

// A stall of this thread while another types, then the user types on: whether the hook's calls
// came late (a short stall) or were given up on by the system (a long one), the hook is still
// there and must be kept.
TEST_F(HookWatchUnderWine, ABusyThreadKeepsItsHook) {
  for (DWORD stallMs : {700, 3000}) {
    Pump(300);
    const uint32_t hook0 = keyCount_(), raw0 = watch_.RawKeystrokes();
    DWORD id = 0;
    HANDLE typist = CreateThread(nullptr, 0, &TypeWhileStalled, nullptr, 0, &id);
    ASSERT_NE(typist, nullptr);
    Sleep(stallMs);  // busy: no message, no hook call on this thread
    Pump(1500);
    WaitForSingleObject(typist, 10000);
    CloseHandle(typist);
    const uint32_t hookStalled = keyCount_() - hook0, rawStalled = watch_.RawKeystrokes() - raw0;
    for (int i = 0; i < 5; ++i) Stroke();
    Pump(1500);
    std::printf("stall of %lu ms: hook %u, raw input %u of 10 key events typed meanwhile\n",
                static_cast<unsigned long>(stallMs), hookStalled, rawStalled);
    EXPECT_EQ(host_.reinstalls, 0) << "stall of " << stallMs << " ms";
  }
  EXPECT_EQ(host_.balloons, 0);
}

std::string Burst(const std::string& data) { return EncodeWandText("0123456789", "UPA", data); }

// The wand's burst through keybd_event, tagged for the shim.
void TypeBurst(const std::string& text) {
  testing::TypeWandBurst(text, [](BYTE vk, BYTE scan, bool up) { Key(vk, scan, up, testing::kWandTag); });
}

bool WaitOffer(LONG offers, DWORD ms) {
  const DWORD start = GetTickCount();
  while (g_offers < offers && GetTickCount() - start < ms) Pump(10);
  return g_offers >= offers;
}

TEST_F(HookWatchUnderWine, AHookTakenAwayComesBackOnceAndRecognizesTheNextBurst) {
  // The shim sits before the library's hook and makes tagged keys look like the wand's.
  g_shim = SetWindowsHookExA(WH_KEYBOARD_LL, &ShimProc, GetModuleHandleA(nullptr), 0);
  ASSERT_NE(g_shim, nullptr);
  const std::string scan = Burst("012345678905");
  const uint32_t hook0 = keyCount_(), raw0 = watch_.RawKeystrokes();
  TypeBurst(scan);
  ASSERT_TRUE(WaitOffer(1, 3000)) << "the installed hook did not recognize a burst";
  EXPECT_STREQ(g_lastData, "012345678905");
  std::printf("a burst the hook swallowed: hook %u key events, raw input %u\n",
              keyCount_() - hook0, watch_.RawKeystrokes() - raw0);

  // Taken away as the system does it: no word to the library or the program.
  ASSERT_NE(shared_->primaryHook, nullptr);
  ASSERT_TRUE(UnhookWindowsHookEx(static_cast<HHOOK>(shared_->primaryHook)));
  Pump(300);
  const uint32_t hookBefore = keyCount_(), rawBefore = watch_.RawKeystrokes();
  const DWORD lostAt = GetTickCount();
  while (GetTickCount() - lostAt < 5000 && host_.reinstalls == 0) Stroke();  // the user types on
  const DWORD backAt = GetTickCount();
  ASSERT_EQ(host_.reinstalls, 1) << "not reinstalled within 5 s";
  const DWORD tookMs = backAt - lostAt;
  std::printf("hook back %lu ms after the first keystroke it missed (%u key events missed)\n",
              static_cast<unsigned long>(tookMs), watch_.RawKeystrokes() - rawBefore);
  // At most the last release can have reached the hook that came back.
  EXPECT_LE(keyCount_() - hookBefore, 1u) << "the hook was not gone";
  // The rule: a check period to the suspicion, the wait rounded up to a check period; a margin.
  EXPECT_LE(tookMs, 2 * HookWatchdog::kCheckPeriodMs + HookWatchdog::kConfirmMs + 750);
  EXPECT_EQ(host_.balloons, 1);
  EXPECT_EQ(host_.told, "Pellix reinstalled its keyboard hook.");

  // The hook that came back sees keys, and the next burst is recognized by it. The shim goes
  // before it again (the newest hook is called first).
  const uint32_t hookAfter = keyCount_();
  Stroke();
  Pump(50);
  EXPECT_EQ(keyCount_() - hookAfter, 2u) << "the reinstalled hook does not see keys";
  UnhookWindowsHookEx(g_shim);
  g_shim = SetWindowsHookExA(WH_KEYBOARD_LL, &ShimProc, GetModuleHandleA(nullptr), 0);
  ASSERT_NE(g_shim, nullptr);
  const std::string next = Burst("036000291452");
  TypeBurst(next);
  ASSERT_TRUE(WaitOffer(2, 3000)) << "the reinstalled hook did not recognize the next burst";
  EXPECT_STREQ(g_lastData, "036000291452");

  // And it stays: typing on brings no second reinstallation, no second balloon.
  for (int i = 0; i < 10; ++i) Stroke();
  Pump(1500);
  EXPECT_EQ(host_.reinstalls, 1);
  EXPECT_EQ(host_.balloons, 1);
}

TEST(TrayBalloon, NeedsTheIconAndGoesToIt) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = &DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "PellixBalloonTest";
  RegisterClassA(&wc);
  HWND window = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, nullptr, nullptr,
                                wc.hInstance, nullptr);
  ASSERT_NE(window, nullptr);
  NOTIFYICONDATAA icon = {};
  icon.cbSize = NOTIFYICONDATAA_V1_SIZE;
  icon.hWnd = window;
  icon.uID = 105;
  icon.uFlags = NIF_TIP;
  lstrcpynA(icon.szTip, "Pellix", 64);
  ASSERT_TRUE(Shell_NotifyIconA(NIM_ADD, &icon));
  EXPECT_TRUE(ShowTrayBalloon(window, 105, "Pellix", kHookReinstalledText));
  EXPECT_FALSE(ShowTrayBalloon(window, 106, "Pellix", kHookReinstalledText)) << "no such icon";
  Shell_NotifyIconA(NIM_DELETE, &icon);
  EXPECT_FALSE(ShowTrayBalloon(window, 105, "Pellix", kHookReinstalledText)) << "icon gone";
  DestroyWindow(window);
}

}  // namespace
}  // namespace pellix
