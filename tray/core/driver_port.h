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
  kDriverCodeRegisterApc = 100,   // in: an address (DriverAddress): the APC routine, or 0
  kDriverCodeReleaseRecord = 101, // in: an address (DriverAddress): a scan record, handed back
  kDriverCodeTypeTerminator = 102,// in: 1 byte, the terminator character to type
  kDriverCodeTypeKeys = 103,      // in: 1..15 keystroke codes (bit 7 Shift, bits 0-6 scan code)
};

// Codes 100 and 101 carry an address at the program's own pointer width: 4 bytes in the x86
// program, as the driver expects. The driver exists only on Windows 9x, which has no 64-bit
// version, so the x64 program never opens it; were it to, it would send its 8-byte addresses
// whole rather than cut them to 4.
using DriverAddress = void*;
#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(DriverAddress) == 4, "the driver takes 4-byte addresses");
#endif

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
