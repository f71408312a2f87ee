#include <gtest/gtest.h>

#include <set>
#include <string>

#include "ui/core/settings_lists.h"

namespace pellix {
namespace {

PageSettings Stored() { return PageSettings{'\n', '.', 0, 1, 0, 1250}; }

TEST(SettingsLists, SelectsStoredValues) {
  PageSettings s = Stored();
  s.outputStyle = 3;
  s.separator = '\t';
  s.terminator = 0;
  s.beepType = -1;
  int sel[5];
  SelectionsFor(&s, sel);
  EXPECT_STREQ(kOutputTypeChoices.items[sel[0]].text, "SerialNum + Type + Data");
  EXPECT_STREQ(kSeparatorChoices.items[sel[1]].text, "<Tab>");
  EXPECT_STREQ(kTerminatorChoices.items[sel[2]].text, "<None>");
  EXPECT_STREQ(kAudibleCueChoices.items[sel[3]].text, "Speaker");
  EXPECT_STREQ(kTimeoutChoices.items[sel[4]].text, "1250");
}

TEST(SettingsLists, TimeoutIsNormalisedForShowing) {
  const struct { uint32_t stored, shown; } cases[] = {
      {1300, 1250}, {100, 250}, {5000, 2000}, {0, 250}, {0xFFFFFFFF, 2000}, {2000, 2000}};
  for (const auto& c : cases) {
    PageSettings s = Stored();
    s.timeoutMs = c.stored;
    int sel[5];
    SelectionsFor(&s, sel);
    EXPECT_EQ(s.timeoutMs, c.shown) << c.stored;
    EXPECT_EQ(kTimeoutChoices.items[sel[4]].value, static_cast<int32_t>(c.shown));
  }
}

TEST(SettingsLists, BeepOffShowsNone) {
  PageSettings s = Stored();
  s.beepOn = 0;
  s.beepType = 48;
  int sel[5];
  SelectionsFor(&s, sel);
  EXPECT_STREQ(kAudibleCueChoices.items[sel[3]].text, "None");
}

TEST(SettingsLists, UnknownValuesLeaveNoSelectionAndSurviveReading) {
  PageSettings s = Stored();
  s.terminator = '\r';  // no item carries 13
  s.separator = 0;      // the separator list has no "<None>"
  int sel[5];
  SelectionsFor(&s, sel);
  EXPECT_EQ(sel[2], -1);
  EXPECT_EQ(sel[1], -1);
  sel[0] = 1;  // the user picks another output type
  ReadSelections(sel, &s);
  EXPECT_EQ(s.terminator, '\r');
  EXPECT_EQ(s.separator, 0);
  EXPECT_EQ(s.outputStyle, 1);
}

TEST(SettingsLists, ReadingNoneAndSpeaker) {
  PageSettings s = Stored();
  int sel[5];
  SelectionsFor(&s, sel);
  sel[3] = IndexOfValue(kAudibleCueChoices, kNoCue);
  ReadSelections(sel, &s);
  EXPECT_EQ(s.beepOn, 0);
  EXPECT_EQ(s.beepType, -2);
  sel[3] = IndexOfValue(kAudibleCueChoices, -1);
  ReadSelections(sel, &s);
  EXPECT_EQ(s.beepOn, 1);
  EXPECT_EQ(s.beepType, -1);
}

TEST(SettingsLists, HighCharacterCompareAsSignedBytes) {
  PageSettings s = Stored();
  s.terminator = static_cast<char>(0x80);
  int sel[5];
  SelectionsFor(&s, sel);
  EXPECT_EQ(sel[2], -1);
}

TEST(SettingsLists, EveryCharacterOfferedIsOneTheLibraryAccepts) {
  const std::string allowed(".,/\\|\n\r\t-_!`~^ ");
  for (const ChoiceList* l : {&kSeparatorChoices, &kTerminatorChoices}) {
    std::set<int32_t> seen;
    for (int i = 0; i < l->count; ++i) {
      const int32_t v = l->items[i].value;
      EXPECT_TRUE(v == 0 || allowed.find(static_cast<char>(v)) != std::string::npos) << v;
      EXPECT_TRUE(seen.insert(v).second) << "duplicate " << v;
    }
  }
  EXPECT_EQ(kSeparatorChoices.count, 9);
  EXPECT_EQ(kTerminatorChoices.count, 10);
}

}  // namespace
}  // namespace pellix
