#include "ui/win32/shell_open.h"

#include <objbase.h>
#include <shellapi.h>

#include <cstring>
#include <new>

namespace pellix {

namespace {

struct OpenRequest {
  HWND owner;
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

DWORD WINAPI OpenThread(LPVOID parameter) {
  OpenRequest* request = static_cast<OpenRequest*>(parameter);
  // The shell may hand the work to COM objects (URL handlers, shell extensions).
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  ShellExecuteA(request->owner, "open", request->file, request->params, nullptr,
                request->showMode);
  if (SUCCEEDED(com)) CoUninitialize();
  FreeRequest(request);
  return 0;
}

}  // namespace

void ShellOpen(HWND owner, const char* file, const char* params, int showMode) {
  OpenRequest* request = new (std::nothrow)
      OpenRequest{owner, CopyText(file ? file : ""), CopyText(params), showMode};
  if (request && request->file && (!params || request->params)) {
    HANDLE thread = CreateThread(nullptr, 0, &OpenThread, request, 0, nullptr);
    if (thread) {
      CloseHandle(thread);
      return;
    }
  }
  // Out of memory or threads: open it here rather than lose it.
  if (request) FreeRequest(request);
  ShellExecuteA(owner, "open", file ? file : "", params, nullptr, showMode);
}

}  // namespace pellix
