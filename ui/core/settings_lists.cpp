#include "ui/core/settings_lists.h"

namespace pellix {

namespace {

const ListItem kOutputTypes[] = {{"Data", 0},
                                 {"BarType + Data", 1},
                                 {"SerialNum + Data", 2},
                                 {"SerialNum + Type + Data", 3}};
const ListItem kSeparators[] = {{". (Period)", 46},   {", (Comma)", 44},
                                {"- (Hyphen)", 45},   {"<Space>", 32},
                                {"| (Vertical Bar)", 124}, {"/ (Slash)", 47},
                                {"\\ (Backslash)", 92}, {"<Tab>", 9},
                                {"<Return>", 10}};
const ListItem kTerminators[] = {{"<Return>", 10},   {"<Tab>", 9},
                                 {"<None>", 0},      {". (Period)", 46},
                                 {", (Comma)", 44},  {"- (Hyphen)", 45},
                                 {"<Space>", 32},    {"| (Vertical Bar)", 124},
                                 {"/ (Slash)", 47},  {"\\ (Backslash)", 92}};
const ListItem kCues[] = {{"Default", 0},      {"Speaker", -1}, {"Asterisk", 64},
                          {"Exclamation", 48}, {"Hand", 16},    {"Question", 32},
                          {"None", kNoCue}};
const ListItem kTimeouts[] = {{"250", 250},   {"500", 500},   {"750", 750},
                              {"1000", 1000}, {"1250", 1250}, {"1500", 1500},
                              {"1750", 1750}, {"2000", 2000}};

template <int N>
constexpr ChoiceList Make(int id, const ListItem (&items)[N]) {
  return ChoiceList{id, items, N};
}

}  // namespace

const ChoiceList kOutputTypeChoices = Make(kOutputTypeList, kOutputTypes);
const ChoiceList kSeparatorChoices = Make(kSeparatorList, kSeparators);
const ChoiceList kTerminatorChoices = Make(kTerminatorList, kTerminators);
const ChoiceList kAudibleCueChoices = Make(kAudibleCueList, kCues);
const ChoiceList kTimeoutChoices = Make(kTimeoutList, kTimeouts);
const ChoiceList* const kSettingsLists[5] = {&kOutputTypeChoices, &kSeparatorChoices,
                                             &kTerminatorChoices, &kAudibleCueChoices,
                                             &kTimeoutChoices};

int IndexOfValue(const ChoiceList& list, int32_t value) {
  for (int i = 0; i < list.count; ++i) {
    if (list.items[i].value == value) return i;
  }
  return -1;
}

uint32_t NormaliseTimeout(uint32_t t) {
  if (t < 250) t = 250;
  if (t > 2000) t = 2000;
  return t - t % 250;
}

void SelectionsFor(PageSettings* s, int selections[5]) {
  s->timeoutMs = NormaliseTimeout(s->timeoutMs);
  // Characters compare as signed bytes widened, as they are stored.
  selections[0] = IndexOfValue(kOutputTypeChoices, s->outputStyle);
  selections[1] = IndexOfValue(kSeparatorChoices, static_cast<signed char>(s->separator));
  selections[2] = IndexOfValue(kTerminatorChoices, static_cast<signed char>(s->terminator));
  selections[3] = IndexOfValue(kAudibleCueChoices, s->beepOn ? s->beepType : kNoCue);
  selections[4] = IndexOfValue(kTimeoutChoices, static_cast<int32_t>(s->timeoutMs));
}

void ReadSelections(const int selections[5], PageSettings* s) {
  auto value = [&](int list, int32_t* out) {
    const ChoiceList& l = *kSettingsLists[list];
    const int i = selections[list];
    if (i < 0 || i >= l.count) return false;
    *out = l.items[i].value;
    return true;
  };
  int32_t v;
  if (value(2, &v)) s->terminator = static_cast<char>(v & 0xFF);
  if (value(1, &v)) s->separator = static_cast<char>(v & 0xFF);
  if (value(0, &v)) s->outputStyle = static_cast<signed char>(v);
  if (value(3, &v)) {
    s->beepType = v;
    s->beepOn = v != kNoCue ? 1 : 0;
  }
  if (value(4, &v)) s->timeoutMs = static_cast<uint32_t>(v);
}

}  // namespace pellix
