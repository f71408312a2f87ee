// KEYWEDGE.DLL as the tray program sees it: nine exports bound by name, the process-shared
// record in its "Shared" section, installation once for the whole system.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "hooklib/core/shared_state.h"
#include "hooklib/exports.h"
#include "hooklib/win32/bind_exports.h"
#include "hooklib/tests/win32/process.h"
#include "hooklib/tests/win32/section.h"

namespace pellix {
namespace {

class KeywedgeDll : public ::testing::Test {
 protected:
  static HMODULE dll;
  static HookLibraryExports e;
  static void SetUpTestSuite() {
    dll = LoadLibraryA("KEYWEDGE.DLL");
    ASSERT_NE(dll, nullptr);
    ASSERT_TRUE(BindHookExports(dll, &e));
  }
  HookSharedState* Shared() {
    const IMAGE_SECTION_HEADER* section = testing::FindSection(dll, "Shared");
    return section ? reinterpret_cast<HookSharedState*>(testing::SectionBytes(dll, section))
                   : nullptr;
  }
};
HMODULE KeywedgeDll::dll = nullptr;
HookLibraryExports KeywedgeDll::e = {};

// First, before any test changes the shared record: the image's initial values.
TEST_F(KeywedgeDll, StartsWithTheDefaults) {
  char t = 0, s = 0;
  int style = -1, beep = -1, type = -1;
  ASSERT_NE(e.getOutputType, nullptr);
  e.getOutputType(&t, &s, &style, &beep, &type);
  EXPECT_EQ(t, '\n');
  EXPECT_EQ(s, '.');
  EXPECT_EQ(style, 0);
  EXPECT_EQ(beep, 1);
  EXPECT_EQ(type, 0);
  EXPECT_EQ(e.getTimeOut(), 1250u);
  EXPECT_EQ(e.delTransform("ABC"), 0);  // the table starts empty
}

TEST_F(KeywedgeDll, ExportsExactlyTheNineNamesTheKeyCountAndTheApplications) {
  const auto* base = reinterpret_cast<const BYTE*>(dll);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
      base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  ASSERT_NE(dir.VirtualAddress, 0u);
  const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
  const auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  std::vector<std::string> got;
  for (DWORD i = 0; i < exports->NumberOfNames; ++i)
    got.emplace_back(reinterpret_cast<const char*>(base + names[i]));
  std::vector<std::string> want(kHookExportNames, kHookExportNames + 9);
  want.emplace_back(kGetKeyCountName);
  want.emplace_back(kSetApplicationsName);
  std::sort(got.begin(), got.end());
  std::sort(want.begin(), want.end());
  EXPECT_EQ(got, want);
  EXPECT_EQ(exports->NumberOfFunctions, 11u);
  for (const char* name : kHookExportNames) EXPECT_NE(GetProcAddress(dll, name), nullptr) << name;
}

TEST_F(KeywedgeDll, SharedSectionIsSharedReadableWritable) {
  const IMAGE_SECTION_HEADER* section = testing::FindSection(dll, "Shared");
  ASSERT_NE(section, nullptr);
  const DWORD want = IMAGE_SCN_MEM_SHARED | IMAGE_SCN_MEM_READ | IMAGE_SCN_MEM_WRITE;
  EXPECT_EQ(section->Characteristics & want, want);
  EXPECT_GE(section->Misc.VirtualSize, sizeof(HookSharedState));
}

TEST_F(KeywedgeDll, OutputTypeRefusalsAndTimeoutClamping) {
  struct Case {
    char t, s;
    unsigned style;
    int beep;
    int result;
  } cases[] = {{'\n', '.', 4, 1, 0}, {'a', '.', 0, 1, 0}, {'\n', '#', 0, 1, 0},
               {'\n', '.', 0xFFFFFFFFu, 1, 0}, {0, 0, 0, 1, 1}, {'\t', ',', 3, 5, 1}};
  for (const Case& c : cases) {
    char t0, s0;
    int style0, beep0, type0;
    e.getOutputType(&t0, &s0, &style0, &beep0, &type0);
    EXPECT_EQ(e.setOutputType(c.t, c.s, c.style, c.beep, 48), c.result) << int(c.t);
    char t, s;
    int style, beep, type;
    e.getOutputType(&t, &s, &style, &beep, &type);
    if (c.result) {
      EXPECT_EQ(t, c.t);
      EXPECT_EQ(s, c.s);
      EXPECT_EQ(style, static_cast<int>(c.style));
      EXPECT_EQ(beep, 1);
      EXPECT_EQ(type, 48);
    } else {  // nothing changed
      EXPECT_EQ(t, t0);
      EXPECT_EQ(s, s0);
      EXPECT_EQ(style, style0);
    }
  }
  const unsigned timeouts[][2] = {{100, 500}, {5000, 2000}, {500, 500}, {2000, 2000},
                                  {static_cast<unsigned>(-1), 2000}, {1250, 1250}};
  for (const auto& c : timeouts) {
    EXPECT_EQ(e.setTimeOut(c[0]), c[1]);
    EXPECT_EQ(e.getTimeOut(), c[1]);
  }
}

TEST_F(KeywedgeDll, TransformTableLimits) {
  EXPECT_EQ(e.initTransform(), 0);
  for (int i = 0; i < 20; ++i)
    EXPECT_EQ(e.addTransform(("T" + std::to_string(10 + i)).c_str(), "+", 0), 1) << i;
  EXPECT_EQ(e.addTransform("NEW", nullptr, 0), 0);  // full
  EXPECT_EQ(e.addTransform("T15", std::string(40, '+').c_str(), 1), 1);  // update still works
  EXPECT_EQ(e.addTransform(nullptr, "+", 0), 0);
  EXPECT_EQ(e.addTransform("", "+", 0), 0);
  EXPECT_EQ(e.delTransform("T12"), 1);
  EXPECT_EQ(e.delTransform("T12"), 0);
  EXPECT_EQ(e.addTransform("NEWCODE", nullptr, 0), 1);  // takes the freed slot
  EXPECT_EQ(e.delTransform("NEW"), 1);                  // stored as its first three
  EXPECT_EQ(e.initTransform(), 0);
  EXPECT_EQ(e.delTransform("T10"), 0);
}

TEST_F(KeywedgeDll, SecondProcessSeesSettingsAndTransforms) {
  ASSERT_EQ(e.setOutputType('\r', '-', 2, 1, 16), 1);
  ASSERT_EQ(e.setTimeOut(777), 777u);
  e.initTransform();
  ASSERT_EQ(e.addTransform("IBN", "+++", 1), 1);
  EXPECT_EQ(testing::RunSibling("hooklib_peer.exe", "expect-settings 13 45 2 1 16 777"), 0);
  // The peer's change is seen here too.
  EXPECT_EQ(testing::RunSibling("hooklib_peer.exe", "del-transform IBN"), 1);
  EXPECT_EQ(e.delTransform("IBN"), 0);
  e.setOutputType('\n', '.', 0, 1, 0);
  e.setTimeOut(1250);
  // The per-program table, handed over there, reaches the deliveries here.
  EXPECT_EQ(testing::RunSibling("hooklib_peer.exe", "set-applications Client.EXE 30"), 1);
  const AppRule row = RuleFor(Shared()->apps, "client.exe");
  EXPECT_EQ(row.paceMs, 30u);
  EXPECT_EQ(row.method, kMethodKeysOnly);
  EXPECT_EQ(RuleFor(Shared()->apps, "other.exe").paceMs, 0u);
}

TEST_F(KeywedgeDll, HooksAreInstalledOnceForTheWholeSystem) {
  ASSERT_EQ(e.installHook(nullptr, 0), 1);
  ASSERT_NE(Shared(), nullptr);
  EXPECT_EQ(Shared()->messageHook, nullptr);  // NT without force: the low-level hook alone
  EXPECT_EQ(e.installHook(nullptr, 0), 0);
  EXPECT_EQ(testing::RunSibling("hooklib_peer.exe", "install 0"), 0);
  EXPECT_EQ(testing::RunSibling("hooklib_peer.exe", "install 1"), 0);
  EXPECT_NE(e.removeHook(), 0);
  ASSERT_EQ(e.installHook(nullptr, 1), 1);  // the keyboard-and-message path
  EXPECT_NE(Shared()->messageHook, nullptr);
  EXPECT_NE(e.removeHook(), 0);
  EXPECT_EQ(Shared()->primaryHook, nullptr);
  EXPECT_EQ(Shared()->messageHook, nullptr);
  EXPECT_EQ(testing::RunSibling("hooklib_peer.exe", "install 0"), 1);
}

// And the list of keys typed before it: none of them is still on its way.
TEST_F(KeywedgeDll, InstallClearsTheTransformTableAndTheKeysOnTheirWay) {
  e.addTransform("UPA", "+", 0);
  Shared()->ownKeysNoted = 700;
  Shared()->ownKeysTaken = 3;
  ASSERT_EQ(e.installHook(nullptr, 0), 1);
  EXPECT_EQ(e.delTransform("UPA"), 0);
  EXPECT_EQ(Shared()->ownKeysTaken, 700);
  e.removeHook();
}

// A host killed while it had the hooks (and a burst open) leaves its hook handle and state in
// the record while this process still maps the library; the next host must still get them.
TEST_F(KeywedgeDll, HostThatDiedDoesNotBlockTheNextInstall) {
  for (const char* force : {"0", "1"}) {
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, "PellixPeerReady");
    HANDLE peer = testing::StartSibling(
        "hooklib_peer.exe", std::string("install-and-hang ") + force + " 4 PellixPeerReady");
    ASSERT_NE(peer, nullptr);
    ASSERT_EQ(WaitForSingleObject(ready, 20000), WAIT_OBJECT_0) << force;
    EXPECT_EQ(e.installHook(nullptr, 0), 0) << "refused while the host runs";
    TerminateProcess(peer, 9);
    WaitForSingleObject(peer, 10000);
    CloseHandle(peer);
    CloseHandle(ready);
    ASSERT_NE(Shared(), nullptr);
    EXPECT_NE(Shared()->primaryHook, nullptr);  // left behind by the dead host
    EXPECT_EQ(e.installHook(nullptr, 0), 1) << force;
    EXPECT_EQ(Shared()->recognizerState, kIdle) << force;
    EXPECT_EQ(Shared()->prefixPosition, 0) << force;
    EXPECT_EQ(Shared()->keyBuffer.length, 0) << force;
    EXPECT_NE(e.removeHook(), 0);
  }
}

// Any process can write anything into the shared record; no process may then write outside it
// or fall over. Garbage rounds, with the low-level hook fed keys, exports called here and in a
// second process.
TEST_F(KeywedgeDll, GarbageInTheSharedSectionIsSurvived) {
  HookSharedState* s = Shared();
  ASSERT_NE(s, nullptr);
  const IMAGE_SECTION_HEADER* section = testing::FindSection(dll, "Shared");
  BYTE* bytes = testing::SectionBytes(dll, section);
  const DWORD sectionSize = section->Misc.VirtualSize;
  std::vector<BYTE> tail(bytes + sizeof(HookSharedState), bytes + sectionSize);
  ASSERT_EQ(e.installHook(nullptr, 0), 1);
  HHOOK hook = static_cast<HHOOK>(s->primaryHook);
  std::mt19937 rng(1234);
  for (int round = 0; round < 4; ++round) {
    for (size_t i = 0; i < sizeof(HookSharedState); ++i) bytes[i] = static_cast<BYTE>(rng());
    if (round % 3 == 0) s->recognizerState = static_cast<int32_t>(rng() % 8);
    s->messageId = 0;  // no offers to whatever window a random handle names
    // The first key finds the garbage (and may give back up to 500 garbage characters).
    keybd_event(VK_SHIFT, 0, 0, 0);
    keybd_event(VK_SHIFT, 0, KEYEVENTF_KEYUP, 0);
    MSG msg;
    for (int i = 0; i < 20; ++i) {
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
      Sleep(5);
    }
    char t, sep;
    int style, beep, type;
    e.getOutputType(&t, &sep, &style, &beep, &type);
    EXPECT_LE(static_cast<unsigned>(style), 3u);
    EXPECT_GE(e.getTimeOut(), 500u);
    EXPECT_LE(e.getTimeOut(), 2000u);
    e.addTransform("ABC", "+", 1);
    e.delTransform("ZZZ");
    if (round % 2 == 0) {
      EXPECT_EQ(testing::RunSibling("hooklib_peer.exe", "exercise"), 0);
    }
  }
  EXPECT_TRUE(std::equal(tail.begin(), tail.end(), bytes + sizeof(HookSharedState)));
  s->primaryHook = hook;
  e.removeHook();
  std::memset(bytes, 0, sizeof(HookSharedState));
  e.initTransform();
  e.setOutputType('\n', '.', 0, 1, 0);
  e.setTimeOut(1250);
}

}  // namespace
}  // namespace pellix
