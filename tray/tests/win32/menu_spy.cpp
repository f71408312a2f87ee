// pellix_menu_spy.dll: read a pop-up menu from inside the process that shows it. Wine keeps
// a menu's items in the owning process, so pellix-probe hooks this library into the tray
// program's thread; when the hooked thread retrieves the registered message
// "PellixMenuSpy", the open pop-up menu is written, item by item, to the temporary file
// "pellix-menu-spy.txt".
#include <windows.h>

#include <cstdio>

namespace {

void Dump(FILE* f, HMENU menu, int depth) {
  const int n = GetMenuItemCount(menu);
  const UINT defaultId = GetMenuDefaultItem(menu, FALSE, 0);
  for (int i = 0; i < n; ++i) {
    char text[256] = {};
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_STATE | MIIM_SUBMENU | MIIM_TYPE;
    info.dwTypeData = text;
    info.cch = sizeof text;
    if (!GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info)) continue;
    const bool isDefault = !info.hSubMenu && defaultId != static_cast<UINT>(-1) &&
                           info.wID == defaultId;
    std::fprintf(f, "%*s%u%s%s%s %s\n", depth * 2, "", info.hSubMenu ? 0u : info.wID,
                 (info.fType & MFT_SEPARATOR) ? " separator" : "",
                 (info.fState & MFS_CHECKED) ? " checked" : "", isDefault ? " default" : "",
                 (info.fType & MFT_SEPARATOR) ? "" : text);
    if (info.hSubMenu) Dump(f, info.hSubMenu, depth + 1);
  }
}

void DumpOpenMenu() {
  char path[MAX_PATH];
  const DWORD n = GetTempPathA(sizeof path - 32, path);
  if (n == 0 || n >= sizeof path - 32) return;
  lstrcatA(path, "pellix-menu-spy.txt");
  char tmp[MAX_PATH + 8];
  wsprintfA(tmp, "%s.tmp", path);
  FILE* f = std::fopen(tmp, "wb");
  if (!f) return;
  HWND popup = FindWindowA("#32768", nullptr);
  HMENU menu = popup ? reinterpret_cast<HMENU>(SendMessageA(popup, 0x01E1, 0, 0)) : nullptr;
  if (menu) {
    Dump(f, menu, 0);
  } else {
    std::fprintf(f, "no menu\n");
  }
  std::fclose(f);
  MoveFileExA(tmp, path, MOVEFILE_REPLACE_EXISTING);
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK PellixMenuSpyProc(int code, WPARAM wParam,
                                                                   LPARAM lParam) {
  static UINT spyMessage = RegisterWindowMessageA("PellixMenuSpy");
  if (code == HC_ACTION) {
    MSG* msg = reinterpret_cast<MSG*>(lParam);
    if (msg->message == spyMessage) {
      msg->message = WM_NULL;
      if (wParam == PM_REMOVE) DumpOpenMenu();
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}
