// KEYWEDGE.DLL: the entry point, the nine exports and the low-level hook's keystroke count.
#include <windows.h>

#include <type_traits>

#include "engine/transform_table.h"
#include "hooklib/exports.h"
#include "hooklib/win32/library.h"

using pellix::win32::Shared;

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) pellix::win32::OnProcessAttach(module);
  if (reason == DLL_PROCESS_DETACH) pellix::win32::OnProcessDetach();
  return TRUE;
}

extern "C" {

int PELLIX_API Pellix_InstallHook(void* window, int force) {
  return pellix::win32::InstallHook(static_cast<HWND>(window), force);
}

int PELLIX_API Pellix_RemoveHook() { return pellix::win32::RemoveHook(); }

int PELLIX_API Pellix_SetOutputType(char terminator, char separator, unsigned outputStyle,
                                    int beepOn, unsigned beepType) {
  return pellix::SetOutputType(Shared(), terminator, separator, outputStyle, beepOn, beepType);
}

int PELLIX_API Pellix_GetOutputType(char* terminator, char* separator, int* outputStyle,
                                    int* beepOn, int* beepType) {
  return pellix::GetOutputType(Shared(), terminator, separator, outputStyle, beepOn, beepType);
}

unsigned PELLIX_API Pellix_SetTimeOut(unsigned milliseconds) {
  return pellix::SetTimeOut(Shared(), milliseconds);
}

unsigned PELLIX_API Pellix_GetTimeOut() { return pellix::GetTimeOut(Shared()); }

int PELLIX_API Pellix_AddTransform(const char* type, const char* filter, int autoConvert) {
  return pellix::AddOrUpdate(Shared().transforms, type, filter, autoConvert);
}

int PELLIX_API Pellix_DelTransform(const char* type) {
  return pellix::Remove(Shared().transforms, type);
}

int PELLIX_API Pellix_InitTransform() {
  pellix::Clear(Shared().transforms);
  return 0;
}

int PELLIX_API Pellix_SetApplications(const pellix::AppRules* rules) {
  return pellix::SetApplications(Shared(), rules);
}

unsigned PELLIX_API Pellix_GetKeyCount() { return pellix::win32::LowLevelKeyCount(); }

}  // extern "C"

// The exports have exactly the types the tray program binds them with.
static_assert(std::is_same_v<decltype(&Pellix_InstallHook), pellix::InstallHookFn>);
static_assert(std::is_same_v<decltype(&Pellix_RemoveHook), pellix::RemoveHookFn>);
static_assert(std::is_same_v<decltype(&Pellix_SetOutputType), pellix::SetOutputTypeFn>);
static_assert(std::is_same_v<decltype(&Pellix_GetOutputType), pellix::GetOutputTypeFn>);
static_assert(std::is_same_v<decltype(&Pellix_SetTimeOut), pellix::SetTimeOutFn>);
static_assert(std::is_same_v<decltype(&Pellix_GetTimeOut), pellix::GetTimeOutFn>);
static_assert(std::is_same_v<decltype(&Pellix_AddTransform), pellix::AddTransformFn>);
static_assert(std::is_same_v<decltype(&Pellix_DelTransform), pellix::DelTransformFn>);
static_assert(std::is_same_v<decltype(&Pellix_InitTransform), pellix::InitTransformFn>);
static_assert(std::is_same_v<decltype(&Pellix_GetKeyCount), pellix::GetKeyCountFn>);
static_assert(std::is_same_v<decltype(&Pellix_SetApplications), pellix::SetApplicationsFn>);
