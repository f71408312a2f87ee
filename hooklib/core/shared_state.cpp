#include "hooklib/core/shared_state.h"

#include "engine/output.h"

namespace pellix {

int SetOutputType(HookSharedState& s, char terminator, char separator, uint32_t outputStyle,
                  int beepOn, uint32_t beepType) {
  if (!OutputSettingsAcceptable(terminator, separator, outputStyle)) return 0;
  s.outputStyle = outputStyle;
  s.separator = separator;
  s.beepOn = beepOn != 0 ? 1 : 0;
  s.terminator = terminator;
  s.beepType = beepType;
  return 1;
}

int GetOutputType(const HookSharedState& s, char* terminator, char* separator, int* outputStyle,
                  int* beepOn, int* beepType) {
  const OutputSettings o = ReadOutputSettings(s);
  if (terminator) *terminator = o.terminator;
  if (separator) *separator = o.separator;
  if (outputStyle) *outputStyle = static_cast<int>(o.outputStyle);
  if (beepOn) *beepOn = o.beepOn;
  if (beepType) *beepType = static_cast<int>(o.beepType);
  return static_cast<int>(o.beepType);
}

uint32_t SetTimeOut(HookSharedState& s, uint32_t milliseconds) {
  const uint32_t v = milliseconds < kMinTimeoutMs   ? kMinTimeoutMs
                     : milliseconds > kMaxTimeoutMs ? kMaxTimeoutMs
                                                    : milliseconds;
  s.timeoutMs = v;
  return v;
}

uint32_t GetTimeOut(const HookSharedState& s) { return ReadTimeOut(s); }

uint32_t ReadTimeOut(const HookSharedState& s) {
  const uint32_t v = s.timeoutMs;
  return v < kMinTimeoutMs ? kMinTimeoutMs : (v > kMaxTimeoutMs ? kMaxTimeoutMs : v);
}

OutputSettings ReadOutputSettings(const HookSharedState& s) {
  OutputSettings o;
  o.terminator = s.terminator;
  o.separator = s.separator;
  o.outputStyle = s.outputStyle <= kStyleSerialTypeData ? s.outputStyle : kStyleData;
  o.beepOn = s.beepOn != 0 ? 1 : 0;
  o.beepType = s.beepType;
  // A character the library would not accept is typed as nothing.
  if (o.terminator != 0 && !IsAllowedOutputChar(o.terminator)) o.terminator = 0;
  if (o.separator != 0 && !IsAllowedOutputChar(o.separator)) o.separator = 0;
  return o;
}

}  // namespace pellix
