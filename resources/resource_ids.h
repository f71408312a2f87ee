/* Resource numbers of pellix.exe, shared by the resource script and the program. */
#ifndef PELLIX_RESOURCE_IDS_H
#define PELLIX_RESOURCE_IDS_H

#define IDI_PELLIX_APP 102       /* window class icon */
#define IDI_PELLIX_TRAY 105      /* tray icon and Settings sheet */
#define IDC_PELLIX_HAND 118      /* hand over a link label */
#define IDD_SETTINGS_PAGE 111    /* Settings page of the Settings sheet */
#define IDD_PROFILES_PAGE 115    /* Profiles page of the Settings sheet */
#define IDD_NEW_PROFILE 116      /* New Profile dialog */
#define IDD_HISTORY_PAGE 117     /* History page of the Settings sheet */
#define IDD_APPLICATIONS_PAGE 119 /* Applications page of the Settings sheet */
#define IDD_APPLICATION_ROW 120  /* a row of the Applications page */

#endif
