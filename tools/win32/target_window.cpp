// pellix-target: a window with a multi-line edit control that end-to-end tests type into.
//
//   pellix-target.exe [--title TEXT] [--out FILE] [--claim TYPE]
//
// With --claim, the window takes the scans of that bar-code type that the hook library
// offers it as the foreground window (KV_CC_MSG), as a program that reads the wand itself
// would: nothing of them is typed.
// It brings itself to the front and gives the edit the focus (there is no window manager
// under Xvfb to do it). With --out, the edit's text is written to FILE whenever it changes
// and again when the window closes, line breaks as "\n", so a script can wait for it.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char kClassName[] = "PellixTargetWnd";
const int kEditId = 100;

std::string g_outPath;
std::string g_claimType;
UINT g_scanMessage = 0;
HWND g_edit = nullptr;

std::string EditText() {
  int len = GetWindowTextLengthA(g_edit);
  std::string text(static_cast<size_t>(len) + 1, '\0');
  int got = GetWindowTextA(g_edit, &text[0], len + 1);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

// Written to a side file and moved over the report, so a reader never sees half a text.
void Report() {
  if (g_outPath.empty() || !g_edit) return;
  std::string text = EditText();
  std::string tmp = g_outPath + ".tmp";
  FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) return;
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
  MoveFileExA(tmp.c_str(), g_outPath.c_str(), MOVEFILE_REPLACE_EXISTING);
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (g_scanMessage != 0 && msg == g_scanMessage) {
    char type[256] = {};
    GlobalGetAtomNameA(LOWORD(lParam), type, sizeof type);
    if (!g_claimType.empty() && std::strncmp(type, g_claimType.c_str(), 3) == 0)
      GlobalDeleteAtom(static_cast<ATOM>(wParam));  // the claim
    return 1;
  }
  switch (msg) {
    case WM_CREATE:
      g_edit = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "",
                               WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE |
                                   ES_AUTOVSCROLL | ES_WANTRETURN,
                               0, 0, 0, 0, hwnd, reinterpret_cast<HMENU>(kEditId),
                               reinterpret_cast<CREATESTRUCTA*>(lParam)->hInstance, nullptr);
      return g_edit ? 0 : -1;
    case WM_SIZE:
      MoveWindow(g_edit, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
      return 0;
    case WM_SETFOCUS:
      SetFocus(g_edit);
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == kEditId && HIWORD(wParam) == EN_CHANGE) Report();
      break;
    case WM_SYSCOMMAND:
      // A stray Alt or F10 (a wand prefix nobody swallowed) must not park the keys in the
      // system menu: the test wants to see every character that arrives.
      if ((wParam & 0xFFF0) == SC_KEYMENU) return 0;
      break;
    case WM_CLOSE:
      Report();
      DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  std::string title = "Pellix Target";
  for (int i = 1; i < __argc; ++i) {
    if (std::strcmp(__argv[i], "--title") == 0 && i + 1 < __argc) {
      title = __argv[++i];
    } else if (std::strcmp(__argv[i], "--out") == 0 && i + 1 < __argc) {
      g_outPath = __argv[++i];
    } else if (std::strcmp(__argv[i], "--claim") == 0 && i + 1 < __argc) {
      g_claimType = __argv[++i];
      g_scanMessage = RegisterWindowMessageA("KV_CC_MSG");
    } else {
      MessageBoxA(nullptr, "Usage: pellix-target.exe [--title TEXT] [--out FILE] [--claim TYPE]",
                  "pellix-target", MB_OK);
      return 2;
    }
  }

  WNDCLASSA wc = {};
  wc.lpfnWndProc = WndProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kClassName;
  if (!RegisterClassA(&wc)) return 1;
  HWND hwnd = CreateWindowExA(0, kClassName, title.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                              40, 40, 560, 320, nullptr, nullptr, instance, nullptr);
  if (!hwnd) return 1;
  SetForegroundWindow(hwnd);
  SetFocus(g_edit);
  Report();  // an empty report says the window is up

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}
