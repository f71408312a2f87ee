#include "ui/win32/shell_open.h"

#include <objbase.h>
#include <shellapi.h>

#include <cstring>
#include <new>

#ifndef SEE_MASK_NOASYNC
#define SEE_MASK_NOASYNC 0x00000100
#endif

namespace pellix {

namespace {

// Launches started and not yet ended, on any thread.
volatile LONG g_launchesInFlight = 0;

// Bound at run time: Windows 9x has only a stub that fails.
using ShellExecuteExWFn = BOOL(WINAPI*)(SHELLEXECUTEINFOW*);

ShellExecuteExWFn WideShellExecute() {
  static ShellExecuteExWFn bound = nullptr;
  static volatile LONG state = 0;  // 0 not yet, 1 bound
  if (state == 0) {
    HMODULE shell = GetModuleHandleA("shell32.dll");
    FARPROC address = shell ? GetProcAddress(shell, "ShellExecuteExW") : nullptr;
    bound = reinterpret_cast<ShellExecuteExWFn>(reinterpret_cast<void*>(address));
    state = 1;
  }
  return bound;
}

template <class Char>
struct OpenRequest {
  Char* file;
  Char* params;  // null when there are none
  int showMode;
};

template <class Char>
Char* CopyText(const Char* text) {
  if (!text) return nullptr;
  size_t n = 1;
  while (text[n - 1]) ++n;
  Char* copy = new (std::nothrow) Char[n];
  if (copy) std::memcpy(copy, text, n * sizeof(Char));
  return copy;
}

template <class Char>
void FreeRequest(OpenRequest<Char>* request) {
  delete[] request->file;
  delete[] request->params;
  delete request;
}

// Return only once a DDE conversation or a COM handler is done with the request.
constexpr ULONG kOpenMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_DDEWAIT;

void Open(const char* file, const char* params, int showMode) {
  SHELLEXECUTEINFOA info = {};
  info.cbSize = sizeof info;
  info.fMask = kOpenMask;
  info.lpVerb = "open";
  info.lpFile = file;
  info.lpParameters = params;
  info.nShow = showMode;
  ShellExecuteExA(&info);
}

void Open(const wchar_t* file, const wchar_t* params, int showMode) {
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof info;
  info.fMask = kOpenMask;
  info.lpVerb = L"open";
  info.lpFile = file;
  info.lpParameters = params;
  info.nShow = showMode;
  if (ShellExecuteExWFn execute = WideShellExecute()) execute(&info);
}

template <class Char>
DWORD WINAPI LaunchThread(LPVOID parameter) {
  OpenRequest<Char>* request = static_cast<OpenRequest<Char>*>(parameter);
  // The shell may hand the work to COM objects (URL handlers, shell extensions).
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  Open(request->file, request->params, request->showMode);
  if (SUCCEEDED(com)) CoUninitialize();
  FreeRequest(request);
  InterlockedDecrement(&g_launchesInFlight);
  return 0;
}

template <class Char>
void OpenOnThread(const Char* file, const Char* params, int showMode) {
  static const Char kEmpty[1] = {0};
  if (!file) file = kEmpty;
  auto* request = new (std::nothrow) OpenRequest<Char>{CopyText(file), CopyText(params), showMode};
  if (request && request->file && (!params || request->params)) {
    InterlockedIncrement(&g_launchesInFlight);
    HANDLE thread = CreateThread(nullptr, 0, &LaunchThread<Char>, request, 0, nullptr);
    if (thread) {
      CloseHandle(thread);
      return;
    }
    InterlockedDecrement(&g_launchesInFlight);
  }
  // Out of memory or threads: open it here rather than lose it.
  if (request) FreeRequest(request);
  Open(file, params, showMode);
}

}  // namespace

void ShellOpen(const char* file, const char* params, int showMode) {
  OpenOnThread(file, params, showMode);
}

void ShellOpenWide(const wchar_t* file, const wchar_t* params, int showMode) {
  OpenOnThread(file, params, showMode);
}

bool WaitForLaunches(DWORD maxWaitMs) {
  const DWORD start = GetTickCount();
  while (g_launchesInFlight > 0) {
    if (GetTickCount() - start >= maxWaitMs) return false;
    Sleep(10);
  }
  return true;
}

}  // namespace pellix
