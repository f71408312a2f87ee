// The Settings sheet's Profiles page and the New Profile dialog.
#pragma once
#include <windows.h>

#include "profiles/core/profile_model.h"
#include "profiles/core/registry_port.h"

namespace pellix {

class TransformSink;

constexpr int kProfilesPageDialog = 115;
constexpr int kNewProfileDialog = 116;

enum ProfilesControl {
  kProfileCombo = 1031,
  kScanTypeList = 1032,
  kFilterEdit = 1034,
  kCommandEdit = 1035,
  kParamsEdit = 1036,
  kTypeEdit = 1037,
  kAddScanButton = 1038,
  kDeleteScanButton = 1039,
  kAddProfileButton = 1040,
  kDeleteProfileButton = 1041,
  kSaveScanButton = 1043,
  kNewProfileEdit = 1044,
  kAutoIsbnBox = 1045,
  kBrowseButton = 1046,
  kWindowCombo = 1047,
};

// The tray program's profile state the page works on; set once before the sheet first runs.
struct ProfilesPageContext {
  RegistryPort* registry;
  TransformSink* backEnd;
  ProfileTable* table;
  ProfileNameList* names;
  char* currentProfileName;  // 200 bytes
};
void SetProfilesPageContext(const ProfilesPageContext& context);

INT_PTR CALLBACK ProfilesPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
// Selects the current profile in an open page and lists its scan types; nothing without one.
void ShowCurrentProfile();
// Runs the New Profile dialog; true and the name in `buffer` when the user pressed OK.
bool AskProfileName(HWND owner, char* buffer, int size);

}  // namespace pellix
