; Pellix's installer: one program for both flavours, per user, without administrator rights.
; It puts the x64 Pellix on 64-bit Windows 7 and later and the x86 one elsewhere, into the
; user's local programs folder, with a Start-menu shortcut, the optional Run value of
; "Start with Windows", and an uninstaller listed under the user's Uninstall key. A running
; Pellix is ended through its own Exit command first (its hooks come off cleanly) and started
; again afterwards. `/S` runs installer and uninstaller silently.
;
; Built by scripts/make-installer:
;   makensis -DVERSION=1.0.0 -DX86_DIR=... -DX64_DIR=... -DSOURCE_DIR=... -DOUTFILE=...
;            -DICON=.../pellix_app.ico pellix.nsi
; With -DX64_STUB the same script makes a 64-bit installer of the x64 flavour alone, for
; machines that run no 32-bit code.

!ifndef VERSION | X64_DIR | SOURCE_DIR | OUTFILE | ICON
  !error "VERSION, X64_DIR, SOURCE_DIR, OUTFILE and ICON must be defined"
!endif
!ifdef X64_STUB
  Target amd64-unicode
!else
  !ifndef X86_DIR
    !error "X86_DIR must be defined"
  !endif
  ; The ANSI stub: its imports all exist on Windows 98 SE (scripts/check-imports).
  Target x86-ansi
!endif

!include LogicLib.nsh
!include FileFunc.nsh

!define PRODUCT "Pellix"
!define PUBLISHER "Obrelle Works"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Pellix"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "Pellix"
!define SETTINGS_KEY "Software\Obrelle Works\Pellix"
; The tray program's window class and its menu's Exit command (WM_COMMAND 1019).
!define PELLIX_CLASS "PellixWndCls"
!define PELLIX_EXIT 1019
!define WM_COMMAND 0x0111

Name "${PRODUCT}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
RequestExecutionLevel user
SetCompressor /SOLID lzma
ManifestSupportedOS all
ManifestDPIAware true
XPStyle on
ShowInstDetails nevershow
ShowUninstDetails nevershow
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "Pellix setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright (C) ${PUBLISHER}"

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; The user guide and its pictures, beside the program.
!macro GUIDE_FILES each
  !insertmacro ${each} USER-GUIDE.md
  !insertmacro ${each} settings-page.png
  !insertmacro ${each} profiles-page.png
  !insertmacro ${each} history-page.png
  !insertmacro ${each} tray-menu.png
!macroend
!macro GUIDE_FILE_IN name
  File "${SOURCE_DIR}\docs\${name}"
!macroend
!macro GUIDE_FILE_OUT name
  Delete "$INSTDIR\${name}"
!macroend

Var wasRunning  ; "1" when a running Pellix was ended, to start it again afterwards

; Ends a running Pellix through its Exit command and waits until its window and program are
; gone. Never kills it: Exit takes its hooks off. Sets $wasRunning; aborts when it does not
; end (the message box offers to retry after closing it by hand).
!macro STOP_PELLIX un
Function ${un}StopPellix
  StrCpy $wasRunning ""
  FindWindow $0 "${PELLIX_CLASS}"
  ${If} $0 = 0
    Return
  ${EndIf}
  StrCpy $wasRunning 1
  DetailPrint "Ending the running Pellix"
  retry:
  SendMessage $0 ${WM_COMMAND} ${PELLIX_EXIT} 0 /TIMEOUT=5000
  StrCpy $1 0
  ${DoWhile} $1 < 150
    Sleep 100
    IntOp $1 $1 + 1
    FindWindow $0 "${PELLIX_CLASS}"
    ${IfThen} $0 = 0 ${|} ${ExitDo} ${|}
  ${Loop}
  ${If} $0 = 0
    ; The window is gone with the hooks; the program's file is free once it has ended.
    StrCpy $1 0
    ${Do}
      ${IfNot} ${FileExists} "$INSTDIR\pellix.exe"
        Return
      ${EndIf}
      ClearErrors
      FileOpen $2 "$INSTDIR\pellix.exe" a
      ${IfNot} ${Errors}
        FileClose $2
        Return
      ${EndIf}
      Sleep 100
      IntOp $1 $1 + 1
    ${LoopUntil} $1 >= 100
  ${EndIf}
  MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
    "Pellix is still running. Choose Exit Pellix in its tray menu, then Retry." /SD IDCANCEL IDCANCEL stop
  FindWindow $0 "${PELLIX_CLASS}"
  Goto retry
  stop:
  DetailPrint "Pellix is still running: nothing was changed."
  SetErrorLevel 2
  Abort
FunctionEnd
!macroend
!insertmacro STOP_PELLIX ""
!insertmacro STOP_PELLIX "un."

