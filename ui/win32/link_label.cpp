#include "ui/win32/link_label.h"

#include <prsht.h>

#include <cstdlib>
#include <cstring>

#include "ui/win32/shell_open.h"

namespace pellix {

namespace {

HFONT CreateLabelFont(HDC dc) {
  return CreateFontA(MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL, FALSE,
                     TRUE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                     DEFAULT_QUALITY, VARIABLE_PITCH, "MS Sans Serif");
}

LinkLabelState* StateOf(HWND window) {
  return reinterpret_cast<LinkLabelState*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

void Paint(HWND window, const LinkLabelState& state) {
  char text[256];
  GetWindowTextA(window, text, sizeof text);  // at most 255 characters are painted
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  HFONT font = CreateLabelFont(dc);
  HGDIOBJ old = SelectObject(dc, font);
  SetTextColor(dc, state.hovered ? RGB(255, 0, 0) : RGB(0, 0, 255));
  SetBkMode(dc, TRANSPARENT);
  RECT rc;
  GetClientRect(window, &rc);
  int x = rc.left;
  UINT align = TA_LEFT;
  if (state.alignment == SS_CENTER) {
    align = TA_CENTER;
    x = (rc.left + rc.right) / 2;
  } else if (state.alignment == SS_RIGHT) {
    align = TA_RIGHT;
    x = rc.right;
  }
  SetTextAlign(dc, align);
  TextOutA(dc, x, rc.top, text, static_cast<int>(std::strlen(text)));
  SelectObject(dc, old);
  DeleteObject(font);
  EndPaint(window, &ps);
}

void TrackHover(HWND window, LinkLabelState& state, UINT message, LPARAM lParam) {
  POINT pt = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
  if (message == WM_NCHITTEST) ScreenToClient(window, &pt);
  RECT rc;
  GetClientRect(window, &rc);
  const bool inside = PtInRect(&rc, pt) != 0;
  if (inside && !state.hovered) {
    SetCapture(window);
    state.hovered = true;
    InvalidateRect(window, nullptr, FALSE);
  } else if (!inside && state.hovered) {
    // Clear first: releasing the capture sends WM_CAPTURECHANGED, which repaints as well.
    state.hovered = false;
    ReleaseCapture();
    InvalidateRect(window, nullptr, FALSE);
  }
  SetCursor(state.cursor);
}

}  // namespace

LRESULT CALLBACK LinkLabelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LinkLabelState* state = StateOf(window);
  if (!state) return DefWindowProcA(window, message, wParam, lParam);
  const WNDPROC previous = state->previousProc;
  switch (message) {
    case WM_PAINT:
      Paint(window, *state);
      return 1;
    case WM_NCHITTEST:
    case WM_MOUSEMOVE:
      TrackHover(window, *state, message, lParam);
      break;
    case WM_GETDLGCODE:
      return DLGC_BUTTON;
    case WM_LBUTTONUP:
      if (state->address[0]) {
        ShellOpen(state->address, nullptr, SW_SHOWMAXIMIZED);
      }
      break;
    case WM_CAPTURECHANGED:
      state->hovered = false;
      InvalidateRect(window, nullptr, FALSE);
      break;
    case WM_DESTROY:
      SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
      SetWindowLongPtrA(window, GWLP_USERDATA, 0);
      DestroyCursor(state->cursor);
      std::free(state);
      return CallWindowProcA(previous, window, message, wParam, lParam);
    default:
      break;
  }
  return CallWindowProcA(previous, window, message, wParam, lParam);
}

int AttachLinkLabel(HWND window, const char* address) {
  auto* state = static_cast<LinkLabelState*>(std::calloc(1, sizeof(LinkLabelState)));
  if (!state) return 0;
  state->hovered = false;
  state->alignment = static_cast<int>(GetWindowLongA(window, GWL_STYLE) & 3);
  state->previousProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC));
  state->cursor = LoadCursorA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kHandCursorId));
  if (address && std::strlen(address) < sizeof state->address) {
    std::strcpy(state->address, address);
  }
  SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
  SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&LinkLabelProc));
  return 1;
}

int PlaceLinkLabel(HWND sheet, const char* text, const char* address) {
  HWND tabs = reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETTABCONTROL, 0, 0));
  RECT button = {0, 0, 0, 0}, tab = {0, 0, 0, 0};
  GetWindowRect(GetDlgItem(sheet, IDCANCEL), &button);
  GetWindowRect(tabs, &tab);
  MapWindowPoints(nullptr, sheet, reinterpret_cast<POINT*>(&button), 2);
  MapWindowPoints(nullptr, sheet, reinterpret_cast<POINT*>(&tab), 2);
  HDC dc = GetDC(sheet);
  HFONT font = CreateLabelFont(dc);
  HGDIOBJ old = SelectObject(dc, font);
  SIZE size = {0, 0};
  GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &size);
  SelectObject(dc, old);
  DeleteObject(font);
  ReleaseDC(sheet, dc);
  HWND label = CreateWindowExA(0, "STATIC", text, WS_CHILD | WS_VISIBLE | SS_NOTIFY, tab.left,
                               button.bottom - size.cy - 3, size.cx + 10, size.cy + 3, sheet,
                               nullptr, GetModuleHandleA(nullptr), nullptr);
  AttachLinkLabel(label, address);
  return 1;
}

}  // namespace pellix
