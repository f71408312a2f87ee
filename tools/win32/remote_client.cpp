// pellix-remote-client: a stand-in for a remote-desktop client window, strict as the real ones
// are over a slow link. It forwards scan codes only: the text it shows is rebuilt from the
// scan code of each key it receives, read on a US keyboard (the remote side's), Shift
// included; the virtual key, WM_CHAR and Unicode input (scan code 0) count for nothing. A key
// pressed sooner than 8 ms after the previous press, by the keys' own times, is lost.
//
//   pellix-remote-client.exe --out FILE
//
// Run it under a client's program name (copied as mstsc.exe) to be taken for that client.
// The rebuilt text is written to FILE whenever it changes, and the number of keys lost to
// FILE.lost, so a script can wait for them.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr DWORD kLoseWithinMs = 8;

std::string g_outPath;
std::string g_text;
int g_lost = 0;
bool g_shift[2] = {false, false};  // left and right
bool g_pressedBefore = false;
DWORD g_lastPress = 0;

// Set 1 scan codes of a US keyboard: unshifted and shifted characters.
char CharAt(UINT scan, bool shift) {
  static const char kRows[][2][14] = {
      {"1234567890-=", "!@#$%^&*()_+"},  // 0x02..0x0D
      {"qwertyuiop[]", "QWERTYUIOP{}"},  // 0x10..0x1B
      {"asdfghjkl;'`", "ASDFGHJKL:\"~"},  // 0x1E..0x29
      {"\\zxcvbnm,./", "|ZXCVBNM<>?"},    // 0x2B..0x35
  };
  static const UINT kFirst[] = {0x02, 0x10, 0x1E, 0x2B};
  for (int r = 0; r < 4; ++r) {
    const UINT n = static_cast<UINT>(std::strlen(kRows[r][0]));
    if (scan >= kFirst[r] && scan < kFirst[r] + n) return kRows[r][shift ? 1 : 0][scan - kFirst[r]];
  }
  switch (scan) {
    case 0x39: return ' ';
    case 0x1C: return '\n';
    case 0x0F: return '\t';
    default: return 0;
  }
}

void Report() {
  if (g_outPath.empty()) return;
  const std::string files[2][2] = {{g_outPath, g_text}, {g_outPath + ".lost", std::to_string(g_lost)}};
  for (const auto& f : files) {
    const std::string tmp = f[0] + ".tmp";
    FILE* out = std::fopen(tmp.c_str(), "wb");
    if (!out) continue;
    std::fwrite(f[1].data(), 1, f[1].size(), out);
    std::fclose(out);
    MoveFileExA(tmp.c_str(), f[0].c_str(), MOVEFILE_REPLACE_EXISTING);
  }
}

void OnKey(LPARAM lParam, bool up) {
  const UINT scan = (lParam >> 16) & 0xFF;
  if (scan == 0x2A || scan == 0x36) {  // Shift, as the link forwards it
    g_shift[scan == 0x36] = !up;
    return;
  }
  if (up || (lParam & (1L << 30)) != 0) return;  // releases and repeats type nothing
  const DWORD now = static_cast<DWORD>(GetMessageTime());
  const bool tooSoon = g_pressedBefore && now - g_lastPress < kLoseWithinMs;
  g_pressedBefore = true;
  g_lastPress = now;
  if (tooSoon) {
    ++g_lost;
  } else if (const char c = CharAt(scan, g_shift[0] || g_shift[1])) {
    g_text += c;
  }
  Report();
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      OnKey(lParam, false);
      return 0;
    case WM_KEYUP:
    case WM_SYSKEYUP:
      OnKey(lParam, true);
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_KEYMENU) return 0;  // a stray Alt or F10 parks no keys
      break;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  if (__argc != 3 || std::strcmp(__argv[1], "--out") != 0) {
    MessageBoxA(nullptr, "Usage: pellix-remote-client.exe --out FILE", "pellix-remote-client", MB_OK);
    return 2;
  }
  g_outPath = __argv[2];
  WNDCLASSA wc = {};
  wc.lpfnWndProc = WndProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = "PellixRemoteClient";
  if (!RegisterClassA(&wc)) return 1;
  HWND hwnd = CreateWindowExA(0, wc.lpszClassName, "Pellix Remote Client",
                              WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 560, 320, nullptr,
                              nullptr, instance, nullptr);
  if (!hwnd) return 1;
  SetForegroundWindow(hwnd);
  SetFocus(hwnd);
  Report();  // an empty report says the window is up
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);  // no WM_CHAR wanted
  return 0;
}
