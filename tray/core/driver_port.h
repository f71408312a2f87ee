// The driver PELLIX.VXD as the tray program talks to it: synchronous device calls by code.
// The tray program implements DriverPort over DeviceIoControl on the opened device; tests
// use a recording fake.
#pragma once
#include <cstdint>

namespace pellix {

// Device control codes and what each carries.
enum DriverCode : uint32_t {
  kDriverCodeStartStop = 2,       // no data; after the driver thread starts and at shutdown
  kDriverCodeSetTerminator = 3,   // in: 1 byte, the terminator character (0 = none)
  kDriverCodeGetTerminator = 4,   // out: 1 byte, taken as the terminator setting
  kDriverCodeRegisterApc = 100,   // in: 4 bytes, the APC routine's address, or 0 to end
  kDriverCodeReleaseRecord = 101, // in: 4 bytes, a scan record's address, handed back
  kDriverCodeTypeTerminator = 102,// in: 1 byte, the terminator character to type
  kDriverCodeTypeKeys = 103,      // in: 1..15 keystroke codes (bit 7 Shift, bits 0-6 scan code)
};

// The scan record the driver hands to the APC routine; the tray program rewrites type, data
// and done in place before handing it back with kDriverCodeReleaseRecord.
struct DriverScanRecord {
  char type[4];      // NUL-terminated, at most 3 characters
  char data[256];    // NUL-terminated
  char serial[128];  // NUL-terminated
  uint32_t done;     // set to 1 once fixed up and filtered
};
static_assert(sizeof(DriverScanRecord) == 392, "the driver's record layout is fixed");

class DriverPort {
 public:
  virtual ~DriverPort() = default;
  // DeviceIoControl on the driver: code, input buffer and size, output buffer and size, bytes
  // written to the output. The tray program never relies on the result.
  virtual bool Control(uint32_t code, const void* in, uint32_t inSize, void* out,
                       uint32_t outSize, uint32_t* bytesReturned) = 0;
};

}  // namespace pellix
