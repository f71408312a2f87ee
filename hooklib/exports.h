// The nine exports of KEYWEDGE.DLL as the tray program binds them by name.
// Shared by the library (which defines them) and the tray program (which calls them).
#pragma once

#if defined(_WIN32) && !defined(_WIN64)
#define PELLIX_API __stdcall
#else
#define PELLIX_API
#endif

namespace pellix {

// Every argument and result is a 32-bit value but window, the tray program's HWND (pointer
// wide). __stdcall on x86; x64 has a single calling convention.
using InstallHookFn = int(PELLIX_API*)(void* window, int force);
using RemoveHookFn = int(PELLIX_API*)();
using SetOutputTypeFn = int(PELLIX_API*)(char terminator, char separator, unsigned outputStyle,
                                         int beepOn, unsigned beepType);
using GetOutputTypeFn = int(PELLIX_API*)(char* terminator, char* separator, int* outputStyle,
                                         int* beepOn, int* beepType);
using SetTimeOutFn = unsigned(PELLIX_API*)(unsigned milliseconds);
using GetTimeOutFn = unsigned(PELLIX_API*)();
using AddTransformFn = int(PELLIX_API*)(const char* type, const char* filter, int autoConvert);
using DelTransformFn = int(PELLIX_API*)(const char* type);
using InitTransformFn = int(PELLIX_API*)();

struct HookLibraryExports {
  InstallHookFn installHook;
  RemoveHookFn removeHook;
  SetOutputTypeFn setOutputType;
  GetOutputTypeFn getOutputType;
  SetTimeOutFn setTimeOut;
  GetTimeOutFn getTimeOut;
  AddTransformFn addTransform;
  DelTransformFn delTransform;
  InitTransformFn initTransform;
};

// Beside the nine, not among them (a library without it still serves): the number of
// keystrokes the low-level hook procedure has seen in the calling process, free-running. Read
// by the tray program to notice that the system removed that hook.
using GetKeyCountFn = unsigned(PELLIX_API*)();
constexpr char kGetKeyCountName[] = "Pellix_GetKeyCount";

// Beside the nine: the per-program typing table (AppRules, hooklib/core/app_rules.h), copied
// whole into the shared record; 1 when taken. A library without it types every program alike.
struct AppRules;
using SetApplicationsFn = int(PELLIX_API*)(const AppRules* rules);
constexpr char kSetApplicationsName[] = "Pellix_SetApplications";

// Exported names, in the order of the fields above.
constexpr const char* kHookExportNames[9] = {
    "Pellix_InstallHook",   "Pellix_RemoveHook",   "Pellix_SetOutputType",
    "Pellix_GetOutputType", "Pellix_SetTimeOut",   "Pellix_GetTimeOut",
    "Pellix_AddTransform",  "Pellix_DelTransform", "Pellix_InitTransform"};

}  // namespace pellix
