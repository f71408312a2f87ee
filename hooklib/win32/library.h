// The hook library's Windows side: the shared record, the per-process handles, the hook
// procedures, installation and removal. KEYWEDGE.DLL exports thin wrappers of these; the
// Windows tests of the hook procedures link them directly.
#pragma once
#include <windows.h>

#include "hooklib/core/recognizer.h"
#include "hooklib/core/shared_state.h"

namespace pellix::win32 {

// The one record shared by every process that maps the module holding it.
HookSharedState& Shared();
// What this process's hook thread and deliveries own (HookLocal).
HookLocal& Local();

// A reference on the module holding this code, for a thread of the library that must outlive
// an unload (it ends with FreeLibraryAndExitThread(ThisModule())); null when none was taken.
// LoadLibrary by the module's own path: GetModuleHandleEx is XP and later.
HMODULE PinThisModule();
HMODULE ThisModule();

// Library load and unload in this process.
void OnProcessAttach(HINSTANCE module);
void OnProcessDetach();
// Opens this process's own handles of KV_CC_START and KV_CC_STOP once the hooks exist.
void OpenSharedEvents();

int InstallHook(HWND window, int force);
int RemoveHook();

LRESULT CALLBACK LowLevelHookProc(int code, WPARAM wParam, LPARAM lParam);
// How many keystrokes LowLevelHookProc has seen in this process; free-running, wraps.
uint32_t LowLevelKeyCount();
LRESULT CALLBACK KeyboardHookProc(int code, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK GetMessageHookProc(int code, WPARAM wParam, LPARAM lParam);

// True when a process of this id still runs (a handle it left in the record is live).
bool ProcessAlive(DWORD processId);

}  // namespace pellix::win32
