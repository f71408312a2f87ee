// Driving a modal Settings sheet from a second thread, the way a person would: choices,
// clicks, typed text, and the message boxes that answer them.
#pragma once
#include <windows.h>

#include <string>

#include "ui/win32/settings_sheet.h"

namespace pellix {
namespace testing_ui {

struct ScriptContext {
  void (*run)(void* script, HWND sheet, HWND page);
  void* script;
  bool done;
};

DWORD WINAPI DriveSheet(void* context);

// Runs the modal sheet on this thread while `script(sheet, settingsPage)` drives it from
// another; the sheet is closed with its OK button afterwards.
template <typename Script>
bool WithSheet(SettingsSheetHost& host, Script script) {
  ScriptContext ctx{
      [](void* s, HWND sheet, HWND page) { (*static_cast<Script*>(s))(sheet, page); }, &script,
      false};
  HANDLE thread = CreateThread(nullptr, 0, &DriveSheet, &ctx, 0, nullptr);
  g_sheetState.open = 1;
  RunSettingsSheet(nullptr, &host);
  g_sheetState.open = 0;
  WaitForSingleObject(thread, 20000);
  CloseHandle(thread);
  return ctx.done;
}

// The text of a control.
std::string Text(HWND dialog, int id);
// Types into an edit the way WM_SETTEXT does (the edit reports EN_CHANGE).
void Type(HWND dialog, int id, const char* text);
// A button click that may open a modal box: posted, so this thread stays free to answer.
void PostClick(HWND dialog, int id);
void Click(HWND dialog, int id);

// Waits for a dialog window with this caption owned by this process; null after `ms`.
HWND WaitForDialog(const char* caption, int ms = 5000);
// Waits for a message box with this caption, returns its text and presses `button`.
std::string AnswerMessageBox(const char* caption, int button = IDOK, int ms = 5000);
// Presses `button` on a modal dialog and returns once the code that opened it has finished.
void Dismiss(HWND dialog, int button);

}  // namespace testing_ui
}  // namespace pellix
