#include "tray/tests/win32/simulated_driver.h"

#include <algorithm>
#include <cstring>

namespace pellix {

SimulatedDriver::SimulatedDriver() {
  InitializeCriticalSection(&lock_);
  released_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
}

SimulatedDriver::~SimulatedDriver() {
  if (thread_) CloseHandle(thread_);
  CloseHandle(released_);
  DeleteCriticalSection(&lock_);
}

bool SimulatedDriver::Control(uint32_t code, const void* in, uint32_t inSize, void* out,
                              uint32_t outSize, uint32_t* bytesReturned) {
  if (bytesReturned) *bytesReturned = 0;
  EnterCriticalSection(&lock_);
  Request r{code, {}};
  if (in && inSize) {
    const uint8_t* p = static_cast<const uint8_t*>(in);
    r.in.assign(p, p + inSize);
  }
  requests_.push_back(r);
  bool ok = true;
  switch (code) {
    case kDriverCodeRegisterApc: {
      PAPCFUNC routine = nullptr;
      if (in && inSize == sizeof routine) std::memcpy(&routine, in, sizeof routine);
      if (thread_) CloseHandle(thread_);
      thread_ = nullptr;
      routine_ = routine;
      if (routine) {
        thread_ = OpenThread(THREAD_SET_CONTEXT | SYNCHRONIZE, FALSE, GetCurrentThreadId());
      }
      break;
    }
    case kDriverCodeGetTerminator:
      if (out && outSize >= 1) {
        *static_cast<char*>(out) = reportedTerminator;
        if (bytesReturned) *bytesReturned = 1;
      }
      break;
    case kDriverCodeReleaseRecord: {
      const void* record = nullptr;
      if (in && inSize == sizeof record) std::memcpy(&record, in, sizeof record);
      releasedRecords_.push_back(record);
      SetEvent(released_);
      break;
    }
    case kDriverCodeTypeKeys:
      ok = inSize >= 1 && inSize <= 15;  // the driver takes 1 to 15 codes a request
      break;
    default:
      break;
  }
  LeaveCriticalSection(&lock_);
  return ok;
}

bool SimulatedDriver::Deliver(DriverScanRecord* record) {
  EnterCriticalSection(&lock_);
  const bool ok = routine_ && thread_ &&
                  QueueUserAPC(routine_, thread_, reinterpret_cast<ULONG_PTR>(record)) != 0;
  LeaveCriticalSection(&lock_);
  return ok;
}

bool SimulatedDriver::WaitForRelease(const DriverScanRecord* record, DWORD milliseconds) {
  const DWORD start = GetTickCount();
  for (;;) {
    EnterCriticalSection(&lock_);
    const bool done = std::find(releasedRecords_.begin(), releasedRecords_.end(), record) !=
                      releasedRecords_.end();
    LeaveCriticalSection(&lock_);
    if (done) return true;
    const DWORD spent = GetTickCount() - start;
    if (spent >= milliseconds) return false;
    WaitForSingleObject(released_, milliseconds - spent);
  }
}

bool SimulatedDriver::WaitForRegistration(bool registered, DWORD milliseconds) {
  for (DWORD waited = 0;; waited += 10) {
    EnterCriticalSection(&lock_);
    const bool now = routine_ != nullptr;
    LeaveCriticalSection(&lock_);
    if (now == registered) return true;
    if (waited >= milliseconds) return false;
    Sleep(10);
  }
}

std::vector<SimulatedDriver::Request> SimulatedDriver::Requests() {
  EnterCriticalSection(&lock_);
  std::vector<Request> copy = requests_;
  LeaveCriticalSection(&lock_);
  return copy;
}

void SimulatedDriver::ClearRequests() {
  EnterCriticalSection(&lock_);
  requests_.clear();
  LeaveCriticalSection(&lock_);
}

}  // namespace pellix
