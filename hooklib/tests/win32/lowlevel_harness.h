// The low-level path under Wine, with everything after the hook procedure real: a target
// program in another process with a focused multi-line edit control, a receiver window for
// KV_CC_MSG on a thread of its own, the delivery thread, atoms and keybd_event. Keystrokes
// are fed to LowLevelHookProc as real KBDLLHOOKSTRUCT records (Wine does not set the Alt flag
// of X input, so the wand's prefix cannot come from the X keyboard on this path).
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace pellix::testing {

// Milliseconds on the performance counter.
double NowMs();

// Dispatches this thread's messages (the low-level hook runs here) for `ms`.
void Pump(DWORD ms);

class Target {
 public:
  bool Start();  // pellix-target.exe beside the test; its edit has the focus
  void Stop();
  std::string Text();  // the edit's text, line breaks as "\n"
  void Clear();
  // Pumps until the edit holds `want` (true) or `ms` pass (false).
  bool WaitText(const std::string& want, DWORD ms);
  // Pumps for `ms` and returns the text then.
  std::string SettleText(DWORD ms);

 private:
  HANDLE process_ = nullptr;
  HWND edit_ = nullptr;
};

// A window that receives KV_CC_MSG: claims, declines or answers late.
class Receiver {
 public:
  // kSlowOnce: slow for one offer, then declines.
  enum Mode { kDecline, kClaim, kSlow, kSlowOnce };
  bool Start();
  void Stop();
  HWND window() const { return window_; }
  static volatile LONG mode;
  static volatile LONG offers;
  static char lastData[256];

 private:
  static DWORD WINAPI Thread(void* self);
  HANDLE thread_ = nullptr;
  HANDLE ready_ = nullptr;
  HWND window_ = nullptr;
  DWORD threadId_ = 0;
};

// One keystroke through LowLevelHookProc; its result (1 = swallowed).
LRESULT Feed(DWORD vk, DWORD scan, DWORD flags);
// The wand's prefix (flags 0x20, 0x20, 0xA0, 0x80); true when all four were swallowed.
bool FeedPrefix();
// Characters in the wand's rhythm, each key with the virtual key the named layout reports
// for its US position (tools/keyboard_layouts.h); true when every keystroke was swallowed.
bool FeedChars(const std::string& text, const char* layout = "us");
bool FeedEnterPress();
// Pumps while a burst is being captured, up to 5 s from `start` (NowMs); the milliseconds
// from `start` until the capture ended, as when the watcher abandons a stalled burst.
double WaitWhileCapturing(double start);
bool FeedEnterRelease();

}  // namespace pellix::testing
