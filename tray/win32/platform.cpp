// The real platform behind scan handling and the driver path.
#include <windows.h>

#include "tray/core/tray_menu.h"
#include "engine/output.h"
#include "tray/win32/history.h"
#include "tray/win32/shell_notify.h"
#include "tray/win32/tray_app.h"
#include "ui/win32/settings_sheet.h"
#include "ui/win32/shell_open.h"

namespace pellix {

WindowRef Win32TrayPort::ForegroundWindow() { return GetForegroundWindow(); }

SheetView Win32TrayPort::Sheet() {
  SheetView view;
  view.open = g_sheetState.open != 0;
  view.sheet = g_sheetState.sheet;
  view.settingsPage = g_sheetState.settingsPage;
  return view;
}

void Win32TrayPort::Beep(int32_t beepType) { MessageBeep(static_cast<UINT>(beepType)); }

void Win32TrayPort::ShowTrace(WindowRef settingsPage, const char* serial, const char* type,
                              const char* data) {
  HWND page = static_cast<HWND>(const_cast<void*>(settingsPage));
  SetDlgItemTextA(page, 1027, serial);
  SetDlgItemTextA(page, 1028, type);
  SetDlgItemTextA(page, 1029, data);
}

bool Win32TrayPort::ReadAtom(uint16_t atom, char* text, int capacity) {
  text[0] = '\0';
  return atom != 0 && GlobalGetAtomNameA(atom, text, capacity) != 0;
}

void Win32TrayPort::DeleteAtom(uint16_t atom) { GlobalDeleteAtom(atom); }

void Win32TrayPort::Reply(intptr_t result) { ReplyMessage(result); }

void Win32TrayPort::NoteScan(const char* type, const char* data, ScanAction action) {
  HandOverScan(type, data, action);
}

bool Win32TrayPort::OwnWindow(WindowRef window) {
  DWORD process = 0;
  GetWindowThreadProcessId(static_cast<HWND>(const_cast<void*>(window)), &process);
  return process == GetCurrentProcessId();
}

void Win32TrayPort::TellRefusal(const char* code, const char* why) {
  char text[256];
  wsprintfA(text, "Profile entry %.16s: %.200s", code, why);
  ShowTrayBalloon(g_app.mainWindow, kTrayIconId, "Pellix did not start the scan's command", text);
}

int16_t Win32KeyboardLayout::KeyScan(char c) { return static_cast<int16_t>(VkKeyScanA(c)); }

uint32_t Win32KeyboardLayout::ScanCodeOf(uint32_t virtualKey) {
  return MapVirtualKeyA(virtualKey, 0);
}

// Windows 9x marks a dead key in bit 15 of the answer, NT in bit 31; a character is 0..255.
bool Win32KeyboardLayout::IsDeadKey(uint32_t virtualKey) {
  return (MapVirtualKeyA(virtualKey, 2) & 0x80008000u) != 0;
}

bool DeviceDriverPort::Control(uint32_t code, const void* in, uint32_t inSize, void* out,
                               uint32_t outSize, uint32_t* bytesReturned) {
  DWORD returned = 0;
  const BOOL ok = DeviceIoControl(device_, code, const_cast<void*>(in), inSize, out, outSize,
                                  &returned, nullptr);
  if (bytesReturned) *bytesReturned = returned;
  return ok != FALSE;
}

namespace {

void YieldSlice() { Sleep(0); }

// A key the driver's codes cannot carry (AltGr's): typed here, its modifiers held around it.
void TypeHeldKey(int16_t key) {
  const BYTE vk = static_cast<BYTE>(key & 0xff);
  const BYTE held[3] = {static_cast<BYTE>((key & kNeedsShift) ? VK_SHIFT : 0),
                        static_cast<BYTE>((key & kNeedsCtrl) ? VK_CONTROL : 0),
                        static_cast<BYTE>((key & kNeedsAlt) ? VK_MENU : 0)};
  for (BYTE m : held)
    if (m) keybd_event(m, 0, 0, 0);
  keybd_event(vk, 0, 0, 0);
  keybd_event(vk, 0, KEYEVENTF_KEYUP, 0);
  for (int i = 2; i >= 0; --i)
    if (held[i]) keybd_event(held[i], 0, KEYEVENTF_KEYUP, 0);
}

}  // namespace

VOID CALLBACK DriverScanRoutine(ULONG_PTR record) {
  // Runs on the driver thread: only the driver, the settings, the profile table and the
  // sheet's handles are read, as they stand.
  static Win32TrayPort port;
  static ShellLauncher launcher;
  static Win32KeyboardLayout layout;
  if (!record || !g_app.driver) return;
  DriverScanContext context = {g_app.driver,   &port,       &launcher,  &layout,
                               &g_app.table,    &g_app.settings, &YieldSlice, &TypeHeldKey,
                               &IgnoreRepeat};
  ProcessDriverScan(reinterpret_cast<DriverScanRecord*>(record), context);
}

DWORD WINAPI DriverThread(LPVOID) {
  if (!g_app.stopEvent || !g_app.driver) return 0;
  ResetEvent(g_app.stopEvent);
  DriverAddress routine = reinterpret_cast<DriverAddress>(&DriverScanRoutine);
  g_app.driver->Control(kDriverCodeRegisterApc, &routine, sizeof routine, nullptr, 0, nullptr);
  // An APC that has run goes straight back to waiting. A wait that fails (the event is gone)
  // ends the thread too instead of spinning.
  DWORD woke;
  do {
    woke = WaitForSingleObjectEx(g_app.stopEvent, INFINITE, TRUE);
  } while (woke == WAIT_IO_COMPLETION);
  DriverAddress none = nullptr;
  g_app.driver->Control(kDriverCodeRegisterApc, &none, sizeof none, nullptr, 0, nullptr);
  g_app.driverThreadId = 0;
  return 0;
}

}  // namespace pellix
