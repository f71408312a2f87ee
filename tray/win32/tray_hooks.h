// Where the Profiles page plugs into the tray program: its dialog procedure for the sheet's
// second tab, and its refresh after the tray menu switched the profile. Both may stay null.
#pragma once
#include <windows.h>

namespace pellix {

extern DLGPROC g_profilesPageProc;
extern void (*g_showCurrentProfile)();

}  // namespace pellix
