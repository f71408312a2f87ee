; Pellix's installer and uninstaller: one program for both flavours, per user, without
; administrator rights. The installer puts the x64 Pellix on 64-bit Windows 7 and later and
; the x86 one elsewhere, into the user's local programs folder (Browse adds a "Pellix"
; folder to the one chosen), with a Start-menu shortcut, the optional Run value of "Start
; with Windows", and an uninstaller listed under the user's Uninstall key. A Pellix running
; from the install folder is ended through its own Exit command first (its hooks come off
; cleanly) and started again afterwards; a copy running from anywhere else is left alone.
; `/S` runs installer and uninstaller silently.
;
; Both are Unicode programs, so any folder name works whatever the system's code page; they
; run on Windows 2000 and later (9x and Me take the zip).
;
; The uninstaller is a program of its own kind, built from this script with -DUNINSTALLER
; (NSIS's own uninstallers copy themselves away and return at once, so a caller never
; learns how they ended). uninstall.exe (installer/win32/uninstall_front.cpp, with this
; program behind it) runs it from the temporary folder, waits, returns its exit code, and
; then moves itself away and removes the folder when that leaves it empty. It removes only
; what the installer wrote, by the list the installer keeps beside it (pellix-files.txt).
;
; Built by scripts/make-installer, the uninstaller first:
;   makensis -DUNINSTALLER -DVERSION=1.0.0 -DOUTFILE=.../worker.exe -DICON=... pellix.nsi
;   (uninstall.exe = uninstall-front.exe + worker.exe + its size and "PLXW")
;   makensis -DVERSION=1.0.0 -DX86_DIR=... -DX64_DIR=... -DSOURCE_DIR=... -DOUTFILE=...
;            -DICON=.../pellix_app.ico -DUNINSTALLER_EXE=.../uninstall.exe pellix.nsi
; With -DX64_STUB the same script makes 64-bit programs of the x64 flavour alone, for machines
; that run no 32-bit code.
;
; Exit codes: 0 done; 1 cancelled by the user; 2 nothing was changed (Pellix did not end,
; its hook library cannot be replaced, the folder holds another program's uninstall.exe).

!ifndef VERSION | OUTFILE | ICON
  !error "VERSION, OUTFILE and ICON must be defined"
!endif
Unicode true
!ifdef X64_STUB
  Target amd64-unicode
!else
  Target x86-unicode
!endif

!include LogicLib.nsh
!include FileFunc.nsh
!include TextFunc.nsh

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
; The installer's record of the files it wrote, one name a line.
!define FILE_LIST "pellix-files.txt"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
Icon "${ICON}"
RequestExecutionLevel user
SetCompressor /SOLID lzma
ManifestSupportedOS all
ManifestDPIAware true
XPStyle on
ShowInstDetails nevershow

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright (C) ${PUBLISHER}"

; The user guide and its pictures, beside the program.
!macro GUIDE_FILES each
  !insertmacro ${each} USER-GUIDE.md
  !insertmacro ${each} settings-page.png
  !insertmacro ${each} profiles-page.png
  !insertmacro ${each} history-page.png
  !insertmacro ${each} tray-menu.png
!macroend

Var wasRunning  ; "1" when the Pellix of $INSTDIR was ended, to start it again afterwards

; $0: the tray window of the Pellix whose program is $INSTDIR\pellix.exe, or 0. A Pellix
; running from another folder (a portable copy) is not ours to end.
Function FindOurPellix
  Push $1
  Push $2
  Push $3
  Push $4
  StrCpy $0 0
  ${Do}
    FindWindow $0 "${PELLIX_CLASS}" "" "" $0
    ${IfThen} $0 = 0 ${|} ${ExitDo} ${|}
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1)'
    ; The limited right and QueryFullProcessImageName reach a 64-bit process from a 32-bit
    ; one (Vista and later); before Vista, the module name through psapi.
    StrCpy $4 ""
    System::Call 'kernel32::OpenProcess(i 0x1000, i 0, i r1) p .r2'
    ${If} $2 P<> 0
      System::Call 'kernel32::QueryFullProcessImageNameW(p r2, i 0, w .r4, *i ${NSIS_MAX_STRLEN}) i .r3'
      ${IfThen} $3 != 1 ${|} StrCpy $4 "" ${|}
      System::Call 'kernel32::CloseHandle(p r2)'
    ${EndIf}
    ${If} $4 == ""
      System::Call 'kernel32::OpenProcess(i 0x410, i 0, i r1) p .r2'
      ${If} $2 P<> 0
        System::Call 'psapi::GetModuleFileNameExW(p r2, p 0, w .r4, i ${NSIS_MAX_STRLEN}) i .r3'
        ${If} $3 == "error"
        ${OrIf} $3 = 0
          StrCpy $4 ""
        ${EndIf}
        System::Call 'kernel32::CloseHandle(p r2)'
      ${EndIf}
    ${EndIf}
    ${IfThen} $4 == "$INSTDIR\pellix.exe" ${|} ${ExitDo} ${|}  ; StrCmp ignores letter case
  ${Loop}
  Pop $4
  Pop $3
  Pop $2
  Pop $1
