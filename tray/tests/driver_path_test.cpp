// The driver path's scan routine over a recording driver and the US layout.
#include <gtest/gtest.h>

#include <cstring>

#include "tray/core/driver_path.h"
#include "tray/tests/fakes.h"

namespace pellix {
namespace {

int sheetWindow, otherWindow;
int yields = 0;
void CountYield() { ++yields; }

class DriverPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    settings.terminator = '\n';
    settings.separator = '.';
    settings.beepOn = 1;
    port.foreground = &otherWindow;
    yields = 0;
  }
  DriverScanRecord Run(const char* serial, const char* type, const char* data) {
    DriverScanRecord r;
    std::memset(&r, 0, sizeof r);
    std::strncpy(r.serial, serial, sizeof r.serial - 1);
    std::strncpy(r.type, type, sizeof r.type - 1);
    std::strncpy(r.data, data, sizeof r.data - 1);
    DriverScanContext ctx = {&driver, &port, &launcher, &layout, &table, &settings, &CountYield,
                             nullptr};
    ProcessDriverScan(&r, ctx);
    EXPECT_FALSE(driver.requests.empty());
    if (!driver.requests.empty()) {
      EXPECT_EQ(driver.requests.back().code, kDriverCodeReleaseRecord);
      EXPECT_EQ(driver.requests.back().in.size(), sizeof(DriverAddress))
          << "an address at the program's pointer width (4 bytes in the x86 program)";
      DriverScanRecord* back = nullptr;
      std::memcpy(&back, driver.requests.back().in.data(), sizeof back);
      EXPECT_EQ(back, &r) << "code 101 must hand back this record";
    }
    return r;
  }
  std::string Typed() const {
    std::string codes;
    for (const auto& q : driver.requests) {
      if (q.code == kDriverCodeTypeKeys) codes += q.in;
    }
    return codes;
  }
  std::string Codes(const char* text) {
    std::string codes;
    for (const char* p = text; *p; ++p) codes += static_cast<char>(KeystrokeFor(layout, *p).code);
    return codes;
  }

  RecordingDriver driver;
  FakeTrayPort port;
  FakeLauncher launcher;
  UsLayout layout;
  ProfileTable table;
  TraySettings settings;
};

TEST(KeystrokeCodes, ShiftIsBitSevenAndTheScanCodeTheRest) {
  UsLayout layout;
  std::string codes;
  for (char c : std::string("A1a,\t\n\r\x01"))
    codes += static_cast<char>(KeystrokeFor(layout, c).code);
  // Tab and Return by their own keys, whatever the layout's look-up gives for 9, 10 and 13;
  // no key for \x01: nothing typed.
  EXPECT_EQ(codes, std::string("\x9E\x02\x1E\x33\x0F\x1C\x1C", 8));
}

// The rule of Windows 9x, the driver's home: what needs AltGr is typed by the program with
// Ctrl and Alt held, after the codes before it; a dead accent gets a space; no key, nothing.
RecordingDriver* heldDriver = nullptr;
void TypeHeld(int16_t key) {  // recorded in order with the driver's requests
  heldDriver->requests.push_back({0, "held " + std::to_string(key)});
}

TEST_F(DriverPathTest, AltGrKeysAreTypedHeldBetweenTheCodesDeadAccentsGetASpace) {
  // As German: '|' Ctrl+Alt+0xE2, '^' a dead key (here on the minus key), '~' no key.
  layout.keys = {{'|', 0x06E2}, {'^', 0x00BD}, {'~', -1}};
  layout.deadKey = 0xBD;
  heldDriver = &driver;
  settings.separator = '|';
  settings.outputStyle = 1;
  settings.terminator = 0;
  DriverScanRecord r{};
  std::strcpy(r.type, "128");
  std::strcpy(r.data, "a^b~c");
  DriverScanContext ctx = {&driver, &port, &launcher, &layout, &table, &settings, nullptr,
                           &TypeHeld};
  ProcessDriverScan(&r, ctx);
  std::vector<std::string> got;
  for (const auto& q : driver.requests) got.push_back(std::to_string(q.code) + " " + q.in);
  got.pop_back();  // the record handed back
  EXPECT_EQ(got, (std::vector<std::string>{"103 " + Codes("128"), "0 held 1762",
                                           "103 " + Codes("a-") + "\x39" + Codes("bc")}));
}

