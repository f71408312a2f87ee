// pellix-probe: looks at and pokes the running tray program from another process, as a user
// or another program could, for the tests under Wine.
//
//   pellix-probe msgbox CAPTION [SECONDS]    print "TEXT" of the message box so captioned,
//                                            press its OK; fails when none appears
//   pellix-probe wait-window CLASS [SECONDS] wait until a window of CLASS exists
//   pellix-probe wait-gone CLASS [SECONDS]   wait until no window of CLASS exists
//   pellix-probe no-window CAPTION SECONDS   fail if a window so captioned shows up
//   pellix-probe count CLASS CAPTION         print how many top-level windows match
//   pellix-probe command CLASS ID            post WM_COMMAND ID to the window of CLASS
//   pellix-probe notify CLASS LPARAM         post the tray callback (0x8064) with LPARAM
//   pellix-probe menu [SECONDS]              print the items of the open pop-up menu
//                                            (id, flags, text; submenus indented; read in
//                                            the menu's own thread through
//                                            pellix_menu_spy.dll), then close it
//   pellix-probe window CLASS                print the handle of the window of CLASS
//   pellix-probe tray-icon HANDLE            exit 0 while icon 105 of that window is in the
//                                            tray
//   pellix-probe tray-remove HANDLE          take icon 105 of that window out of the tray, as
//                                            a shell that restarts loses it
//   pellix-probe broadcast NAME              post the registered message NAME to every
//                                            top-level window (the shell's "TaskbarCreated")
//   pellix-probe hook DLL                    print the primary hook handle in the shared record
//                                            of DLL (the copy the tray program loaded)
//   pellix-probe unhook DLL                  remove that hook from here, as the system does
//                                            when it takes a hook away
//   pellix-probe keys COUNT                  press and release F14 COUNT times (keybd_event)
//   pellix-probe events SECONDS              print each rise of KV_CC_START and KV_CC_STOP
//                                            with the tick count (polled every millisecond)
//   pellix-probe mutex NAME                  exit 0 when the named mutex exists
//   pellix-probe install-hook DLL            load DLL, install its hooks on a window of its
//                                            own, print the result, remove them again
//   pellix-probe version                     print the platform id and version the program
//                                            is told (copied as pellix.exe, what the tray
//                                            program is told)
//   pellix-probe shell-time FILE [PARAMS]    print how long ShellExecuteA("open") of FILE
//                                            takes on the calling thread, in ms
//   pellix-probe ping CLASS MILLISECONDS     send WM_NULL to the window of CLASS over and
//                                            over for the time given; print the longest
//                                            round trip in ms
//   pellix-probe sheet-page INDEX            show page INDEX of the open Settings sheet
//   pellix-probe click CAPTION ID            press the button ID inside the top-level
//                                            window CAPTION (waits for it up to 10 s)
//   pellix-probe set-text CAPTION ID TEXT    set the text of control ID inside CAPTION
//   pellix-probe hold FILE MILLISECONDS [alone]
//                                            open FILE for reading as a spreadsheet may
//                                            (others may read and write; "alone": nobody
//                                            else), keep it open, then print how many bytes
//                                            it read through it
//   pellix-probe clipboard FILE [FORMAT]     write the clipboard's Unicode text to FILE in
//                                            UTF-8, or the text of the registered FORMAT
//   pellix-probe text CLASS CHILD            print the text of the first CHILD-class control
//                                            of the window of CLASS (another program's,
//                                            read as wide text), line breaks as "\n"
//   pellix-probe foreground                  print the class of the foreground window
//   pellix-probe wand-ll DATA...             type a C39 scan of each DATA as the wand would on
//                                            the low-level path (a hook of this process, set
//                                            after the library's, gives the keys the wand's
//                                            flags), a user's F14 stroke after each; print the
//                                            longest time a key spent in the hooks after ours
//                                            (the library's) in ms, and how many keys
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/encoder.h"
#include "hooklib/tests/win32/section.h"
#include "tray/tests/win32/wand_keys.h"

