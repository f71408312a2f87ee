// What is typed for an unclaimed scan: which fields, in which order, with which separator
// and terminator.
#pragma once
#include <cstddef>
#include <cstdint>

namespace pellix {

struct ScanRecord;

enum OutputStyle : uint32_t {
  kStyleData = 0,
  kStyleTypeData = 1,
  kStyleSerialData = 2,
  kStyleSerialTypeData = 3,
};

// The separator and terminator characters the library accepts, besides 0 (none).
extern const char kAllowedOutputChars[16];
bool IsAllowedOutputChar(char c);

struct OutputSettings {
  char terminator = '\n';
  char separator = '.';
  uint32_t outputStyle = kStyleData;
  uint8_t beepOn = 1;
  uint32_t beepType = 0;
};

// True when the library would accept these settings (terminator and separator 0 or allowed,
// style 0..3 taken as unsigned).
bool OutputSettingsAcceptable(char terminator, char separator, uint32_t outputStyle);

// What composition needs of the platform: the audible cue and typing one text.
class TypingPort {
 public:
  virtual ~TypingPort() = default;
  virtual void Beep(uint32_t beepType) = 0;
  virtual void TypeText(const char* text) = 0;
};

// Sounds the cue when beepOn is 1, then types the pieces of the style and the terminator.
void TypeScanOutput(const ScanRecord& record, const OutputSettings& settings, TypingPort& port);

// The same layout as one text, without the terminator. The result is cut to fit `outSize`
// (at most outSize - 1 characters); returns its length.
size_t FormatScanOutput(char* out, size_t outSize, const char* serial, const char* type,
                        const char* data, char separator, uint32_t outputStyle);

}  // namespace pellix
