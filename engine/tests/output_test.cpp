#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/output.h"
#include "engine/scan_record.h"

namespace pellix {
namespace {

struct RecordingPort : TypingPort {
  std::vector<std::string> calls;
  std::string typed;
  void Beep(uint32_t type) override { calls.push_back("beep " + std::to_string(type)); }
  void TypeText(const char* text) override {
    calls.push_back(text);
    typed += text;
  }
};

ScanRecord Record(const char* serial, const char* type, const char* data) {
  ScanRecord r{};
  std::snprintf(r.serial, sizeof r.serial, "%s", serial);
  std::snprintf(r.type, sizeof r.type, "%s", type);
  std::snprintf(r.data, sizeof r.data, "%s", data);
  r.valid = 1;
  return r;
}

TEST(Output, StylesTypeTheirFieldsAndTheTerminator) {
  const ScanRecord r = Record("123", "UPA", "0123");
  const char* expected[] = {"0123\n", "UPA.0123\n", "123.0123\n", "123.UPA.0123\n", "0123\n"};
  for (uint32_t style = 0; style < 5; ++style) {
    OutputSettings s;
    s.outputStyle = style;
    s.beepOn = 0;
    RecordingPort port;
    TypeScanOutput(r, s, port);
    EXPECT_EQ(port.typed, expected[style]) << style;
    char text[256];
    FormatScanOutput(text, sizeof text, r.serial, r.type, r.data, '.', style);
    EXPECT_EQ(std::string(text) + "\n", expected[style]) << style;
  }
}

TEST(Output, NoSeparatorNoTerminator) {
  const ScanRecord r = Record("123", "UPA", "0123");
  OutputSettings s;
  s.outputStyle = 3;
  s.separator = 0;
  s.terminator = 0;
  RecordingPort port;
  TypeScanOutput(r, s, port);
  EXPECT_EQ(port.typed, "123UPA0123");
  char text[256];
  FormatScanOutput(text, sizeof text, "123", "UPA", "0123", 0, 3);
  EXPECT_STREQ(text, "123UPA0123");
}

TEST(Output, BeepComesFirstAndOnlyWhenOn) {
  const ScanRecord r = Record("1", "UPA", "");  // data emptied by a filter: still typed
  OutputSettings s;
  s.outputStyle = 1;
  s.beepType = 48;
  RecordingPort port;
  TypeScanOutput(r, s, port);
  const std::vector<std::string> want = {"beep 48", "UPA", ".", "", "\n"};
  EXPECT_EQ(port.calls, want);
  s.beepOn = 0;
  RecordingPort quiet;
  TypeScanOutput(r, s, quiet);
  EXPECT_EQ(quiet.calls.front(), "UPA");
}

TEST(Output, FormatCutsAtTheBuffer) {
  const std::string serial(127, 's'), type(3, 't'), data(255, 'd');
  char text[256];
  const size_t n =
      FormatScanOutput(text, sizeof text, serial.c_str(), type.c_str(), data.c_str(), '.', 3);
  EXPECT_EQ(n, 255u);
  EXPECT_EQ(std::strlen(text), 255u);
  EXPECT_EQ(std::string(text).substr(0, 128), serial + ".");
}

TEST(Output, SettingsCheck) {
  for (char c : std::string(".,/\\|\n\r\t-_!`~^ ")) {
    EXPECT_TRUE(OutputSettingsAcceptable(c, c, 3)) << int(c);
  }
  EXPECT_TRUE(OutputSettingsAcceptable(0, 0, 0));
  EXPECT_FALSE(OutputSettingsAcceptable('a', '.', 0));
  EXPECT_FALSE(OutputSettingsAcceptable('\n', '#', 0));
  EXPECT_FALSE(OutputSettingsAcceptable('\n', '.', 4));
  EXPECT_FALSE(OutputSettingsAcceptable('\n', '.', static_cast<uint32_t>(-1)));
  EXPECT_EQ(std::strlen(kAllowedOutputChars), 15u);
}

}  // namespace
}  // namespace pellix
