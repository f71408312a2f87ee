// Binding the nine exports of a loaded KEYWEDGE.DLL by name: for the tray program and for the
// test programs that load the library as the tray program does.
#pragma once
#include <windows.h>

#include "hooklib/exports.h"

namespace pellix {

// An export's address as the function type it has (through void*, the form both GCC and
// MSVC accept without a warning).
template <typename Fn>
Fn ExportAs(FARPROC address) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(address));
}

// All nine or nothing: *exports is written only when every export was found. Each field is
// assigned as its own type; writing them through an array of FARPROC would be an aliasing
// fault that an optimising compiler is free to drop.
inline bool BindHookExports(HMODULE library, HookLibraryExports* exports) {
  FARPROC found[9];
  for (int i = 0; i < 9; ++i) {
    found[i] = library ? GetProcAddress(library, kHookExportNames[i]) : nullptr;
    if (!found[i]) return false;
  }
  // kHookExportNames lists the fields of HookLibraryExports in order.
  HookLibraryExports bound;
  bound.installHook = ExportAs<InstallHookFn>(found[0]);
  bound.removeHook = ExportAs<RemoveHookFn>(found[1]);
  bound.setOutputType = ExportAs<SetOutputTypeFn>(found[2]);
  bound.getOutputType = ExportAs<GetOutputTypeFn>(found[3]);
  bound.setTimeOut = ExportAs<SetTimeOutFn>(found[4]);
  bound.getTimeOut = ExportAs<GetTimeOutFn>(found[5]);
  bound.addTransform = ExportAs<AddTransformFn>(found[6]);
  bound.delTransform = ExportAs<DelTransformFn>(found[7]);
  bound.initTransform = ExportAs<InitTransformFn>(found[8]);
  *exports = bound;
  return true;
}

}  // namespace pellix
