// The notification area beyond the icon itself: the shell's "TaskbarCreated" broadcast, after
// which the icon has to be added again, and the balloon tip.
#pragma once
#include <windows.h>

namespace pellix {

// Registers "TaskbarCreated" and lets it through where the system filters
// messages between integrity levels (bound at run time: Windows Vista and later).
void WatchForShellRestart();
// True for the shell's broadcast after it (re)started: every notification-area icon is gone.
bool IsShellRestart(UINT message);

// A balloon from tray icon `id` of `window`. Shells before 5.0 (Windows 98 SE without the
// Windows 2000 shell) have no balloons: false, nothing shown.
bool ShowTrayBalloon(HWND window, UINT id, const char* title, const char* text);

}  // namespace pellix
