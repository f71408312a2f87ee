// Opening a program, document or address through the shell, for every place that does so
// (a scan's command, the Settings page's icon, the link label): on a short-lived thread of its
// own, so that a slow start (a browser, a network path) never holds up the thread that runs
// the windows, the low-level keyboard hook or the driver's calls.
#pragma once
#include <windows.h>

namespace pellix {

// Opens file with the verb "open", params (may be null), no directory and showMode, through
// ShellExecuteExA on a new thread, which initialises COM first and waits for the shell's DDE
// conversation or COM handler to finish before it ends (as the shell asks of a thread that
// ends right after). The shell's error boxes have no owner: a window of another thread would
// tie that thread's input to the launch. The texts are copied before this returns. The
// result is not reported: a command that cannot start fails silently. Where no thread can be
// had, it opens here, so that nothing is lost.
void ShellOpen(const char* file, const char* params, int showMode);
// The same through ShellExecuteExW (bound at run time), for Windows NT only.
void ShellOpenWide(const wchar_t* file, const wchar_t* params, int showMode);

// Waits until no launch is in flight, at most maxWaitMs; true when none is. For the end of
// the program, which would otherwise cut a launch off in the middle.
bool WaitForLaunches(DWORD maxWaitMs);

}  // namespace pellix
