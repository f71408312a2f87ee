// A stand-in for KEYWEDGE.DLL with the nine exports and the keystroke count, for testing the tray program's start-up,
// menu and profile switching without real hooks. Every call is appended as one line to the
// file named by PELLIX_STUB_LOG. Built with PELLIX_STUB_MISSING_EXPORT, it lacks
// Pellix_DelTransform.
#include <windows.h>

#include <cstdio>

#include "hooklib/core/app_rules.h"

namespace {

void Log(const char* format, ...) {
  char path[MAX_PATH];
  const DWORD n = GetEnvironmentVariableA("PELLIX_STUB_LOG", path, sizeof path);
  if (n == 0 || n >= sizeof path) return;
  FILE* f = std::fopen(path, "ab");
  if (!f) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(f, format, args);
  va_end(args);
  std::fputc('\n', f);
  std::fclose(f);
}

char g_terminator = '\n', g_separator = '.';
int g_style = 0, g_beepOn = 1, g_beepType = 0;
unsigned g_timeout = 1000;

}  // namespace

#define STUB_EXPORT extern "C" __declspec(dllexport)
#ifdef _MSC_VER
#pragma comment(linker, "/EXPORT:Pellix_InstallHook=_Pellix_InstallHook@8")
#pragma comment(linker, "/EXPORT:Pellix_RemoveHook=_Pellix_RemoveHook@0")
#pragma comment(linker, "/EXPORT:Pellix_SetOutputType=_Pellix_SetOutputType@20")
#pragma comment(linker, "/EXPORT:Pellix_GetOutputType=_Pellix_GetOutputType@20")
#pragma comment(linker, "/EXPORT:Pellix_SetTimeOut=_Pellix_SetTimeOut@4")
#pragma comment(linker, "/EXPORT:Pellix_GetTimeOut=_Pellix_GetTimeOut@0")
#pragma comment(linker, "/EXPORT:Pellix_AddTransform=_Pellix_AddTransform@12")
#pragma comment(linker, "/EXPORT:Pellix_InitTransform=_Pellix_InitTransform@0")
#pragma comment(linker, "/EXPORT:Pellix_GetKeyCount=_Pellix_GetKeyCount@0")
#pragma comment(linker, "/EXPORT:Pellix_SetApplications=_Pellix_SetApplications@4")
#ifndef PELLIX_STUB_MISSING_EXPORT
#pragma comment(linker, "/EXPORT:Pellix_DelTransform=_Pellix_DelTransform@4")
#endif
#endif

STUB_EXPORT int __stdcall Pellix_InstallHook(void* window, int force) {
  Log("InstallHook window=%s force=%d", window ? "set" : "null", force);
  return 1;
}
STUB_EXPORT int __stdcall Pellix_RemoveHook() {
  Log("RemoveHook");
  return 1;
}
STUB_EXPORT int __stdcall Pellix_SetOutputType(char terminator, char separator,
                                               unsigned style, int beepOn, unsigned beepType) {
  Log("SetOutputType %d %d %u %d %u", terminator, separator, style, beepOn, beepType);
  g_terminator = terminator;
  g_separator = separator;
  g_style = static_cast<int>(style);
  g_beepOn = beepOn ? 1 : 0;
  g_beepType = static_cast<int>(beepType);
  return 1;
}
STUB_EXPORT int __stdcall Pellix_GetOutputType(char* terminator, char* separator, int* style,
                                               int* beepOn, int* beepType) {
  Log("GetOutputType");
  *terminator = g_terminator;
  *separator = g_separator;
  *style = g_style;
  *beepOn = g_beepOn;
  *beepType = g_beepType;
  return g_beepType;
}
STUB_EXPORT unsigned __stdcall Pellix_SetTimeOut(unsigned ms) {
  Log("SetTimeOut %u", ms);
  g_timeout = ms;
  return ms;
}
STUB_EXPORT unsigned __stdcall Pellix_GetTimeOut() {
  Log("GetTimeOut");
  return g_timeout;
}
STUB_EXPORT int __stdcall Pellix_AddTransform(const char* type, const char* filter,
                                              int autoConvert) {
  Log("AddTransform %s [%s] %d", type ? type : "(null)", filter ? filter : "(null)",
      autoConvert);
  return 1;
}
#ifndef PELLIX_STUB_MISSING_EXPORT
STUB_EXPORT int __stdcall Pellix_DelTransform(const char* type) {
  Log("DelTransform %s", type ? type : "(null)");
  return 1;
}
#endif
STUB_EXPORT int __stdcall Pellix_InitTransform() {
  Log("InitTransform");
  return 1;
}
// A low-level hook that never sees a keystroke: to the tray program, one the system took away.
// Not logged: the program reads it on a timer.
STUB_EXPORT unsigned __stdcall Pellix_GetKeyCount() { return 0; }
// The per-program table: a line for every other program, one per row, then the transforms of
// each profile slot that rows name (slots no row names are not shown).
STUB_EXPORT int __stdcall Pellix_SetApplications(const pellix::AppRules* rules) {
  Log("SetApplications other %u %u %d, %d rows", rules->everyOther.paceMs, rules->everyOther.method,
      rules->everyOther.profile, rules->count);
  int slots = 0;
  for (int i = 0; i < rules->count && i < pellix::kAppRuleCount; ++i) {
    const pellix::AppRule& r = rules->rules[i];
    Log("  %.63s %u %u %d", r.program, r.paceMs, r.method, r.profile);
    if (r.profile + 1 > slots) slots = r.profile + 1;
  }
  for (int p = 0; p < slots && p < pellix::kAppProfileCount; ++p) {
    for (const pellix::TransformSlot& t : rules->profiles[p].slots) {
      if (t.code[0]) Log("  profile %d: %.3s [%.34s] %u", p, t.code, t.filter, t.autoConvert);
    }
  }
  return 1;
}
