// The tray icon's menu and the main window's commands, apart from the menu calls that show it.
#pragma once
#include <cstdint>

#include "profiles/core/profile_model.h"

namespace pellix {

constexpr uint32_t kCmdPressSheetOk = 103;  // press OK on an open Settings sheet
constexpr uint32_t kCmdSettings = 104;      // "&Settings...", the default item
constexpr uint32_t kCmdExit = 1019;         // "E&xit Pellix"
constexpr uint32_t kCmdStartWithWindows = 1020;  // "Start with Windows"
constexpr uint32_t kCmdNoProfile = 5000;    // "<No Profile>"
constexpr uint32_t kCmdFirstProfile = 5001; // profile name i is 5001 + i

constexpr uint32_t kTrayIconId = 105;
constexpr uint32_t kTrayCallbackMessage = 0x8064;  // WM_APP + 100
constexpr const char kTrayTip[] = "Pellix";

constexpr const char kMenuSettings[] = "&Settings...";
constexpr const char kMenuProfiles[] = "&Profiles";
constexpr const char kMenuExit[] = "E&xit Pellix";
constexpr const char kMenuNoProfile[] = "<No Profile>";
constexpr const char kMenuStartWithWindows[] = "Start with Windows";

// One item of the Profiles submenu.
struct ProfileMenuItem {
  uint32_t id;
  const char* text;  // owned by the name list, or kMenuNoProfile
  bool checked;
};
constexpr int kProfileMenuItems = kProfileNameSlots + 1;

// The submenu in order: every stored name (checked when it is the current one, compared
// exactly), then "<No Profile>" (checked when no profile is current). Returns the count.
int ProfileMenuItems(const ProfileNameList& names, const char* currentProfileName,
                     ProfileMenuItem (&items)[kProfileMenuItems]);

// What a WM_COMMAND id asks for.
struct TrayCommand {
  enum Kind { kNone, kOpenSheet, kExit, kPressSheetOk, kActivateNoProfile, kActivateProfile,
              kShowProfileOnly, kToggleStartWithWindows } kind;
  int index;  // the name's index, for kActivateProfile
};
// Ids from 5001 past the list's end activate nothing, but still refresh the Profiles page.
TrayCommand DecodeTrayCommand(uint32_t id, int nameCount);

}  // namespace pellix