namespace {

// The first field of the library's shared record: its primary hook.
HHOOK* PrimaryHookOf(const char* dll) {
  HMODULE lib = LoadLibraryA(dll);
  const IMAGE_SECTION_HEADER* section = lib ? pellix::testing::FindSection(lib, "Shared") : nullptr;
  return section ? reinterpret_cast<HHOOK*>(pellix::testing::SectionBytes(lib, section)) : nullptr;
}

int Seconds(int argc, char** argv, int index, int fallback) {
  return argc > index ? std::atoi(argv[index]) : fallback;
}

HWND WaitWindow(const char* cls, const char* caption, int seconds) {
  for (int i = 0; i < seconds * 20; ++i) {
    HWND w = FindWindowA(cls, caption);
    if (w) return w;
    Sleep(50);
  }
  return nullptr;
}

BOOL CALLBACK CollectText(HWND child, LPARAM out) {
  char cls[32] = {};
  GetClassNameA(child, cls, sizeof cls);
  if (lstrcmpiA(cls, "Static") == 0) {
    char text[512] = {};
    GetWindowTextA(child, text, sizeof text);
    if (text[0]) *reinterpret_cast<std::string*>(out) += text;
  }
  return TRUE;
}

int MsgBox(const char* caption, int seconds) {
  HWND box = WaitWindow("#32770", caption, seconds);
  if (!box) {
    std::fprintf(stderr, "no message box captioned \"%s\"\n", caption);
    return 1;
  }
  Sleep(200);  // let it finish its layout
  std::string text;
  EnumChildWindows(box, &CollectText, reinterpret_cast<LPARAM>(&text));
  std::printf("%s\n", text.c_str());
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  return 0;
}

int Menu(int seconds) {
  HWND popup = WaitWindow("#32768", nullptr, seconds);
  if (!popup) {
    std::fprintf(stderr, "no pop-up menu\n");
    return 1;
  }
  // The menu's items live in the process that shows it: read them there.
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, sizeof self);
  std::string spyPath(self, std::strrchr(self, '\\') + 1);
  spyPath += "pellix_menu_spy.dll";
  HMODULE spy = LoadLibraryA(spyPath.c_str());
  HOOKPROC proc = spy ? reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(
                            GetProcAddress(spy, "PellixMenuSpyProc@12")))
                      : nullptr;
  if (!proc && spy) {
    proc = reinterpret_cast<HOOKPROC>(
        reinterpret_cast<void*>(GetProcAddress(spy, "PellixMenuSpyProc")));
  }
  if (!proc) {
    std::fprintf(stderr, "cannot load %s\n", spyPath.c_str());
    return 1;
  }
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  const std::string out = std::string(temp) + "pellix-menu-spy.txt";
  DeleteFileA(out.c_str());
  const DWORD thread = GetWindowThreadProcessId(popup, nullptr);
  HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, proc, spy, thread);
  if (!hook) {
    std::fprintf(stderr, "cannot hook the menu's thread\n");
    return 1;
  }
  int rc = 1;
  for (int i = 0; i < 100 && rc != 0; ++i) {
    PostThreadMessageA(thread, RegisterWindowMessageA("PellixMenuSpy"), 0, 0);
    Sleep(50);
    if (FILE* f = std::fopen(out.c_str(), "rb")) {
      char line[512];
      while (std::fgets(line, sizeof line, f)) std::fputs(line, stdout);
      std::fclose(f);
      rc = 0;
    }
  }
  UnhookWindowsHookEx(hook);
  std::fflush(stdout);
  // Close it as a user would.
  PostMessageA(popup, WM_KEYDOWN, VK_ESCAPE, 0);
  PostMessageA(popup, WM_KEYDOWN, VK_ESCAPE, 0);
  return rc;
}

struct CountRequest {
  const char* cls;
  const char* caption;
  int count;
};

// Under Wine only the wide WM_GETTEXT reads another process's edit control.
int PrintText(const char* cls, const char* childClass) {
  HWND top = FindWindowA(cls, nullptr);
  HWND child = top ? FindWindowExA(top, nullptr, childClass, nullptr) : nullptr;
  if (!child) {
    std::fprintf(stderr, "no %s in a window of class %s\n", childClass, cls);
    return 1;
  }
  const LRESULT length = SendMessageW(child, WM_GETTEXTLENGTH, 0, 0);
  std::wstring wide(static_cast<size_t>(length) + 1, L'\0');
  const LRESULT got = SendMessageW(child, WM_GETTEXT, wide.size(), reinterpret_cast<LPARAM>(&wide[0]));
  wide.resize(static_cast<size_t>(got > 0 ? got : 0));
  std::string text;
  for (size_t i = 0; i < wide.size(); ++i) {
    const wchar_t c = wide[i];
    if (c == L'\r') {
      if (i + 1 < wide.size() && wide[i + 1] == L'\n') ++i;
      text += '\n';
    } else {
      text += c < 128 ? static_cast<char>(c) : '?';
    }
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
  return 0;
}

BOOL CALLBACK CountWindow(HWND w, LPARAM p) {
  CountRequest* r = reinterpret_cast<CountRequest*>(p);
  char cls[64] = {}, caption[256] = {};
  GetClassNameA(w, cls, sizeof cls);
  GetWindowTextA(w, caption, sizeof caption);
  if (lstrcmpA(cls, r->cls) == 0 && lstrcmpA(caption, r->caption) == 0) ++r->count;
  return TRUE;
}

LRESULT CALLBACK PlainProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  return DefWindowProcA(w, m, wp, lp);
}

