// A second process for the library's cross-process tests: it loads KEYWEDGE.DLL and does one
// thing, reporting through its exit code.
//   hooklib_peer expect-settings TERM SEP STYLE BEEP BEEPTYPE TIMEOUT   0 when all match
//   hooklib_peer del-transform CODE        the result of Pellix_DelTransform
//   hooklib_peer install FORCE             the result of Pellix_InstallHook, then removes
//   hooklib_peer install-and-hang FORCE STATE EVENT
//       installs, leaves the recognizer in STATE, signals the named EVENT and waits forever
//   hooklib_peer exercise                  calls every export and pumps keys; 0 if it lived
//   hooklib_peer type-own-key VK           types VK as the library does, with its mark
//   hooklib_peer set-applications PROGRAM PACE   hands over a table with that one row (keys
//                                          only); the result of Pellix_SetApplications
//   hooklib_peer front EVENT               a window of its own in front; signals the named
//                                          EVENT and stays up for 10 s
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "hooklib/core/hook_platform.h"
#include "hooklib/core/shared_state.h"
#include "hooklib/exports.h"
#include "hooklib/win32/bind_exports.h"
#include "hooklib/tests/win32/section.h"

using namespace pellix;

namespace {

void Pump(DWORD ms) {
  const DWORD end = GetTickCount() + ms;
  MSG msg;
  while (static_cast<int>(end - GetTickCount()) > 0) {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    Sleep(5);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 100;
  HMODULE dll = LoadLibraryA("KEYWEDGE.DLL");
  if (!dll) return 101;
  HookLibraryExports e{};
  if (!BindHookExports(dll, &e)) return 102;
  const char* what = argv[1];
  if (std::strcmp(what, "expect-settings") == 0 && argc == 8) {
    char t = 1, s = 1;
    int style = -1, beep = -1, type = -1;
    e.getOutputType(&t, &s, &style, &beep, &type);
    const bool same = t == std::atoi(argv[2]) && s == std::atoi(argv[3]) &&
                      style == std::atoi(argv[4]) && beep == std::atoi(argv[5]) &&
                      type == std::atoi(argv[6]) &&
                      e.getTimeOut() == static_cast<unsigned>(std::atoi(argv[7]));
    return same ? 0 : 1;
  }
  if (std::strcmp(what, "del-transform") == 0 && argc == 3) return e.delTransform(argv[2]);
  if (std::strcmp(what, "install") == 0 && argc == 3) {
    const int r = e.installHook(nullptr, std::atoi(argv[2]));
    if (r) e.removeHook();
    return r;
  }
  if (std::strcmp(what, "install-and-hang") == 0 && argc == 5) {
    if (!e.installHook(nullptr, std::atoi(argv[2]))) return 103;
    const IMAGE_SECTION_HEADER* section = testing::FindSection(dll, "Shared");
    auto* shared = reinterpret_cast<HookSharedState*>(testing::SectionBytes(dll, section));
    shared->recognizerState = std::atoi(argv[3]);
    shared->prefixPosition = 2;
    shared->keyBuffer.length = 3;
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[4]);
    if (!ready) return 104;
    SetEvent(ready);
    for (;;) Pump(1000);
  }
  if (std::strcmp(what, "take-step") == 0) {  // 0 when the step lock was had and given back
    HANDLE lock = OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, "KV_CC_STEP");
    if (!lock) return 105;
    const DWORD w = WaitForSingleObject(lock, 2000);
    if (w != WAIT_OBJECT_0 && w != WAIT_ABANDONED) return 106;
    ReleaseMutex(lock);
    return 0;
  }
  if (std::strcmp(what, "set-applications") == 0 && argc == 4) {
    const auto set = reinterpret_cast<SetApplicationsFn>(
        reinterpret_cast<void*>(GetProcAddress(dll, kSetApplicationsName)));
    static AppRules rules = {};
    rules.count = 1;
    lstrcpynA(rules.rules[0].program, argv[2], kProgramNameSize);
    rules.rules[0].paceMs = static_cast<uint32_t>(std::atoi(argv[3]));
    rules.rules[0].method = kMethodKeysOnly;
    rules.rules[0].profile = kCurrentProfile;
    return set ? set(&rules) : 107;
  }
  if (std::strcmp(what, "front") == 0 && argc == 3) {
    HWND window = CreateWindowExA(0, "STATIC", "peer", WS_POPUP | WS_VISIBLE, 0, 0, 100, 40,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    SetForegroundWindow(window);
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
    if (!window || !ready) return 108;
    SetEvent(ready);
    Pump(10000);
    return 0;
  }
  if (std::strcmp(what, "type-own-key") == 0 && argc == 3) {
    const BYTE vk = static_cast<BYTE>(std::atoi(argv[2]));
    const BYTE scan = static_cast<BYTE>(MapVirtualKeyA(vk, 0));
    keybd_event(vk, scan, 0, kOwnKeyMark);
    keybd_event(vk, scan, KEYEVENTF_KEYUP, kOwnKeyMark);
    return 0;
  }
  if (std::strcmp(what, "exercise") == 0) {
    char t, s;
    int style, beep, type;
    e.getOutputType(&t, &s, &style, &beep, &type);
    e.setOutputType('\n', '.', 3, 1, 0);
    e.setTimeOut(e.getTimeOut());
    e.addTransform("ABC", "++", 1);
    e.delTransform("XYZ");
    for (int i = 0; i < 20; ++i) {
      keybd_event(VK_SHIFT, 0, 0, 0);
      keybd_event(VK_SHIFT, 0, KEYEVENTF_KEYUP, 0);
    }
    Pump(200);
    return 0;
  }
  return 105;
}
