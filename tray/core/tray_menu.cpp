#include "tray/core/tray_menu.h"

#include <cstring>

namespace pellix {

int ProfileMenuItems(const ProfileNameList& names, const char* currentProfileName,
                     ProfileMenuItem (&items)[kProfileMenuItems]) {
  const char* current = currentProfileName ? currentProfileName : "";
  int n = 0;
  for (int i = 0; i < names.Count() && n < kProfileNameSlots; ++i) {
    const char* name = names.GetAt(i);
    if (!name) continue;
    items[n++] = {kCmdFirstProfile + static_cast<uint32_t>(i), name,
                  std::strcmp(name, current) == 0};
  }
  items[n++] = {kCmdNoProfile, kMenuNoProfile, current[0] == '\0'};
  return n;
}

TrayCommand DecodeTrayCommand(uint32_t id, int nameCount) {
  switch (id) {
    case kCmdSettings: return {TrayCommand::kOpenSheet, 0};
    case kCmdExit: return {TrayCommand::kExit, 0};
    case kCmdStartWithWindows: return {TrayCommand::kToggleStartWithWindows, 0};
    case kCmdPressSheetOk: return {TrayCommand::kPressSheetOk, 0};
    case kCmdNoProfile: return {TrayCommand::kActivateNoProfile, 0};
    default: break;
  }
  if (id >= kCmdFirstProfile && id <= 0xFFFF) {
    const uint32_t index = id - kCmdFirstProfile;
    if (index < static_cast<uint32_t>(nameCount)) {
      return {TrayCommand::kActivateProfile, static_cast<int>(index)};
    }
    return {TrayCommand::kShowProfileOnly, 0};
  }
  return {TrayCommand::kNone, 0};
}

}  // namespace pellix
