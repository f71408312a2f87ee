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

struct OpenRequest {
  char* file;
  char* params;  // null when there are none
  int showMode;
};

char* CopyText(const char* text) {
  if (!text) return nullptr;
  const size_t n = std::strlen(text) + 1;
  char* copy = new (std::nothrow) char[n];
  if (copy) std::memcpy(copy, text, n);
  return copy;
}

void FreeRequest(OpenRequest* request) {
  delete[] request->file;
  delete[] request->params;
  delete request;
}

void Open(const char* file, const char* params, int showMode) {
  SHELLEXECUTEINFOA info = {};
  info.cbSize = sizeof info;
  // Return only once a DDE conversation or a COM handler is done with the request.
  info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_DDEWAIT;
  info.lpVerb = "open";
  info.lpFile = file;
  info.lpParameters = params;
  info.nShow = showMode;
  ShellExecuteExA(&info);
}

DWORD WINAPI LaunchThread(LPVOID parameter) {
  OpenRequest* request = static_cast<OpenRequest*>(parameter);
  // The shell may hand the work to COM objects (URL handlers, shell extensions).
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  Open(request->file, request->params, request->showMode);
  if (SUCCEEDED(com)) CoUninitialize();
  FreeRequest(request);
  InterlockedDecrement(&g_launchesInFlight);
  return 0;
}

}  // namespace

void ShellOpen(const char* file, const char* params, int showMode) {
  OpenRequest* request =
      new (std::nothrow) OpenRequest{CopyText(file ? file : ""), CopyText(params), showMode};
  if (request && request->file && (!params || request->params)) {
    InterlockedIncrement(&g_launchesInFlight);
    HANDLE thread = CreateThread(nullptr, 0, &LaunchThread, request, 0, nullptr);
    if (thread) {
      CloseHandle(thread);
      return;
    }
    InterlockedDecrement(&g_launchesInFlight);
  }
  // Out of memory or threads: open it here rather than lose it.
  if (request) FreeRequest(request);
  Open(file ? file : "", params, showMode);
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