HHOOK g_wandShim = nullptr;
LARGE_INTEGER g_ticksPerSecond;
LONGLONG g_worstTicks = 0;
int g_timedKeys = 0;

// Set after the library's hook, so called before it: the time CallNextHookEx takes is the
// time the key waits for the library's hook (and its thread).
LRESULT CALLBACK WandShimProc(int code, WPARAM wParam, LPARAM lParam) {
  if (code != HC_ACTION) return CallNextHookEx(g_wandShim, code, wParam, lParam);
  auto* key = reinterpret_cast<KBDLLHOOKSTRUCT*>(lParam);
  pellix::testing::MakeWandLike(key);
  LARGE_INTEGER t0, t1;
  QueryPerformanceCounter(&t0);
  const LRESULT result = CallNextHookEx(g_wandShim, code, wParam, lParam);
  QueryPerformanceCounter(&t1);
  if (key->dwExtraInfo == pellix::testing::kWandTag || key->vkCode == VK_F14) {
    if (t1.QuadPart - t0.QuadPart > g_worstTicks) g_worstTicks = t1.QuadPart - t0.QuadPart;
    ++g_timedKeys;
  }
  return result;
}

void WandKey(BYTE vk, BYTE scan, bool up, ULONG_PTR extra) {
  keybd_event(vk, scan, up ? KEYEVENTF_KEYUP : 0, extra);
  Sleep(4);
}

struct WandScans {
  int count;
  char** data;
};

DWORD WINAPI TypeWandScans(void* p) {
  const WandScans* scans = static_cast<WandScans*>(p);
  for (int i = 0; i < scans->count; ++i) {
    pellix::testing::TypeWandBurst(
        pellix::EncodeWandText("0123456789", "C39", scans->data[i]),
        [](BYTE vk, BYTE scan, bool up) { WandKey(vk, scan, up, pellix::testing::kWandTag); });
    Sleep(300);  // the user types a little after each scan
    WandKey(VK_F14, 0x65, false, 0);
    WandKey(VK_F14, 0x65, true, 0);
  }
  return 0;
}

int WandLowLevel(int count, char** data) {
  QueryPerformanceFrequency(&g_ticksPerSecond);
  g_wandShim = SetWindowsHookExA(WH_KEYBOARD_LL, &WandShimProc, GetModuleHandleA(nullptr), 0);
  if (!g_wandShim) return 1;
  WandScans scans = {count, data};
  HANDLE typist = CreateThread(nullptr, 0, &TypeWandScans, &scans, 0, nullptr);
  if (!typist) return 1;
  // This thread serves the shim until the typist is done.
  while (MsgWaitForMultipleObjects(1, &typist, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }
  CloseHandle(typist);
  UnhookWindowsHookEx(g_wandShim);
  std::printf("%.1f %d\n", 1000.0 * static_cast<double>(g_worstTicks) / g_ticksPerSecond.QuadPart,
              g_timedKeys);
  return 0;
}

int InstallHook(const char* dll) {
  HMODULE lib = LoadLibraryA(dll);
  if (!lib) {
    std::fprintf(stderr, "cannot load %s\n", dll);
    return 1;
  }
  typedef int(__stdcall * InstallFn)(void*, int);
  typedef int(__stdcall * RemoveFn)();
  InstallFn install = reinterpret_cast<InstallFn>(
      reinterpret_cast<void*>(GetProcAddress(lib, "Pellix_InstallHook")));
  RemoveFn remove = reinterpret_cast<RemoveFn>(
      reinterpret_cast<void*>(GetProcAddress(lib, "Pellix_RemoveHook")));
  if (!install || !remove) return 1;
  WNDCLASSA wc = {};
  wc.lpfnWndProc = &PlainProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "PellixProbeWnd";
  RegisterClassA(&wc);
  HWND w = CreateWindowExA(0, "PellixProbeWnd", "", 0, 0, 0, 0, 0, nullptr, nullptr,
                           wc.hInstance, nullptr);
  const int result = install(w, 1);
  std::printf("%d\n", result);
  if (result) remove();
  DestroyWindow(w);
  FreeLibrary(lib);
  return result ? 0 : 1;
}

int Ping(const char* cls, int ms) {
  HWND w = FindWindowA(cls, nullptr);
  if (!w) return 1;
  DWORD worst = 0;
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < static_cast<DWORD>(ms)) {
    const DWORD t0 = GetTickCount();
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(w, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result)) {
      worst = 5000;
      break;
    }
    const DWORD took = GetTickCount() - t0;
    if (took > worst) worst = took;
    Sleep(1);
  }
  std::printf("%lu\n", static_cast<unsigned long>(worst));
  return 0;
}

