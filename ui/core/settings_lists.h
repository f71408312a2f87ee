// The Settings page's five lists and how the output settings map onto their selections.
#pragma once
#include <cstdint>

namespace pellix {

struct ListItem {
  const char* text;
  int32_t value;
};

struct ChoiceList {
  int controlId;
  const ListItem* items;
  int count;
};

enum SettingsControl {
  kOutputTypeList = 1021,
  kAudibleCueList = 1022,
  kSeparatorList = 1023,
  kTerminatorList = 1024,
  kTimeoutList = 1025,
  kTraceSerial = 1027,
  kTraceType = 1028,
  kTraceData = 1029,
  kPlayButton = 1030,
  kClearTraceButton = 1048,
  kPageIcon = 1049,
};

constexpr int32_t kNoCue = -2;  // the audible cue list's "None"

extern const ChoiceList kOutputTypeChoices;
extern const ChoiceList kSeparatorChoices;
extern const ChoiceList kTerminatorChoices;
extern const ChoiceList kAudibleCueChoices;
extern const ChoiceList kTimeoutChoices;
// In the order the page fills them.
extern const ChoiceList* const kSettingsLists[5];

// What the page shows and edits; the tray program's settings record has these fields.
struct PageSettings {
  char terminator;
  char separator;
  int32_t outputStyle;
  int32_t beepOn;
  int32_t beepType;
  uint32_t timeoutMs;
};

// Index of the first item carrying `value`, or -1 (the list is then left without selection).
int IndexOfValue(const ChoiceList& list, int32_t value);

// The timeout as the list can show it: 250..2000, rounded down to a multiple of 250.
uint32_t NormaliseTimeout(uint32_t timeoutMs);

// The selection of each list for the settings, in kSettingsLists order; normalises the
// timeout in `settings` as the page does when it shows it.
void SelectionsFor(PageSettings* settings, int selections[5]);

// Reads the selections back into the settings. A list without a selection (-1) keeps its
// setting as it was, so a stored value no item carries survives a change elsewhere.
void ReadSelections(const int selections[5], PageSettings* settings);

// The separator only matters when more than the data is typed.
inline bool SeparatorEnabled(const PageSettings& s) { return s.outputStyle != 0; }

}  // namespace pellix
