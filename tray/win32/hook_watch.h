// The watch over the low-level hook: raw keyboard input counted on the main window beside the
// hook library's own count, checked by HookWatchdog on a timer; a lost hook is reinstalled.
// Everything here runs on the thread that installed the hook (the hook's own thread).
#pragma once
#include <windows.h>

#include <cstdint>

#include "hooklib/exports.h"
#include "tray/core/hook_watchdog.h"

namespace pellix {

constexpr char kHookReinstalledText[] = "Pellix reinstalled its keyboard hook.";
constexpr char kHookBackOffText[] =
    "Another program takes keys before Pellix's keyboard hook sees them. Pellix checks its "
    "hook less often now.";

// What the watch does about a lost hook.
class HookWatchHost {
 public:
  virtual ~HookWatchHost() = default;
  // Remove and install the hook again, as a fresh installation; true when it is back.
  virtual bool Reinstall() = 0;
  // Say so to the user; asked for once per run, after the first reinstallation that held,
  // and once when reinstallations that do not hold make the watch back off.
  virtual void ShowReinstalled(const char* text) = 0;
};

class HookWatch {
 public:
  static constexpr UINT_PTR kTimerId = 0x504C;

  // Starts watching for `window` (which receives the raw input and the timer). False, and
  // nothing started, where raw input does not exist (Windows 98 SE, 2000) or the library has
  // no keystroke count.
  bool Start(HWND window, GetKeyCountFn keyCount, HookWatchHost* host);
  void Stop();
  // WM_INPUT and the timer, as the window receives them; every other message is ignored. The
  // window still passes WM_INPUT to DefWindowProc.
  void OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  uint32_t RawKeystrokes() const { return raw_; }

 private:
  HWND window_ = nullptr;
  GetKeyCountFn keyCount_ = nullptr;
  HookWatchHost* host_ = nullptr;
  HookWatchdog rule_;
  uint32_t raw_ = 0;
  bool told_ = false;  // the balloon was asked for
  bool toldBackOff_ = false;
};

// The tray program's watch (library mode, low-level hook): started by the main window once
// the hook is installed, stopped before it is removed.
void StartHookWatch(HWND window);
void StopHookWatch();
void OnHookWatchMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace pellix
