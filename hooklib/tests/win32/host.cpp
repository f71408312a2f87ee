// A stand-in for the tray program in end-to-end tests: loads KEYWEDGE.DLL, installs the
// hooks for its hidden window, applies output settings, and runs until closed or killed.
//   hooklib_host.exe --force N --style N --sep N --term N [--timeout MS] [--ready FILE]
// Characters are given as numbers (46 = '.', 10 = line feed, 0 = none). The ready file is
// written once the hooks are installed, holding "1", or "0" when installation failed.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "hooklib/exports.h"
#include "hooklib/win32/bind_exports.h"

using namespace pellix;

namespace {

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
  int force = 1, style = 0, sep = '.', term = '\n';
  unsigned timeout = 1250;
  std::string ready;
  for (int i = 1; i + 1 < argc; i += 2) {
    const char* v = argv[i + 1];
    if (!std::strcmp(argv[i], "--force")) force = std::atoi(v);
    else if (!std::strcmp(argv[i], "--style")) style = std::atoi(v);
    else if (!std::strcmp(argv[i], "--sep")) sep = std::atoi(v);
    else if (!std::strcmp(argv[i], "--term")) term = std::atoi(v);
    else if (!std::strcmp(argv[i], "--timeout")) timeout = static_cast<unsigned>(std::atoi(v));
    else if (!std::strcmp(argv[i], "--ready")) ready = v;
  }
  HMODULE dll = LoadLibraryA("KEYWEDGE.DLL");
  if (!dll) return 2;
  HookLibraryExports e{};
  if (!BindHookExports(dll, &e)) return 3;

  WNDCLASSA wc = {};
  wc.lpfnWndProc = WndProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "PellixTestHost";
  RegisterClassA(&wc);
  HWND window = CreateWindowExA(0, wc.lpszClassName, "Pellix Test Host", WS_OVERLAPPED, 0, 0,
                                10, 10, nullptr, nullptr, wc.hInstance, nullptr);
  const int installed = e.installHook(window, force);
  e.setOutputType(static_cast<char>(term), static_cast<char>(sep), static_cast<unsigned>(style),
                  1, 0);
  e.setTimeOut(timeout);
  if (!ready.empty()) {
    if (FILE* f = std::fopen(ready.c_str(), "wb")) {
      std::fputs(installed ? "1" : "0", f);
      std::fclose(f);
    }
  }
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  e.removeHook();
  FreeLibrary(dll);
  return installed ? 0 : 1;
}