FunctionEnd

; Ends the Pellix of $INSTDIR through its Exit command and waits until its window and program
; are gone. Never kills it: Exit takes its hooks off. Sets $wasRunning; aborts with exit code
; 2 when it does not end (the message box offers to retry after closing it by hand).
Function StopPellix
  StrCpy $wasRunning ""
  Call FindOurPellix
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
    Call FindOurPellix
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
  Call FindOurPellix
  Goto retry
  stop:
  DetailPrint "Pellix is still running: nothing was changed."
  SetErrorLevel 2
  Abort
FunctionEnd

; Starts the Pellix that StopPellix ended, when the work is given up with nothing changed.
Function RestartPellix
  ${If} $wasRunning == 1
    Call RunCommand
    ${If} $0 == ""
      StrCpy $0 '"$INSTDIR\pellix.exe"'
    ${EndIf}
    Exec $0
  ${EndIf}
FunctionEnd

; Takes $INSTDIR\KEYWEDGE.DLL out of the folder before anything else changes. Programs that
; had it mapped for the hooks let it go only when they next run, and such a file cannot be
; deleted, but it can be moved: then it goes to the temporary folder, where the system's
; clean-up finds it. Where it can be neither (the temporary folder on another drive, or the
; file held open), nothing is changed: Pellix runs again as it was, and the exit code is 2.
Function RemoveHookLibrary
  ClearErrors
  Delete "$INSTDIR\KEYWEDGE.DLL"
  ${IfNot} ${Errors}
    Return
  ${EndIf}
  GetTempFileName $0
  Delete $0
  ClearErrors
  Rename "$INSTDIR\KEYWEDGE.DLL" $0
  ${IfNot} ${Errors}
    Return
  ${EndIf}
  Call RestartPellix
  MessageBox MB_OK|MB_ICONSTOP \
    "KEYWEDGE.DLL in $INSTDIR is in use and cannot be replaced. Close the programs you were typing in (or sign out and in again), then run this again. Nothing was changed." /SD IDOK
  DetailPrint "KEYWEDGE.DLL is in use: nothing was changed."
  SetErrorLevel 2
  Abort
FunctionEnd

; The Run value's command when it starts the program in $INSTDIR ("path" and its options);
; empty when there is none or it names another copy.
Function RunCommand
  ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
  StrLen $1 '"$INSTDIR\pellix.exe"'
  StrCpy $2 $0 $1
  ${If} $2 != '"$INSTDIR\pellix.exe"'  ; StrCmp ignores letter case, as Windows' paths do
    StrCpy $0 ""
  ${EndIf}
FunctionEnd