TEST_F(DriverPathTest, ThirtyOneCodesGoAsFifteenFifteenOneThenTheTerminator) {
  const char data[] = "1234567890123456789012345678901";
  Run("1", "UPA", data);
  ASSERT_EQ(driver.requests.size(), 5u);
  EXPECT_EQ(driver.requests[0].in.size(), 15u);
  EXPECT_EQ(driver.requests[1].in.size(), 15u);
  EXPECT_EQ(driver.requests[2].in.size(), 1u);
  EXPECT_EQ(driver.requests[3].code, kDriverCodeTypeTerminator);
  EXPECT_EQ(driver.requests[3].in, "\n");
  EXPECT_EQ(Typed(), Codes(data));
  EXPECT_EQ(yields, 3) << "Sleep(0) after each chunk";
}

TEST_F(DriverPathTest, StylesComposeTheText) {
  struct Case {
    uint32_t style;
    char separator;
    const char* typed;
  } cases[] = {{0, '.', "0123"},           {1, '.', "UPA.0123"},   {2, ',', "123,0123"},
               {3, '.', "123.UPA.0123"},   {3, 0, "123UPA0123"},   {7, '.', "0123"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    driver.requests.clear();
    settings.outputStyle = c.style;
    settings.separator = c.separator;
    port.noted.clear();
    Run("123", "UPA", "0123");
    EXPECT_EQ(Typed(), Codes(c.typed));
    // The history and the log get the scan's data, never the serial the output carries.
    EXPECT_EQ(port.noted, (std::vector<std::string>{"UPA|0123|typed"}));
  }
}

TEST_F(DriverPathTest, NoTerminatorMeansNoCode102) {
  settings.terminator = 0;
  Run("1", "UPA", "12");
  for (const auto& q : driver.requests) EXPECT_NE(q.code, kDriverCodeTypeTerminator);
}

TEST_F(DriverPathTest, TheSheetInFrontGetsTheTraceAndTheBeepButNoKeys) {
  port.sheet = {true, &sheetWindow, &sheetWindow};
  port.foreground = &sheetWindow;
  Run("9", "UPA", "0123");
  ASSERT_EQ(driver.requests.size(), 1u);
  EXPECT_EQ(port.log, (std::vector<std::string>{"beep 0", "trace page 9|UPA|0123"}));
  EXPECT_EQ(port.noted, (std::vector<std::string>{"UPA|0123|claimed by a window"}));
}

TEST_F(DriverPathTest, ACommandLaunchesEvenWithTheSheetInFrontAndTypesNothing) {
  launcher.files.Add({"C:\\work\\x.exe", "C:\\work\\lookup.bat"});
  table.AddOrUpdate("UPA", nullptr, "x.exe", "$1 $2 $3", false, 1);
  table.AddOrUpdate("E13", nullptr, "lookup", "$1", false, 1);
  port.sheet = {true, &sheetWindow, nullptr};
  port.foreground = &sheetWindow;
  Run("9", "UPA", "0123");
  ASSERT_EQ(driver.requests.size(), 1u);
  ASSERT_EQ(launcher.launches.size(), 1u);
  EXPECT_EQ(launcher.launches[0].params, "0123 UPA 9");
  // The same rule as for the library's scans: a label that is no code is refused, and a
  // batch file by another name gets digits only.
  port.log.clear();
  Run("9", "UPA", "0123 -x");
  Run("9", "E13", "12A");
  Run("9", "E13", "4006381333931");
  ASSERT_EQ(launcher.launches.size(), 2u);
  EXPECT_EQ(launcher.launches[1].file + "|" + launcher.launches[1].params, "lookup|4006381333931");
  EXPECT_EQ(port.log, (std::vector<std::string>{
                          "beep 0",
                          "refusal: UPA: The scan holds a character other than letters, digits, '-', '.' and '_'.",
                          "beep 0",
                          "refusal: E13: The Program runs what it is given, and the scan is not all digits.",
                          "beep 0"}));
  EXPECT_EQ(port.noted, (std::vector<std::string>{"UPA|0123|launched", "UPA|0123 -x|refused",
                                                  "E13|12A|refused", "E13|4006381333931|launched"}));
  // Filtered to nothing: there is nothing to hand the command, and nothing is launched.
  table.AddOrUpdate("UPA", "----", "x.exe", "$1 $2 $3", false, 1);
  Run("9", "UPA", "0123");
  EXPECT_EQ(launcher.launches.size(), 2u);
  EXPECT_EQ(port.noted.back(), "UPA||filtered to nothing");
}

TEST_F(DriverPathTest, FixUpsThenBeepThenTheEntrysChoice) {
  // UPC-E gains its check digit before the filter sees it; the filter keeps positions 1, 3.
  table.AddOrUpdate("UPE", "+-+", nullptr, nullptr, false, 1);
  settings.terminator = 0;
  settings.beepType = 64;
  port.sheet = {true, &sheetWindow, &sheetWindow};  // open behind: traced, still typed
  DriverScanRecord r = Run("1", "UPE", "0123456");
  EXPECT_EQ(r.done, 1u);
  // One beep, before the trace of the scan as fixed up and filtered.
  EXPECT_EQ(port.log, (std::vector<std::string>{"beep 64", "trace page 1|UPE|02"}));
  EXPECT_EQ(Typed(), Codes("02"));  // the record's data now holds these codes
  port.log.clear();
  settings.beepOn = 0;
  Run("1", "UPE", "0123456");
  EXPECT_EQ(port.log, (std::vector<std::string>{"trace page 1|UPE|02"})) << "beep off";
  // The history gets the data as delivered, not the composed output or its key codes; a
  // filter that leaves nothing says so. The serial is never handed over.
  table.AddOrUpdate("UPE", "-------", nullptr, nullptr, false, 1);
  Run("1", "UPE", "0123456");
  EXPECT_EQ(port.noted, (std::vector<std::string>{"UPE|02|typed", "UPE|02|typed",
                                                  "UPE||filtered to nothing"}));
}

bool IgnoreEvenData(const char*, const char* data) { return data[0] && data[std::strlen(data) - 1] % 2 == 0; }

TEST_F(DriverPathTest, ARepeatToIgnoreGetsItsOwnBeepAndItsRowAndNothingElse) {
  table.AddOrUpdate("UPA", "+-+", "x.exe", "$1", false, 1);  // compared as filtered: "02"
  port.sheet = {true, &sheetWindow, &sheetWindow};
  DriverScanRecord r;
  DriverScanContext ctx = {&driver, &port, &launcher, &layout, &table, &settings, nullptr,
                           nullptr, &IgnoreEvenData};
  std::memset(&r, 0, sizeof r);
  std::strcpy(r.type, "UPA");
  std::strcpy(r.data, "0123");
  ProcessDriverScan(&r, ctx);
  EXPECT_EQ(port.log, (std::vector<std::string>{"beep " + std::to_string(RepeatBeepType(0))}));
  EXPECT_EQ(port.noted, (std::vector<std::string>{"UPA|02|repeat ignored"}));
  ASSERT_EQ(driver.requests.size(), 1u) << "only the record handed back";
  EXPECT_EQ(driver.requests[0].code, kDriverCodeReleaseRecord);
  EXPECT_TRUE(launcher.launches.empty());
}

TEST_F(DriverPathTest, AutoIsbnSkipsTheFilter) {
  table.AddOrUpdate("IB5", "+", nullptr, nullptr, true, 1);
  Run("1", "IB5", "9780262033848");
  EXPECT_EQ(Typed(), Codes("0262033844"));
}

TEST_F(DriverPathTest, TheDriversRecordIsReadOnlyWithinItsFields) {
  DriverScanRecord r;
  std::memset(&r, 'a', sizeof r);
  DriverScanContext ctx = {&driver, &port, &launcher, &layout, &table, &settings, nullptr,
                           nullptr};
  ProcessDriverScan(&r, ctx);
  EXPECT_EQ(r.type[3], '\0');
  EXPECT_EQ(r.serial[127], '\0');
  EXPECT_EQ(Typed().size(), 255u);
}

TEST_F(DriverPathTest, ALongCompositionIsCutAtTheField) {
  settings.outputStyle = 3;
  DriverScanRecord r = Run(std::string(127, '1').c_str(), "UPA", std::string(255, '2').c_str());
  EXPECT_EQ(std::strlen(r.data), 255u);
  EXPECT_EQ(Typed().size(), 255u);
}

}  // namespace
}  // namespace pellix