struct ControlRequest {
  int id;
  const char* cls;  // null: any
  HWND found;
};

BOOL CALLBACK FindControl(HWND w, LPARAM p) {
  ControlRequest* r = reinterpret_cast<ControlRequest*>(p);
  char cls[64] = {};
  GetClassNameA(w, cls, sizeof cls);
  if (GetDlgCtrlID(w) == r->id && IsWindowVisible(w) && (!r->cls || lstrcmpiA(cls, r->cls) == 0)) {
    r->found = w;
    return FALSE;
  }
  return TRUE;
}

// A control by id anywhere below a top-level window of that caption (the pages of a sheet
// are dialogs within it).
HWND Control(const char* caption, int id, const char* cls = nullptr) {
  HWND top = WaitWindow(nullptr, caption, 10);
  if (!top) return nullptr;
  for (int i = 0; i < 100; ++i) {
    ControlRequest r = {id, cls, nullptr};
    EnumChildWindows(top, &FindControl, reinterpret_cast<LPARAM>(&r));
    if (r.found) return r.found;
    Sleep(50);
  }
  return nullptr;
}

int Click(const char* caption, int id) {
  HWND button = Control(caption, id, "Button");
  if (!button) return 1;
  // What a click sends the button's parent. Posted: the click may open a modal dialog,
  // which a sent message would wait for. A post from another process does not wake a modal
  // loop by itself: WM_NULL to its thread does.
  PostMessageA(GetParent(button), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(button));
  PostThreadMessageA(GetWindowThreadProcessId(button, nullptr), WM_NULL, 0, 0);
  return 0;
}

int SetText(const char* caption, int id, const char* text) {
  HWND control = Control(caption, id);
  if (!control) return 1;
  wchar_t wide[MAX_PATH * 2] = {};
  MultiByteToWideChar(CP_ACP, 0, text, -1, wide, MAX_PATH * 2 - 1);
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide),
                             SMTO_NORMAL, 5000, &result) ? 0 : 1;
}

