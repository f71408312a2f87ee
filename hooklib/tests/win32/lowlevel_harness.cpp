#include "hooklib/tests/win32/lowlevel_harness.h"

#include "hooklib/tests/fake_keyboard.h"
#include "hooklib/tests/win32/process.h"
#include "hooklib/win32/library.h"

namespace pellix::testing {

double NowMs() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return 1000.0 * static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

void Pump(DWORD ms) {
  const double end = NowMs() + ms;
  MSG msg;
  for (;;) {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    const double left = end - NowMs();
    if (left <= 0) return;
    const DWORD wait = left < 1 ? 1 : (left > 5 ? 5 : static_cast<DWORD>(left));
    MsgWaitForMultipleObjects(0, nullptr, FALSE, wait, QS_ALLINPUT);
  }
}

bool Target::Start() {
  process_ = StartSibling("pellix-target.exe", "--title \"Pellix LL Target\"");
  if (!process_) return false;
  for (int i = 0; i < 300 && !edit_; ++i) {
    Pump(50);
    HWND top = FindWindowA("PellixTargetWnd", "Pellix LL Target");
    if (top) edit_ = FindWindowExA(top, nullptr, "EDIT", nullptr);
  }
  Pump(300);
  return edit_ != nullptr;
}

void Target::Stop() {
  if (process_) {
    TerminateProcess(process_, 0);
    WaitForSingleObject(process_, 5000);
    CloseHandle(process_);
  }
  process_ = nullptr;
  edit_ = nullptr;
}

std::string Target::Text() {
  char buf[4096];
  DWORD_PTR n = 0;
  if (!SendMessageTimeoutA(edit_, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf),
                           SMTO_NORMAL, 2000, &n))
    return "<no answer>";
  std::string out;
  for (DWORD_PTR i = 0; i < n && i < sizeof buf; ++i)
    if (buf[i] != '\r') out += buf[i];
  return out;
}

void Target::Clear() {
  DWORD_PTR r;
  SendMessageTimeoutA(edit_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""), SMTO_NORMAL, 2000, &r);
}

bool Target::WaitText(const std::string& want, DWORD ms) {
  const double end = NowMs() + ms;
  while (NowMs() < end) {
    if (Text() == want) return true;
    Pump(2);
  }
  return Text() == want;
}

std::string Target::SettleText(DWORD ms) {
  Pump(ms);
  return Text();
}

volatile LONG Receiver::mode = Receiver::kDecline;
volatile LONG Receiver::offers = 0;
char Receiver::lastData[256];

namespace {
UINT g_ccMsg = 0;

LRESULT CALLBACK ReceiverProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == g_ccMsg && g_ccMsg != 0) {
    InterlockedIncrement(&Receiver::offers);
    GlobalGetAtomNameA(static_cast<ATOM>(wParam), Receiver::lastData, 256);
    if (Receiver::mode == Receiver::kClaim) GlobalDeleteAtom(static_cast<ATOM>(wParam));
    if (Receiver::mode == Receiver::kSlow) Sleep(3300);
    if (InterlockedCompareExchange(&Receiver::mode, Receiver::kDecline, Receiver::kSlowOnce) ==
        Receiver::kSlowOnce)
      Sleep(3300);
    return 0;
  }
  if (msg == WM_CLOSE) {
    DestroyWindow(hwnd);
    return 0;
  }
  if (msg == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}
}  // namespace

DWORD WINAPI Receiver::Thread(void* p) {
  auto* self = static_cast<Receiver*>(p);
  g_ccMsg = RegisterWindowMessageA("KV_CC_MSG");
  WNDCLASSA wc = {};
  wc.lpfnWndProc = ReceiverProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "PellixTestReceiver";
  RegisterClassA(&wc);
  self->window_ = CreateWindowExA(0, wc.lpszClassName, "receiver", WS_POPUP, 0, 0, 1, 1,
                                  nullptr, nullptr, wc.hInstance, nullptr);
  SetEvent(self->ready_);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  return 0;
}

bool Receiver::Start() {
  ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  thread_ = CreateThread(nullptr, 0, Thread, this, 0, &threadId_);
  WaitForSingleObject(ready_, 5000);
  return window_ != nullptr;
}

void Receiver::Stop() {
  if (window_) PostMessageA(window_, WM_CLOSE, 0, 0);
  if (thread_) {
    WaitForSingleObject(thread_, 5000);
    CloseHandle(thread_);
  }
  if (ready_) CloseHandle(ready_);
  thread_ = ready_ = nullptr;
  window_ = nullptr;
}

LRESULT Feed(DWORD vk, DWORD scan, DWORD flags) {
  KBDLLHOOKSTRUCT k = {};
  k.vkCode = vk;
  k.scanCode = scan;
  k.flags = flags;
  k.time = GetTickCount();
  const WPARAM message = (flags & LLKHF_UP) ? ((flags & 0x20) ? WM_SYSKEYUP : WM_KEYUP)
                                            : ((flags & 0x20) ? WM_SYSKEYDOWN : WM_KEYDOWN);
  return win32::LowLevelHookProc(HC_ACTION, message, reinterpret_cast<LPARAM>(&k));
}

bool FeedPrefix() {
  bool all = Feed(164, 56, 0x20) == 1;
  all &= Feed(121, 68, 0x20) == 1;
  all &= Feed(121, 68, 0xA0) == 1;
  all &= Feed(164, 56, 0x80) == 1;
  return all;
}

bool FeedChars(const std::string& text, const char* layout) {
  const layouts::Layout* pc = layouts::FindLayout(layout);
  bool all = pc != nullptr;
  for (char c : text) {
    const UsKey k = UsKeyOf(c);
    const uint32_t vk = pc ? layouts::VkAt(*pc, k.scan, k.vk) : k.vk;
    if (k.shift) all &= Feed(160, 42, 0) == 1;
    all &= Feed(vk, k.scan, 0) == 1;
    all &= Feed(vk, k.scan, LLKHF_UP) == 1;
    if (k.shift) all &= Feed(160, 42, LLKHF_UP) == 1;
  }
  return all;
}

bool FeedEnterPress() { return Feed(13, 28, 0) == 1; }
bool FeedEnterRelease() { return Feed(13, 28, LLKHF_UP) == 1; }

double WaitWhileCapturing(double start) {
  while (win32::Shared().recognizerState == kCapturing && NowMs() - start < 5000) Pump(1);
  return NowMs() - start;
}

}  // namespace pellix::testing
