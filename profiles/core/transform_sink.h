// Where an activated profile's filters and Auto-ISBN flags go: the back-end when it filters
// scans itself. The tray program's back-ends implement it.
#pragma once

namespace pellix {

class TransformSink {
 public:
  virtual ~TransformSink() = default;
  // True when the back-end filters and converts scans itself from its own transform table
  // (library mode). Otherwise the tray program applies the profile itself.
  virtual bool HoldsTransforms() const = 0;
  virtual void ClearTransforms() = 0;
  virtual void AddTransform(const char* code, const char* filter, int autoConvert) = 0;
};

}  // namespace pellix
