// A stand-in for PELLIX.VXD behind DriverPort, for tests under Windows: it keeps the APC
// routine registered with code 100 and queues scan records to the registering thread with
// QueueUserAPC, as the driver does, and records every other request.
#pragma once
#include <windows.h>

#include <cstdint>
#include <vector>

#include "tray/core/driver_port.h"

namespace pellix {

class SimulatedDriver : public DriverPort {
 public:
  struct Request {
    uint32_t code;
    std::vector<uint8_t> in;
  };

  SimulatedDriver();
  ~SimulatedDriver() override;

  bool Control(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
               uint32_t* bytesReturned) override;

  // Queues the routine with `record` to the registered thread; false when none is registered.
  bool Deliver(DriverScanRecord* record);
  // Waits until `record` has come back with code 101.
  bool WaitForRelease(const DriverScanRecord* record, DWORD milliseconds);
  bool WaitForRegistration(bool registered, DWORD milliseconds);

  std::vector<Request> Requests();  // a copy, in order
  void ClearRequests();
  char reportedTerminator = '\r';   // what code 4 answers

 private:
  CRITICAL_SECTION lock_;
  HANDLE released_;  // auto-reset: a record came back
  PAPCFUNC routine_ = nullptr;
  HANDLE thread_ = nullptr;
  std::vector<Request> requests_;
  std::vector<const void*> releasedRecords_;
};

}  // namespace pellix
