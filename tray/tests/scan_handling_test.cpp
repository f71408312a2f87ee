// The KV_CC_MSG handler's decisions: claim, reply, beeps, launch, trace and the sheet rule.
#include <gtest/gtest.h>

#include "tray/core/scan_handling.h"
#include "tray/tests/fakes.h"

namespace pellix {
namespace {

constexpr uint16_t kData = 0xC001, kSerial = 0xC002, kType = 0xC003;
int sheetWindow, pageWindow, otherWindow;

class ScanMessageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port.atoms = {{kData, "0123"}, {kSerial, "00000001"}, {kType, "UPA"}};
    port.foreground = &otherWindow;
    settings.beepOn = 1;
    settings.beepType = 48;
  }
  intptr_t Offer() { return OnScanMessage(port, launcher, table, settings, kData, kSerial, kType); }
  bool Claimed() const { return port.atoms.count(kData) == 0; }
  void OpenSheet(bool inFront) {
    port.sheet = {true, &sheetWindow, &pageWindow};
    if (inFront) port.foreground = &sheetWindow;
  }

  FakeTrayPort port;
  FakeLauncher launcher;
  ProfileTable table;
  TraySettings settings;
};

TEST_F(ScanMessageTest, ATypeWithACommandIsClaimedRepliedBeepedAndLaunchedInThatOrder) {
  table.AddOrUpdate("UPA", nullptr, "http://x/?$1", "-s $3 -t $2", false, 3);
  launcher.log = &port.log;
  EXPECT_EQ(Offer(), 1);
  EXPECT_TRUE(Claimed());
  EXPECT_EQ(port.log, (std::vector<std::string>{"delete 49153", "reply 1", "beep 48",
                                                "launch http://x/?0123"}));
  ASSERT_EQ(launcher.launches.size(), 1u);
  EXPECT_EQ(launcher.launches[0].file, "http://x/?0123");
  EXPECT_EQ(launcher.launches[0].params, "-s 00000001 -t UPA");
  EXPECT_EQ(launcher.launches[0].showMode, 3);
  EXPECT_EQ(port.noted, (std::vector<std::string>{"UPA|0123|launched"}));
}

TEST_F(ScanMessageTest, NothingIsClaimedWithoutACommand) {
  struct Case {
    const char* name;
    const char* code;
    const char* command;
  } cases[] = {{"no profile", nullptr, nullptr},
               {"other type", "UPE", "x.exe"},
               {"filter only", "UPA", nullptr},
               {"empty command", "UPA", ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    table.Clear();
    port.log.clear();
    if (c.code) table.AddOrUpdate(c.code, "+", c.command, nullptr, false, 1);
    EXPECT_EQ(Offer(), 1);
    EXPECT_FALSE(Claimed());
    EXPECT_TRUE(port.log.empty()) << "no reply, no beep: the library beeps and types";
    EXPECT_TRUE(launcher.launches.empty());
  }
}

TEST_F(ScanMessageTest, CueAndCcTypesFindTheCueEntry) {
  table.AddOrUpdate("CUE", nullptr, "cue.exe", nullptr, false, 1);
  for (const char* type : {"CUE", "CC", "CCx"}) {
    SCOPED_TRACE(type);
    port.atoms = {{kData, "12"}, {kSerial, "1"}, {kType, type}};
    launcher.launches.clear();
    Offer();
    EXPECT_TRUE(Claimed());
    ASSERT_EQ(launcher.launches.size(), 1u);
    EXPECT_FALSE(launcher.launches[0].hasParams) << "an entry without parameters gives none";
  }
}

TEST_F(ScanMessageTest, AWindowOfThisProgramInFrontSwallowsAnUnclaimedScanAndBeeps) {
  int fileDialog;
  for (WindowRef front : {WindowRef(&sheetWindow), WindowRef(&fileDialog)}) {
    SetUp();
    port.log.clear();
    port.noted.clear();
    port.ownWindow = &fileDialog;
    OpenSheet(false);
    port.foreground = front;
    Offer();
    EXPECT_TRUE(Claimed());
    EXPECT_EQ(port.log, (std::vector<std::string>{"delete 49153", "reply 1",
                                                  "trace page 00000001|UPA|0123", "beep 48"}));
    EXPECT_EQ(port.noted, (std::vector<std::string>{"UPA|0123|claimed by a window"}));
  }
}

TEST_F(ScanMessageTest, AClaimedScanWithTheSheetInFrontBeepsTwiceAndIsDeletedOnce) {
  table.AddOrUpdate("UPA", nullptr, "x.exe", nullptr, false, 1);
  OpenSheet(true);
  Offer();
  EXPECT_EQ(port.log, (std::vector<std::string>{"delete 49153", "reply 1", "beep 48",
                                                "trace page 00000001|UPA|0123", "beep 48"}));
  EXPECT_EQ(launcher.launches.size(), 1u);
}

TEST_F(ScanMessageTest, AnOpenSheetBehindTracesButLetsTheLibraryType) {
  OpenSheet(false);
  Offer();
  EXPECT_FALSE(Claimed());
  EXPECT_EQ(port.log, (std::vector<std::string>{"trace page 00000001|UPA|0123"}));
  EXPECT_EQ(port.noted, (std::vector<std::string>{"UPA|0123|typed"}));
}

TEST_F(ScanMessageTest, WithBeepsOffNothingBeeps) {
  settings.beepOn = 0;
  table.AddOrUpdate("UPA", nullptr, "x.exe", nullptr, false, 1);
  OpenSheet(true);
  Offer();
  for (const std::string& e : port.log) EXPECT_EQ(e.find("beep"), std::string::npos) << e;
}

TEST_F(ScanMessageTest, ANoForegroundWindowIsNotTheSheetWhenNoSheetIsRecorded) {
  port.foreground = nullptr;
  port.sheet = {true, nullptr, nullptr};  // the sheet is starting: no window recorded yet
  Offer();
  EXPECT_FALSE(Claimed());
}

TEST_F(ScanMessageTest, UnreadableAtomsAreEmptyTexts) {
  port.atoms = {{kData, "0123"}};  // serial and type gone
  table.AddOrUpdate("UPA", nullptr, "x.exe", nullptr, false, 1);
  OpenSheet(false);
  Offer();
  EXPECT_FALSE(Claimed());
  EXPECT_EQ(port.log, (std::vector<std::string>{"trace page ||0123"}));
}

TEST_F(ScanMessageTest, AHostileLabelIsClaimedRefusedAndToldNotLaunched) {
  table.AddOrUpdate("UPA", nullptr, "C:\\x\\lookup.bat.", "\"$1\"", false, 1);
  port.atoms[kData] = "0262033844\" & calc.exe & \"";
  Offer();
  EXPECT_TRUE(Claimed()) << "nothing typed either";
  EXPECT_TRUE(launcher.launches.empty());
  EXPECT_EQ(port.log, (std::vector<std::string>{
                          "delete 49153", "reply 1", "beep 48",
                          "refusal: UPA: The scan holds a character other than letters, digits, '-', '.' and '_'."}));
  EXPECT_EQ(port.noted, (std::vector<std::string>{"UPA|0262033844\" & calc.exe & \"|refused"}));
}

}  // namespace
}  // namespace pellix