; Deletes $INSTDIR\KEYWEDGE.DLL. Programs that had it mapped for the hooks let it go only when
; they next run, and such a file cannot be deleted, but it can be moved: then it goes to the
; temporary folder, where the system's clean-up finds it, and the install folder is free.
!macro REMOVE_HOOK_LIBRARY un
Function ${un}RemoveHookLibrary
  ClearErrors
  Delete "$INSTDIR\KEYWEDGE.DLL"
  ${If} ${Errors}
    GetTempFileName $0
    Delete $0
    Rename "$INSTDIR\KEYWEDGE.DLL" $0
  ${EndIf}
FunctionEnd
!macroend
!insertmacro REMOVE_HOOK_LIBRARY ""
!insertmacro REMOVE_HOOK_LIBRARY "un."

; The Run value's command when it starts the program in $INSTDIR ("path" and its options);
; empty when there is none or it names another copy.
!macro RUN_COMMAND un
Function ${un}RunCommand
  ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
  StrLen $1 '"$INSTDIR\pellix.exe"'
  StrCpy $2 $0 $1
  ${If} $2 != '"$INSTDIR\pellix.exe"'  ; StrCmp ignores letter case, as Windows' paths do
    StrCpy $0 ""
  ${EndIf}
FunctionEnd
!macroend
!insertmacro RUN_COMMAND ""
!insertmacro RUN_COMMAND "un."

Section "Pellix" SecPellix
  SectionIn RO
  Call StopPellix
  SetOutPath "$INSTDIR"
  Call RemoveHookLibrary
!ifdef X64_STUB
  File "${X64_DIR}\pellix.exe"
  File "${X64_DIR}\KEYWEDGE.DLL"
!else
  ; x64 on 64-bit Windows 7 and later (a 32-bit program there sees PROCESSOR_ARCHITEW6432).
  ReadEnvStr $0 PROCESSOR_ARCHITEW6432
  GetWinVer $1 Major
  GetWinVer $2 Minor
  IntOp $1 $1 * 100
  IntOp $1 $1 + $2
  ${If} $0 == "AMD64"
  ${AndIf} $1 >= 601
    DetailPrint "Installing the x64 Pellix"
    File "${X64_DIR}\pellix.exe"
    File "${X64_DIR}\KEYWEDGE.DLL"
  ${Else}
    DetailPrint "Installing the x86 Pellix"
    File "${X86_DIR}\pellix.exe"
    File "${X86_DIR}\KEYWEDGE.DLL"
  ${EndIf}
!endif
  !insertmacro GUIDE_FILES GUIDE_FILE_IN
  File /oname=LICENSE.txt "${SOURCE_DIR}\LICENSE"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  SetShellVarContext current
  CreateShortcut "$SMPROGRAMS\Pellix.lnk" "$INSTDIR\pellix.exe"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\pellix.exe",0'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Start Pellix when I log on" SecRun
  ; The same value as the tray menu's "Start with Windows"; one that already starts this copy
  ; keeps its options.
  Call RunCommand
  ${If} $0 == ""
    WriteRegStr HKCU "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\pellix.exe"'
  ${EndIf}
SectionEnd

Section "-Finish"
  ${IfNot} ${SectionIsSelected} ${SecRun}
    Call RunCommand
    ${If} $0 != ""
      DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
    ${EndIf}
  ${EndIf}
  ; Pellix runs again after an upgrade (with the options it starts with at logon), and after
  ; an installation the user watched.
  ${If} $wasRunning == 1
  ${OrIfNot} ${Silent}
    Call RunCommand
    ${If} $0 == ""
      StrCpy $0 '"$INSTDIR\pellix.exe"'
    ${EndIf}
    Exec $0
  ${EndIf}
SectionEnd

Section "Uninstall"
  Call un.StopPellix
  Call un.RunCommand
  ${If} $0 != ""
    DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${EndIf}
  SetShellVarContext current
  Delete "$SMPROGRAMS\Pellix.lnk"
  Delete "$INSTDIR\pellix.exe"
  Call un.RemoveHookLibrary
  !insertmacro GUIDE_FILES GUIDE_FILE_OUT
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  MessageBox MB_YESNO|MB_ICONQUESTION \
    "Keep your Pellix settings and profiles, for a later installation?" /SD IDYES IDYES done
  DeleteRegKey HKCU "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKCU "Software\Obrelle Works"
  done:
SectionEnd

Function un.onInit
  SetShellVarContext current
FunctionEnd

Function .onInit
  ${If} $INSTDIR == ""
    ${If} $LOCALAPPDATA != ""
      StrCpy $INSTDIR "$LOCALAPPDATA\Programs\Pellix"
    ${Else}  ; Windows 98 without a local application data folder
      StrCpy $INSTDIR "$PROGRAMFILES\Pellix"
    ${EndIf}
  ${EndIf}
  ; An upgrade keeps the user's choice: the option is ticked when the Run value starts this
  ; copy, or on a first installation.
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
    Call RunCommand
    ${If} $0 == ""
      SectionSetFlags ${SecRun} 0
    ${EndIf}
  ${EndIf}
FunctionEnd
