#include "engine/output.h"

#include <cstring>

#include "engine/scan_record.h"

namespace pellix {

const char kAllowedOutputChars[16] = ".,/\\|\n\r\t-_!`~^ ";

bool IsAllowedOutputChar(char c) {
  return c != '\0' && std::memchr(kAllowedOutputChars, c, sizeof kAllowedOutputChars - 1);
}

bool OutputSettingsAcceptable(char terminator, char separator, uint32_t outputStyle) {
  if (terminator != '\0' && !IsAllowedOutputChar(terminator)) return false;
  if (separator != '\0' && !IsAllowedOutputChar(separator)) return false;
  return outputStyle <= kStyleSerialTypeData;
}

namespace {

// The fields a style types, in order; the data always comes last.
int StyleFields(uint32_t style, const char* serial, const char* type, const char* data,
                const char* fields[3]) {
  switch (style) {
    case kStyleTypeData: fields[0] = type; fields[1] = data; return 2;
    case kStyleSerialData: fields[0] = serial; fields[1] = data; return 2;
    case kStyleSerialTypeData: fields[0] = serial; fields[1] = type; fields[2] = data; return 3;
    default: fields[0] = data; return 1;
  }
}

}  // namespace

void TypeScanOutput(const ScanRecord& record, const OutputSettings& settings, TypingPort& port) {
  if (settings.beepOn == 1) port.Beep(settings.beepType);
  const char separator[2] = {settings.separator, '\0'};
  const char* fields[3];
  const int n = StyleFields(settings.outputStyle, record.serial, record.type, record.data, fields);
  for (int i = 0; i < n; ++i) {
    if (i > 0) port.TypeText(separator);
    port.TypeText(fields[i]);
  }
  if (settings.terminator != '\0') {
    const char terminator[2] = {settings.terminator, '\0'};
    port.TypeText(terminator);
  }
}

size_t FormatScanOutput(char* out, size_t outSize, const char* serial, const char* type,
                        const char* data, char separator, uint32_t outputStyle) {
  if (outSize == 0) return 0;
  const char* fields[3];
  const int n = StyleFields(outputStyle, serial, type, data, fields);
  size_t len = 0;
  // Cut at the buffer's end rather than overrun it.
  auto append = [&](char c) {
    if (len + 1 < outSize) out[len++] = c;
  };
  for (int i = 0; i < n; ++i) {
    if (i > 0 && separator != '\0') append(separator);
    for (const char* p = fields[i]; *p; ++p) append(*p);
  }
  out[len] = '\0';
  return len;
}

}  // namespace pellix