; $R2: "1" when the installer wrote $R1 into $INSTDIR before (it is on the folder's list),
; or, for a folder without a list, when the Uninstall key names this folder (an installer
; from before the list wrote its whole set).
Function IsOurFile
  StrCpy $R2 0
  ${IfNot} ${FileExists} "$INSTDIR\${FILE_LIST}"
    ReadRegStr $R3 HKCU "${UNINSTALL_KEY}" "InstallLocation"
    ${IfThen} $R3 == $INSTDIR ${|} StrCpy $R2 1 ${|}
    Return
  ${EndIf}
  ClearErrors
  FileOpen $R3 "$INSTDIR\${FILE_LIST}" r
  ${If} ${Errors}
    Return
  ${EndIf}
  ${Do}
    ClearErrors
    FileRead $R3 $R4
    ${IfThen} ${Errors} ${|} ${ExitDo} ${|}
    ${TrimNewLines} $R4 $R4
    ${If} $R4 == $R1
      StrCpy $R2 1
      ${ExitDo}
    ${EndIf}
  ${Loop}
  FileClose $R3
FunctionEnd

!ifdef UNINSTALLER ; ---------------------------------------------------------------------

VIAddVersionKey "FileDescription" "Pellix uninstall"
Caption "Pellix uninstall"
Page instfiles

; Deletes one file the list names. Names only: a line with a path or a wildcard in it is
; not followed.
Function RemoveListedFile
  ${If} $R4 == ""
  ${OrIf} $R4 == "uninstall.exe"  ; it waits for this program, then moves itself away
  ${OrIf} $R4 == "${FILE_LIST}"
    Return
  ${EndIf}
  Push $R5
  StrCpy $R5 0
  ${Do}
    StrCpy $R6 $R4 1 $R5
    ${IfThen} $R6 == "" ${|} ${ExitDo} ${|}
    ${If} $R6 == "\"
    ${OrIf} $R6 == "/"
    ${OrIf} $R6 == ":"
    ${OrIf} $R6 == "*"
    ${OrIf} $R6 == "?"
      Pop $R5
      Return
    ${EndIf}
    IntOp $R5 $R5 + 1
  ${Loop}
  Pop $R5
  ${IfThen} $R4 == ".." ${|} Return ${|}
  Delete "$INSTDIR\$R4"
FunctionEnd

!macro DELETE_FILE name
  Delete "$INSTDIR\${name}"
!macroend

Section "-Remove"
  Call StopPellix
  Call RemoveHookLibrary
  Call RunCommand
  ${If} $0 != ""
    DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${EndIf}
  SetShellVarContext current
  Delete "$SMPROGRAMS\Pellix.lnk"
  ${If} ${FileExists} "$INSTDIR\${FILE_LIST}"
    FileOpen $R3 "$INSTDIR\${FILE_LIST}" r
    ${Do}
      ClearErrors
      FileRead $R3 $R4
      ${IfThen} ${Errors} ${|} ${ExitDo} ${|}
      ${TrimNewLines} $R4 $R4
      Call RemoveListedFile
    ${Loop}
    FileClose $R3
    Delete "$INSTDIR\${FILE_LIST}"
  ${Else}
    ; Installed before the list was kept: that installer wrote these, whatever was there.
    Delete "$INSTDIR\pellix.exe"
    !insertmacro GUIDE_FILES DELETE_FILE
    Delete "$INSTDIR\LICENSE.txt"
  ${EndIf}
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
  ${OrIf} $0 == ""
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ${EndIf}
  MessageBox MB_YESNO|MB_ICONQUESTION \
    "Keep your Pellix settings and profiles, for a later installation?" /SD IDYES IDYES kept
  DeleteRegKey HKCU "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKCU "Software\Obrelle Works"
  kept:
  SetErrorLevel 0
SectionEnd

Function .onInit
  SetShellVarContext current
  ; uninstall.exe runs this from the temporary folder with /D= naming the install folder.
  ${If} $INSTDIR == ""
    StrCpy $INSTDIR $EXEDIR
  ${EndIf}
  ${IfNot} ${FileExists} "$INSTDIR\pellix.exe"
  ${AndIfNot} ${FileExists} "$INSTDIR\${FILE_LIST}"
    MessageBox MB_OK|MB_ICONSTOP "Pellix is not installed in $INSTDIR." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  MessageBox MB_OKCANCEL|MB_ICONQUESTION "Remove Pellix from $INSTDIR?" /SD IDOK IDOK go
  SetErrorLevel 1
  Quit
  go:
FunctionEnd

!else ; the installer -------------------------------------------------------------------

!ifndef SOURCE_DIR | X64_DIR | UNINSTALLER_EXE
  !error "SOURCE_DIR, X64_DIR and UNINSTALLER_EXE must be defined"
!endif
!ifndef X64_STUB & X86_DIR
  !error "X86_DIR must be defined"
!endif
VIAddVersionKey "FileDescription" "Pellix setup"
UninstallIcon "${ICON}"
; Browse then adds a "Pellix" folder to the folder the user picks.
InstallDir "$LOCALAPPDATA\Programs\Pellix"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"

Page components
Page directory
Page instfiles

Var fileList  ; the new list, written as the files are

; Writes SOURCE as NAME into $INSTDIR and lists it. A document is written only where the
; folder holds no file of that name that another program put there (a folder chosen by hand
; may hold another product's LICENSE.txt); program files always are.
!macro PUT name source kind
  StrCpy $R1 "${name}"
  StrCpy $R2 1
  !if "${kind}" == "document"
    ${If} ${FileExists} "$INSTDIR\${name}"
      Call IsOurFile
    ${EndIf}
  !endif
  ${If} $R2 == 1
    File "/oname=${name}" "${source}"
    FileWrite $fileList "${name}$\r$\n"
  ${Else}
    DetailPrint "Kept the ${name} that was already in the folder"
  ${EndIf}
!macroend
!macro GUIDE_FILE name
  !insertmacro PUT "${name}" "${SOURCE_DIR}\docs\${name}" document
!macroend

Section "Pellix" SecPellix
  SectionIn RO
  SetOutPath "$INSTDIR"
  ; Another program's uninstaller in the folder would be replaced by Pellix's: refuse before
  ; anything changes.
  ${If} ${FileExists} "$INSTDIR\uninstall.exe"
    StrCpy $R1 "uninstall.exe"
    Call IsOurFile
    ${If} $R2 != 1
      MessageBox MB_OK|MB_ICONSTOP \
        "$INSTDIR already holds another program's uninstall.exe. Choose another folder (Browse adds a Pellix folder to the one you pick)." /SD IDOK
      SetErrorLevel 2
      Abort
    ${EndIf}
  ${EndIf}
  Call StopPellix
  Call RemoveHookLibrary
  FileOpen $fileList "$INSTDIR\${FILE_LIST}.new" w
!ifdef X64_STUB
  !insertmacro PUT pellix.exe "${X64_DIR}\pellix.exe" program
  !insertmacro PUT KEYWEDGE.DLL "${X64_DIR}\KEYWEDGE.DLL" program
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
    !insertmacro PUT pellix.exe "${X64_DIR}\pellix.exe" program
    !insertmacro PUT KEYWEDGE.DLL "${X64_DIR}\KEYWEDGE.DLL" program
  ${Else}
    DetailPrint "Installing the x86 Pellix"
    !insertmacro PUT pellix.exe "${X86_DIR}\pellix.exe" program
    !insertmacro PUT KEYWEDGE.DLL "${X86_DIR}\KEYWEDGE.DLL" program
  ${EndIf}
!endif
  !insertmacro PUT uninstall.exe "${UNINSTALLER_EXE}" program
  !insertmacro GUIDE_FILES GUIDE_FILE
  !insertmacro PUT LICENSE.txt "${SOURCE_DIR}\LICENSE" document
  FileClose $fileList
  Delete "$INSTDIR\${FILE_LIST}"
  Rename "$INSTDIR\${FILE_LIST}.new" "$INSTDIR\${FILE_LIST}"

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

Function .onInit
  ${If} $LOCALAPPDATA == ""  ; a Windows without a local application data folder
  ${AndIf} $INSTDIR == "\Programs\Pellix"
    StrCpy $INSTDIR "$PROGRAMFILES\Pellix"
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

!endif
