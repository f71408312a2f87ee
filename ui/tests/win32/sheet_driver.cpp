#include "ui/tests/win32/sheet_driver.h"

#include <prsht.h>

namespace pellix {
namespace testing_ui {

DWORD WINAPI DriveSheet(void* p) {
  auto* c = static_cast<ScriptContext*>(p);
  HWND page = nullptr;
  for (int i = 0; i < 200 && !(page = g_sheetState.settingsPage); ++i) Sleep(50);
  if (page) {
    Sleep(200);  // let the sheet finish its own start-up messages
    c->run(c->script, g_sheetState.sheet, page);
  }
  c->done = page != nullptr;
  if (HWND sheet = g_sheetState.sheet) PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
  return 0;
}

std::string Text(HWND dialog, int id) {
  char text[512] = {};
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

void Type(HWND dialog, int id, const char* text) {
  SendDlgItemMessageA(dialog, id, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

void PostClick(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void Click(HWND dialog, int id) { SendDlgItemMessageA(dialog, id, BM_CLICK, 0, 0); }

namespace {

struct Search {
  const char* caption;
  HWND found;
};

BOOL CALLBACK FindOwnDialog(HWND window, LPARAM lParam) {
  auto* s = reinterpret_cast<Search*>(lParam);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  char caption[128] = {}, cls[32] = {};
  GetWindowTextA(window, caption, sizeof caption);
  GetClassNameA(window, cls, sizeof cls);
  if (pid == GetCurrentProcessId() && IsWindowVisible(window) &&
      std::string(cls) == "#32770" && std::string(caption) == s->caption) {
    s->found = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK LongestStatic(HWND child, LPARAM lParam) {
  auto* best = reinterpret_cast<std::string*>(lParam);
  char cls[32] = {}, text[512] = {};
  GetClassNameA(child, cls, sizeof cls);
  GetWindowTextA(child, text, sizeof text);
  if (lstrcmpiA(cls, "Static") == 0 && std::string(text).size() > best->size()) *best = text;
  return TRUE;
}

BOOL CALLBACK FirstWindow(HWND window, LPARAM lParam) {
  *reinterpret_cast<HWND*>(lParam) = window;
  return FALSE;
}

}  // namespace

HWND WaitForDialog(const char* caption, int ms) {
  for (int waited = 0; waited <= ms; waited += 50) {
    Search s{caption, nullptr};
    EnumWindows(&FindOwnDialog, reinterpret_cast<LPARAM>(&s));
    if (s.found) return s.found;
    Sleep(50);
  }
  return nullptr;
}

std::string AnswerMessageBox(const char* caption, int button, int ms) {
  HWND box = WaitForDialog(caption, ms);
  if (!box) return "<no message box \"" + std::string(caption) + "\">";
  std::string text;
  EnumChildWindows(box, &LongestStatic, reinterpret_cast<LPARAM>(&text));
  Dismiss(box, button);
  return text;
}

void Dismiss(HWND dialog, int button) {
  const DWORD thread = GetWindowThreadProcessId(dialog, nullptr);
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
  for (int i = 0; i < 250 && IsWindow(dialog); ++i) Sleep(20);
  // The box is gone but the handler that opened it is still running on its thread (deleting
  // a key, refilling a list). A message sent to that thread is taken only once it returns.
  HWND other = nullptr;
  EnumThreadWindows(thread, &FirstWindow, reinterpret_cast<LPARAM>(&other));
  if (other) SendMessageTimeoutA(other, WM_NULL, 0, 0, SMTO_NORMAL, 5000, nullptr);
}

}  // namespace testing_ui
}  // namespace pellix
