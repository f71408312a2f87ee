// A static control turned into an underlined link: blue, red under the mouse, hand cursor,
// a click opens its address with the shell.
#pragma once
#include <windows.h>

namespace pellix {

constexpr int kHandCursorId = 118;

struct LinkLabelState {
  bool hovered;
  int alignment;  // SS_LEFT, SS_CENTER or SS_RIGHT of the static's style
  WNDPROC previousProc;
  char address[256];
  HCURSOR cursor;
};

// Creates a label on a property sheet, left-aligned with its tabs and bottom-aligned with its
// buttons, and makes it a link. Returns 1.
int PlaceLinkLabel(HWND sheet, const char* text, const char* address);
// Makes an existing "STATIC" window a link to `address` (null: a click opens nothing).
// An address longer than 255 characters is refused: the label then opens nothing rather
// than a cut address.
int AttachLinkLabel(HWND window, const char* address);
LRESULT CALLBACK LinkLabelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace pellix
