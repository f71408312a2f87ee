// The Settings sheet's Applications page: the rows of ui/core/applications.h in a list, with
// Add, Edit and Remove, each change stored at once.
#pragma once
#include <windows.h>

#include "profiles/core/profile_model.h"
#include "profiles/core/registry_port.h"
#include "ui/core/applications.h"

namespace pellix {

constexpr int kApplicationsPageDialog = 119;
constexpr int kApplicationRowDialog = 120;
constexpr char kApplicationRowCaption[] = "Pellix Application";
constexpr char kApplicationsSaveFailedText[] = "Unable to save the Applications list.";
constexpr char kApplicationsWarningCaption[] = "Pellix Applications";

enum ApplicationsControl {
  kAppList = 1070,
  kAppAddButton = 1071,
  kAppEditButton = 1072,
  kAppRemoveButton = 1073,
  kAppProgramEdit = 1074,
  kAppPaceEdit = 1075,
  kAppMethodList = 1076,
  kAppProfileList = 1077,
};

// What the page works on, owned by the tray program (user-interface thread only).
struct ApplicationsPageContext {
  RegistryPort* registry;
  AppRows* rows;
  const ProfileNameList* names;  // offered in the row dialog's Profile list
  void (*applied)();             // after each change is stored: the host hands it on
};
void SetApplicationsPageContext(const ApplicationsPageContext& context);

INT_PTR CALLBACK ApplicationsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace pellix
