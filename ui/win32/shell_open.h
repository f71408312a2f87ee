// Opening a program, document or address through the shell, for every place that does so
// (a scan's command, the Settings page's icon, the link label): on a short-lived thread of its
// own, so that a slow start (a browser, a network path) never holds up the thread that runs
// the windows, the low-level keyboard hook or the driver's calls.
#pragma once
#include <windows.h>

namespace pellix {

// ShellExecuteA(owner, "open", file, params, no directory, showMode) on a new thread, which
// initialises COM first as the shell requires. The texts are copied before this returns;
// params may be null. The result is not reported: a command that cannot start fails
// silently. Where no thread can be had, it opens here, so that nothing is lost.
void ShellOpen(HWND owner, const char* file, const char* params, int showMode);

}  // namespace pellix
