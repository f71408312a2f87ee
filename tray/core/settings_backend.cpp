#include "tray/core/settings_backend.h"

#include "tray/core/settings_store.h"

namespace pellix {

void HookLibraryBackEnd::ReadBack(TraySettings& settings) {
  if (exports_.getOutputType != nullptr) {
    int style = static_cast<int>(settings.outputStyle);
    int beepOn = static_cast<int>(settings.beepOn);
    int beepType = settings.beepType;
    exports_.getOutputType(&settings.terminator, &settings.separator, &style, &beepOn, &beepType);
    settings.outputStyle = static_cast<uint32_t>(style);
    settings.beepOn = static_cast<uint32_t>(beepOn);
    settings.beepType = beepType;
  }
  if (exports_.getTimeOut != nullptr) settings.timeoutMs = exports_.getTimeOut();
}

void HookLibraryBackEnd::Push(const TraySettings& settings) {
  if (exports_.setOutputType != nullptr)
    exports_.setOutputType(settings.terminator, settings.separator, settings.outputStyle,
                           static_cast<int>(settings.beepOn),
                           static_cast<unsigned>(settings.beepType));
  if (exports_.setTimeOut != nullptr) exports_.setTimeOut(settings.timeoutMs);
}

void HookLibraryBackEnd::ClearTransforms() {
  if (exports_.initTransform != nullptr) exports_.initTransform();
}

void HookLibraryBackEnd::AddTransform(const char* code, const char* filter, int autoConvert) {
  if (exports_.addTransform != nullptr) exports_.addTransform(code, filter, autoConvert);
}

void DriverBackEnd::ReadBack(TraySettings& settings) {
  // The driver writes its byte straight into the terminator field.
  uint32_t returned = 0;
  driver_.Control(kDriverCodeGetTerminator, nullptr, 0, &settings.terminator, 1, &returned);
}

void DriverBackEnd::Push(const TraySettings& settings) {
  uint32_t returned = 0;
  driver_.Control(kDriverCodeSetTerminator, &settings.terminator, 1, nullptr, 0, &returned);
}

}  // namespace pellix
