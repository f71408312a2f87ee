// pellix-offer: offers scans to the running tray program as a sender other than the library
// would, and makes shortcuts, for the launch table under Wine.
//   pellix-offer scans FILE PAUSE_MS   for each line "TYPE HEXDATA SERIAL" of FILE (the data's
//                                      ANSI bytes in hex): three global atoms, KV_CC_MSG sent
//                                      to PellixWndCls and waited for, the atoms deleted after
//                                      (the data atom only when the program did not claim
//                                      it); PAUSE_MS between scans; prints how many were
//                                      claimed
//   pellix-offer shortcut LNK TARGET   save a shortcut LNK to TARGET through the shell
//   pellix-offer note TYPE DATA PROGRAM
//                                      offers one scan as the hook library does (WM_COPYDATA
//                                      with the tray note), as gone to PROGRAM; prints
//                                      "took" or "left", the program's answer
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "hooklib/core/hook_platform.h"

namespace {

int Offer(const char* file, int pauseMs) {
  HWND window = FindWindowA("PellixWndCls", nullptr);
  const UINT message = RegisterWindowMessageA("KV_CC_MSG");
  FILE* f = std::fopen(file, "rb");
  if (!window || !f) return 1;
  char type[64], hex[600], serial[64];
  int claimed = 0, sent = 0;
  while (std::fscanf(f, "%63s %599s %63s", type, hex, serial) == 3) {
    std::string data;
    for (size_t i = 0; hex[i] && hex[i + 1]; i += 2) {
      const char pair[3] = {hex[i], hex[i + 1], 0};
      data += static_cast<char>(std::strtoul(pair, nullptr, 16));
    }
    const ATOM dataAtom = GlobalAddAtomA(data.c_str());
    const ATOM serialAtom = GlobalAddAtomA(serial);
    const ATOM typeAtom = GlobalAddAtomA(type);
    DWORD_PTR result = 0;
    SendMessageTimeoutA(window, message, dataAtom, MAKELPARAM(typeAtom, serialAtom), SMTO_NORMAL,
                        3000, &result);
    char name[256];
    if (GlobalGetAtomNameA(dataAtom, name, sizeof name)) GlobalDeleteAtom(dataAtom);
    else ++claimed;
    GlobalDeleteAtom(serialAtom);
    GlobalDeleteAtom(typeAtom);
    ++sent;
    Sleep(static_cast<DWORD>(pauseMs));
  }
  std::fclose(f);
  std::printf("%d of %d claimed\n", claimed, sent);
  return 0;
}

int Shortcut(const char* path, const char* target) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IShellLinkA* link = nullptr;
  IPersistFile* file = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              reinterpret_cast<void**>(&link))))
    return 1;
  link->SetPath(target);
  wchar_t wide[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH);
  const bool saved = SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
                     SUCCEEDED(file->Save(wide, TRUE));
  if (file) file->Release();
  link->Release();
  return saved ? 0 : 1;
}

int Note(const char* type, const char* data, const char* program) {
  HWND window = FindWindowA("PellixWndCls", nullptr);
  if (!window) return 1;
  pellix::TrayNote note = {};
  note.kind = pellix::kNoteOffer;
  note.process = GetCurrentProcessId();
  note.burst = 1;
  lstrcpynA(note.type, type, sizeof note.type);
  lstrcpynA(note.data, data, sizeof note.data);
  lstrcpynA(note.program, program, sizeof note.program);
  COPYDATASTRUCT copy = {pellix::kTrayNoteTag, sizeof note, &note};
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy), SMTO_NORMAL,
                           5000, &result))
    return 1;
  std::printf("%s\n", result == pellix::kTrayTookScan ? "took"
                      : result == pellix::kTrayLeftScan ? "left" : "other");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "scans") == 0) return Offer(argv[2], std::atoi(argv[3]));
  if (argc >= 4 && std::strcmp(argv[1], "shortcut") == 0) return Shortcut(argv[2], argv[3]);
  if (argc >= 5 && std::strcmp(argv[1], "note") == 0) return Note(argv[2], argv[3], argv[4]);
  std::fprintf(stderr, "pellix-offer: unknown request\n");
  return 2;
}
