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

// The key that types a control character of the output (a separator or terminator): Tab for
// 9, Return for 10 and 13, as Windows maps them; 0 for every other character, which goes
// through the layout. Typed as the key itself, because the layout's look-up can give another
// key (Wine maps 10 to an X Linefeed key, which a rich-edit control ignores).
constexpr uint8_t kVkTab = 9;
constexpr uint8_t kVkReturn = 13;
inline uint8_t ControlCharKey(char c) {
  return c == 9 ? kVkTab : (c == 10 || c == 13) ? kVkReturn : 0;
}

// The modifier bits of a VkKeyScanA answer.
constexpr int16_t kNeedsShift = 0x100, kNeedsCtrl = 0x200, kNeedsAlt = 0x400;

// The characters that layouts put on dead keys, as they stand alone (ANSI code page 1252:
// diaeresis, acute accent, cedilla besides the ASCII ones). A dead key's Shift or AltGr
// character need not be dead (Swiss German's diaeresis key gives '!' with Shift): only
// these wait for the next key.
inline bool IsSpacingAccent(char ch) {
  const uint8_t u = static_cast<uint8_t>(ch);
  return u == '^' || u == '`' || u == '~' || u == '\'' || u == '"' || u == 0xA8 || u == 0xB4 ||
         u == 0xB8;
}

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
