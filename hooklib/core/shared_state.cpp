#include "hooklib/core/shared_state.h"

#include "engine/output.h"

namespace pellix {

int SetOutputType(HookSharedState& s, char terminator, char separator, uint32_t outputStyle,
                  int beepOn, uint32_t beepType) {
  if (!OutputSettingsAcceptable(terminator, separator, outputStyle)) return 0;
  SharedStore(&s.outputStyle, outputStyle);
  SharedStore(&s.separator, separator);
  SharedStore(&s.beepOn, static_cast<uint8_t>(beepOn != 0 ? 1 : 0));
  SharedStore(&s.terminator, terminator);
  SharedStore(&s.beepType, beepType);
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
  SharedStore(&s.timeoutMs, v);
  return v;
}

uint32_t GetTimeOut(const HookSharedState& s) { return ReadTimeOut(s); }

uint32_t ReadTimeOut(const HookSharedState& s) {
  const uint32_t v = SharedLoad(&s.timeoutMs);
  return v < kMinTimeoutMs ? kMinTimeoutMs : (v > kMaxTimeoutMs ? kMaxTimeoutMs : v);
}

OutputSettings ReadOutputSettings(const HookSharedState& s) {
  OutputSettings o;
  o.terminator = SharedLoad(&s.terminator);
  o.separator = SharedLoad(&s.separator);
  const uint32_t style = SharedLoad(&s.outputStyle);
  o.outputStyle = style <= kStyleSerialTypeData ? style : kStyleData;
  o.beepOn = SharedLoad(&s.beepOn) != 0 ? 1 : 0;
  o.beepType = SharedLoad(&s.beepType);
  // A character the library would not accept is typed as nothing.
  if (o.terminator != 0 && !IsAllowedOutputChar(o.terminator)) o.terminator = 0;
  if (o.separator != 0 && !IsAllowedOutputChar(o.separator)) o.separator = 0;
  return o;
}

int SetApplications(HookSharedState& s, const AppRules* rules) {
  if (!rules) return 0;
  // Copied as it is: readers take every field as untrusted (RuleFor), so a delivery that
  // reads while the table changes gets one row or the other, each in range.
  const char* from = reinterpret_cast<const char*>(rules);
  char* to = reinterpret_cast<char*>(&s.apps);
  for (size_t i = 0; i < sizeof(AppRules); ++i) SharedStore(&to[i], from[i]);
  return 1;
}

}  // namespace pellix