// Holds the file open for `ms`, shared for reading and writing as a spreadsheet does, or
// `alone`, as an antivirus scan or a sync client may.
int Hold(const char* path, int ms, bool alone) {
  HANDLE file = CreateFileA(path, GENERIC_READ, alone ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  Sleep(static_cast<DWORD>(ms));
  char buffer[65536];
  DWORD got = 0;
  ReadFile(file, buffer, sizeof buffer, &got, nullptr);
  CloseHandle(file);
  std::printf("%lu\n", static_cast<unsigned long>(got));
  return 0;
}

// The clipboard's Unicode text, as UTF-8, or the text of a format named by its registered name.
int Clipboard(const char* path, const char* format) {
  for (int i = 0; i < 50 && !OpenClipboard(nullptr); ++i) Sleep(100);
  const UINT id = format ? RegisterClipboardFormatA(format) : CF_UNICODETEXT;
  HANDLE data = GetClipboardData(id);
  const void* bytes = data ? GlobalLock(data) : nullptr;
  std::string text;
  if (bytes && format) {
    text = static_cast<const char*>(bytes);
  } else if (bytes) {
    const wchar_t* wide = static_cast<const wchar_t*>(bytes);
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    text.resize(n > 0 ? n : 1);
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, &text[0], n, nullptr, nullptr);
    text.resize(std::strlen(text.c_str()));
  }
  FILE* f = std::fopen(path, "wb");
  if (f) std::fwrite(text.data(), 1, text.size(), f);
  if (f) std::fclose(f);
  if (bytes) GlobalUnlock(data);
  CloseClipboard();
  return bytes && f ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string verb = argv[1];
  if (verb == "msgbox" && argc >= 3) return MsgBox(argv[2], Seconds(argc, argv, 3, 10));
  if (verb == "wait-window" && argc >= 3) {
    return WaitWindow(argv[2], nullptr, Seconds(argc, argv, 3, 10)) ? 0 : 1;
  }
  if (verb == "wait-gone" && argc >= 3) {
    const int seconds = Seconds(argc, argv, 3, 10);
    for (int i = 0; i < seconds * 20; ++i) {
      if (!FindWindowA(argv[2], nullptr)) return 0;
      Sleep(50);
    }
    return 1;
  }
  if (verb == "no-window" && argc >= 4) {
    return WaitWindow(nullptr, argv[2], Seconds(argc, argv, 3, 1)) ? 1 : 0;
  }
  if (verb == "count" && argc >= 4) {
    CountRequest r = {argv[2], argv[3], 0};
    EnumWindows(&CountWindow, reinterpret_cast<LPARAM>(&r));
    std::printf("%d\n", r.count);
    return 0;
  }
  if ((verb == "command" || verb == "notify") && argc >= 4) {
    HWND w = FindWindowA(argv[2], nullptr);
    if (!w) return 1;
    const long value = std::strtol(argv[3], nullptr, 0);
    return (verb == "command" ? PostMessageA(w, WM_COMMAND, static_cast<WPARAM>(value), 0)
                              : PostMessageA(w, 0x8064, 0, static_cast<LPARAM>(value)))
               ? 0
               : 1;
  }
  if (verb == "menu") return Menu(Seconds(argc, argv, 2, 10));
  if (verb == "window" && argc >= 3) {
    HWND w = FindWindowA(argv[2], nullptr);
    if (!w) return 1;
    std::printf("0x%lx\n", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(w)));
    return 0;
  }
  if (verb == "tray-icon" && argc >= 3) {
    HWND w = reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoul(argv[2], nullptr, 0)));
    NOTIFYICONDATAA icon = {};
    icon.cbSize = NOTIFYICONDATAA_V1_SIZE;
    icon.hWnd = w;
    icon.uID = 105;
    icon.uFlags = NIF_TIP;
    lstrcpynA(icon.szTip, "Pellix", 64);
    return Shell_NotifyIconA(NIM_MODIFY, &icon) ? 0 : 1;
  }
  if (verb == "tray-remove" && argc >= 3) {
    NOTIFYICONDATAA icon = {};
    icon.cbSize = NOTIFYICONDATAA_V1_SIZE;
    icon.hWnd = reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoul(argv[2], nullptr, 0)));
    icon.uID = 105;
    return Shell_NotifyIconA(NIM_DELETE, &icon) ? 0 : 1;
  }
  if (verb == "broadcast" && argc >= 3) {
    const UINT message = RegisterWindowMessageA(argv[2]);
    return message && PostMessageA(HWND_BROADCAST, message, 0, 0) ? 0 : 1;
  }
  if ((verb == "hook" || verb == "unhook") && argc >= 3) {
    HHOOK* hook = PrimaryHookOf(argv[2]);
    if (!hook || !*hook) return 1;
    if (verb == "unhook") return UnhookWindowsHookEx(*hook) ? 0 : 1;
    std::printf("0x%lx\n", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(*hook)));
    return 0;
  }
  if (verb == "events" && argc >= 3) {
    // Each rise of KV_CC_START and KV_CC_STOP, with the tick count, for SECONDS.
    HANDLE ev[2] = {OpenEventA(SYNCHRONIZE, FALSE, "KV_CC_START"),
                    OpenEventA(SYNCHRONIZE, FALSE, "KV_CC_STOP")};
    if (!ev[0] || !ev[1]) return 1;
    bool was[2] = {false, false};
    const DWORD end = GetTickCount() + 1000u * static_cast<DWORD>(std::atoi(argv[2]));
    while (static_cast<int>(end - GetTickCount()) > 0) {
      for (int i = 0; i < 2; ++i) {
        const bool set = WaitForSingleObject(ev[i], 0) == WAIT_OBJECT_0;
        if (set && !was[i]) std::printf("%lu %s\n", GetTickCount(), i ? "stop" : "start");
        was[i] = set;
      }
      std::fflush(stdout);
      Sleep(1);
    }
    return 0;
  }
  if (verb == "keys" && argc >= 3) {
    for (int i = std::atoi(argv[2]); i > 0; --i) {
      keybd_event(VK_F14, 0x65, 0, 0);
      keybd_event(VK_F14, 0x65, KEYEVENTF_KEYUP, 0);
      Sleep(20);
    }
    return 0;
  }
  if (verb == "mutex" && argc >= 3) {
    HANDLE m = OpenMutexA(SYNCHRONIZE, FALSE, argv[2]);
    if (!m) return 1;
    CloseHandle(m);
    return 0;
  }
  if (verb == "version") {
    OSVERSIONINFOA v = {};
    v.dwOSVersionInfoSize = sizeof v;
    GetVersionExA(&v);
    std::printf("%lu %lu.%lu\n", v.dwPlatformId, v.dwMajorVersion, v.dwMinorVersion);
    return 0;
  }
  if (verb == "install-hook" && argc >= 3) return InstallHook(argv[2]);
  if (verb == "shell-time" && argc >= 3) {
    const DWORD t0 = GetTickCount();
    const INT_PTR r = reinterpret_cast<INT_PTR>(
        ShellExecuteA(nullptr, "open", argv[2], argc > 3 ? argv[3] : nullptr, nullptr,
                      SW_SHOWNORMAL));
    std::printf("%lu\n", static_cast<unsigned long>(GetTickCount() - t0));
    return r > 32 ? 0 : 1;
  }
  if (verb == "ping" && argc >= 4) return Ping(argv[2], std::atoi(argv[3]));
  if (verb == "sheet-page" && argc >= 3) {
    HWND sheet = FindWindowA("#32770", "Pellix");
    DWORD_PTR result = 0;
    return sheet && SendMessageTimeoutA(sheet, 0x0465 /* PSM_SETCURSEL */, std::atoi(argv[2]), 0,
                                        SMTO_NORMAL, 5000, &result) ? 0 : 1;
  }
  if (verb == "click" && argc >= 4) return Click(argv[2], std::atoi(argv[3]));
  if (verb == "press" && argc >= 4) {  // a check box toggled as a click toggles it
    HWND button = Control(argv[2], std::atoi(argv[3]), "Button");
    DWORD_PTR result = 0;
    return button && SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_NORMAL, 5000, &result) ? 0 : 1;
  }
  if (verb == "set-text" && argc >= 5) return SetText(argv[2], std::atoi(argv[3]), argv[4]);
  if (verb == "clipboard" && argc >= 3) return Clipboard(argv[2], argc >= 4 ? argv[3] : nullptr);
  if (verb == "hold" && argc >= 4)
    return Hold(argv[2], std::atoi(argv[3]), argc >= 5 && std::strcmp(argv[4], "alone") == 0);
  if (verb == "text" && argc >= 4) return PrintText(argv[2], argv[3]);
  if (verb == "foreground") {
    char cls[64] = {};
    GetClassNameA(GetForegroundWindow(), cls, sizeof cls);
    std::printf("%s\n", cls);
    return 0;
  }
  if (verb == "end-session") {
    // What Windows does at logoff: asks, tells, then ends the process. The ms the program
    // took over WM_ENDSESSION.
    HWND w = FindWindowA("PellixWndCls", nullptr);
    DWORD process = 0;
    if (!w || !GetWindowThreadProcessId(w, &process)) return 1;
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(w, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 5000,
                             &result) || !result)
      return 1;
    const DWORD t0 = GetTickCount();
    SendMessageTimeoutA(w, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, 10000, &result);
    std::printf("%lu\n", static_cast<unsigned long>(GetTickCount() - t0));
    HANDLE h = OpenProcess(PROCESS_TERMINATE, FALSE, process);
    const bool ended = h && TerminateProcess(h, 1);
    if (h) CloseHandle(h);
    return ended ? 0 : 1;
  }
  if (verb == "wand-ll" && argc >= 3) return WandLowLevel(argc - 2, argv + 2);
  std::fprintf(stderr, "pellix-probe: unknown request\n");
  return 2;
}
