// Activation against the real KEYWEDGE.DLL under Wine: after ActivateProfile the library's
// transform table holds exactly the profile's entries, seen through its exports and through
// scans the library itself captures and decodes from synthetic keystrokes.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/encoder.h"
#include "engine/scan_record.h"
#include "engine/transform_table.h"
#include "hooklib/exports.h"
#include "hooklib/win32/bind_exports.h"
#include "profiles/core/profile_store.h"
#include "profiles/tests/store_testing.h"
#include "profiles/win32/win32_registry.h"
#include "tray/core/settings_backend.h"
#include "tray/core/settings_store.h"

namespace pellix {
namespace {

struct Received {
  bool got = false;
  std::string type, data;
};
Received g_received;
UINT g_scanMessage = 0;

LRESULT CALLBACK TargetProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (g_scanMessage != 0 && msg == g_scanMessage) {
    char data[256] = "", type[256] = "";
    GlobalGetAtomNameA(static_cast<ATOM>(wParam), data, sizeof data);
    GlobalGetAtomNameA(static_cast<ATOM>(LOWORD(lParam)), type, sizeof type);
    g_received.got = true;
    g_received.type = type;
    g_received.data = data;
    GlobalDeleteAtom(static_cast<ATOM>(wParam));  // claimed: the library types nothing
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void Key(BYTE vk, bool up) {
  keybd_event(vk, static_cast<BYTE>(MapVirtualKeyA(vk, 0)), up ? KEYEVENTF_KEYUP : 0, 0);
}

// The wand's rhythm: Alt, F10 press and release, Alt release; each character with Shift held
// around it when needed; Enter.
void TypeBurst(const std::string& text) {
  Key(VK_MENU, false);
  Key(VK_F10, false);
  Key(VK_F10, true);
  Key(VK_MENU, true);
  for (char c : text) {
    const SHORT scan = VkKeyScanA(c);
    const BYTE vk = LOBYTE(scan);
    const bool shift = (HIBYTE(scan) & 1) != 0;
    if (shift) Key(VK_SHIFT, false);
    Key(vk, false);
    Key(vk, true);
    if (shift) Key(VK_SHIFT, true);
  }
  Key(VK_RETURN, false);
  Key(VK_RETURN, true);
}

class LibraryActivation : public ::testing::Test {
 protected:
  void SetUp() override {
    library_ = LoadLibraryA("KEYWEDGE.DLL");
    ASSERT_NE(library_, nullptr) << "KEYWEDGE.DLL beside the test";
    ASSERT_TRUE(BindHookExports(library_, &exports_)) << "all nine exports";
    WipePellixRoot(registry_);
    current_[0] = '\0';
  }
  void TearDown() override {
    if (window_ != nullptr) {
      exports_.removeHook();
      DestroyWindow(window_);
    }
    WipePellixRoot(registry_);
    if (library_ != nullptr) FreeLibrary(library_);
  }

  void StoreWork() {
    ProfileTable work;
    work.AddOrUpdate("E13", "++++++", "", "", false, 1);
    work.AddOrUpdate("IBN", "", "", "", true, 1);
    work.AddOrUpdate("UPA", "+-+-+-", "", "", false, 1);
    ASSERT_TRUE(SaveProfile(work, registry_, "Work"));
  }

  // How many more new codes the library's table takes.
  int FreeSlots() {
    int added = 0;
    for (int i = 0; i < 25; ++i) {
      const std::string code = "Z" + std::to_string(10 + i);
      if (exports_.addTransform(code.c_str(), nullptr, 0) == 0) break;
      ++added;
    }
    for (int i = 0; i < added; ++i) exports_.delTransform(("Z" + std::to_string(10 + i)).c_str());
    return added;
  }

  // A scan captured and decoded by the library on its keyboard-and-message path.
  std::string Scan(const char* type, const char* data) {
    g_received = Received{};
    TypeBurst(EncodeWandText("0000000123456789", type, data));
    const DWORD until = GetTickCount() + 3000;
    MSG msg;
    while (!g_received.got && GetTickCount() < until) {
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
      Sleep(10);
    }
    EXPECT_TRUE(g_received.got) << "no scan offered for " << type;
    return g_received.data;
  }

  void InstallHooks() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = TargetProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "PellixActivationTarget";
    RegisterClassA(&wc);
    window_ = CreateWindowA(wc.lpszClassName, "target", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                            200, 100, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(window_, nullptr);
    SetForegroundWindow(window_);
    SetFocus(window_);
    g_scanMessage = RegisterWindowMessageA("KV_CC_MSG");
    ASSERT_EQ(exports_.installHook(window_, 1), 1);
  }

  HMODULE library_ = nullptr;
  HookLibraryExports exports_ = {};
  Win32Registry registry_;
  char current_[kProfileNameSize];
  HWND window_ = nullptr;
};

TEST_F(LibraryActivation, TableHoldsExactlyTheProfilesCodes) {
  StoreWork();
  HookLibraryBackEnd backEnd(exports_);
  exports_.initTransform();
  ASSERT_EQ(exports_.addTransform("OLD", "+", 1), 1);
  ProfileTable table;
  ActivateProfile(registry_, backEnd, table, current_, "Work");
  ASSERT_STREQ(current_, "Work");
  EXPECT_EQ(FreeSlots(), 17);
  EXPECT_EQ(exports_.delTransform("OLD"), 0) << "the previous profile's transform is gone";
  for (const char* code : {"E13", "IBN", "UPA"}) EXPECT_EQ(exports_.delTransform(code), 1) << code;
  EXPECT_EQ(FreeSlots(), 20);

  ActivateProfile(registry_, backEnd, table, current_, "Work");
  ActivateProfile(registry_, backEnd, table, current_, kNoProfileName);
  EXPECT_EQ(FreeSlots(), 20) << "no profile: an empty table";
  for (const char* code : {"E13", "IBN", "UPA"}) EXPECT_EQ(exports_.delTransform(code), 0) << code;
}

TEST_F(LibraryActivation, ScansDecodedByTheLibraryFollowTheProfile) {
  StoreWork();
  InstallHooks();
  if (HasFatalFailure()) return;
  HookLibraryBackEnd backEnd(exports_);
  ProfileTable table;
  ActivateProfile(registry_, backEnd, table, current_, "Work");

  const char* kIsbnData = "9780201633610";
  const char* kEanData = "4006381333931";
  // What the engine makes of them with and without the profile's table.
  TransformTable expected{};
  AddOrUpdate(expected, "E13", "++++++", 0);
  AddOrUpdate(expected, "IBN", "", 1);
  auto decode = [](const char* type, const char* data, const TransformTable* t) {
    ScanRecord r{};
    DecodeScan(EncodeWandText("0000000123456789", type, data).c_str(), t, &r);
    return std::string(r.data);
  };
  const std::string isbn = decode("IBN", kIsbnData, &expected);
  ASSERT_NE(isbn, kIsbnData) << "the conversion must show";
  EXPECT_EQ(Scan("IBN", kIsbnData), isbn);
  EXPECT_EQ(Scan("E13", kEanData), "400638");

  ActivateProfile(registry_, backEnd, table, current_, kNoProfileName);
  EXPECT_EQ(Scan("IBN", kIsbnData), decode("IBN", kIsbnData, nullptr));
  EXPECT_EQ(Scan("E13", kEanData), kEanData);
}

}  // namespace
}  // namespace pellix
