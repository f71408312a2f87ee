// The back-end the tray program configures: the hook library's bound exports or the driver.
// Chosen once at start; the settings store and profile activation talk to it through
// SettingsBackEnd only.
#pragma once
#include <cstdint>

#include "hooklib/exports.h"
#include "profiles/core/transform_sink.h"
#include "tray/core/driver_port.h"

namespace pellix {

struct TraySettings;

class SettingsBackEnd : public TransformSink {
 public:
  // Overwrites the fields this back-end knows with its own current values.
  virtual void ReadBack(TraySettings& settings) = 0;
  // Hands the settings over; refusals and clamping stay the back-end's business.
  virtual void Push(const TraySettings& settings) = 0;
};

// Library mode: the nine exports bound from KEYWEDGE.DLL (a null export is never called).
class HookLibraryBackEnd : public SettingsBackEnd {
 public:
  explicit HookLibraryBackEnd(const HookLibraryExports& exports) : exports_(exports) {}
  void ReadBack(TraySettings& settings) override;
  void Push(const TraySettings& settings) override;
  bool HoldsTransforms() const override { return true; }
  void ClearTransforms() override;
  void AddTransform(const char* code, const char* filter, int autoConvert) override;

 private:
  HookLibraryExports exports_;
};

// Driver mode: only the terminator goes to and comes from the driver (codes 4 and 3); the
// other settings and the profile's transforms stay in the tray program.
class DriverBackEnd : public SettingsBackEnd {
 public:
  explicit DriverBackEnd(DriverPort& driver) : driver_(driver) {}
  void ReadBack(TraySettings& settings) override;
  void Push(const TraySettings& settings) override;
  bool HoldsTransforms() const override { return false; }
  void ClearTransforms() override {}
  void AddTransform(const char*, const char*, int) override {}

 private:
  DriverPort& driver_;
};

}  // namespace pellix
