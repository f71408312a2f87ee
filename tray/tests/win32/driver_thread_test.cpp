// The driver path for real: the driver thread with its alertable wait, scans queued to it as
// APCs by a simulated driver, the real keyboard layout, windows and shell.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tray/tests/fakes.h"
#include "tray/tests/win32/simulated_driver.h"
#include "profiles/core/memory_registry.h"
#include "tray/win32/history.h"
#include "tray/win32/tray_app.h"
#include "ui/win32/settings_sheet.h"

namespace pellix {
namespace {

using Bytes = std::vector<uint8_t>;

class DriverThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_app.driver = &driver_;
    g_app.stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_app.settings = TraySettings();
    g_app.settings.terminator = '\n';
    g_app.settings.separator = '.';
    g_app.table.Clear();
    g_sheetState.open = 0;
    g_sheetState.sheet = nullptr;
    g_sheetState.settingsPage = nullptr;
    DWORD id = 0;
    thread_ = CreateThread(nullptr, 0, &DriverThread, nullptr, 0, &id);
    ASSERT_NE(thread_, nullptr);
    g_app.driverThreadId = id;
    ASSERT_TRUE(driver_.WaitForRegistration(true, 5000));
  }

  void TearDown() override {
    SetEvent(g_app.stopEvent);
    EXPECT_EQ(WaitForSingleObject(thread_, 5000), WAIT_OBJECT_0);
    CloseHandle(thread_);
    EXPECT_FALSE(driver_.WaitForRegistration(true, 0)) << "the routine is still registered";
    EXPECT_EQ(g_app.driverThreadId, 0u);
    CloseHandle(g_app.stopEvent);
    g_app.stopEvent = nullptr;
    g_app.driver = nullptr;
    g_app.table.Clear();
  }

  // Delivers one scan and returns the requests it caused, up to and with code 101.
  std::vector<SimulatedDriver::Request> Scan(DriverScanRecord* record) {
    driver_.ClearRequests();
    EXPECT_TRUE(driver_.Deliver(record));
    EXPECT_TRUE(driver_.WaitForRelease(record, 5000)) << "the record never came back";
    return driver_.Requests();
  }

  static DriverScanRecord Record(const char* serial, const char* type, const char* data) {
    DriverScanRecord r;
    std::memset(&r, 0, sizeof r);
    std::snprintf(r.serial, sizeof r.serial, "%s", serial);
    std::snprintf(r.type, sizeof r.type, "%s", type);
    std::snprintf(r.data, sizeof r.data, "%s", data);
    return r;
  }

  static Bytes Typed(const std::vector<SimulatedDriver::Request>& requests) {
    Bytes codes;
    for (const auto& r : requests) {
      if (r.code == kDriverCodeTypeKeys) codes.insert(codes.end(), r.in.begin(), r.in.end());
    }
    return codes;
  }

  static Bytes CodesOf(const char* text) {
    Win32KeyboardLayout layout;
    Bytes codes;
    for (const char* p = text; *p; ++p) codes.push_back(KeystrokeFor(layout, *p).code);
    return codes;
  }

  SimulatedDriver driver_;
  HANDLE thread_ = nullptr;
};

TEST_F(DriverThreadTest, ThirtyOneCharactersGoAsFifteenFifteenOneThenTheTerminator) {
  const char data[] = "0123456789abcdefghijABCDEFGHIJ9";
  ASSERT_EQ(std::strlen(data), 31u);
  DriverScanRecord r = Record("123", "UPA", data);
  const auto requests = Scan(&r);
  ASSERT_EQ(requests.size(), 5u);
  EXPECT_EQ(requests[0].code, kDriverCodeTypeKeys);
  EXPECT_EQ(requests[0].in.size(), 15u);
  EXPECT_EQ(requests[1].in.size(), 15u);
  EXPECT_EQ(requests[2].in.size(), 1u);
  EXPECT_EQ(requests[3].code, kDriverCodeTypeTerminator);
  EXPECT_EQ(requests[3].in, Bytes{'\n'});  // the character itself, not its code
  EXPECT_EQ(requests[4].code, kDriverCodeReleaseRecord);
  EXPECT_EQ(Typed(requests), CodesOf(data));
  EXPECT_EQ(r.done, 1u);
}

TEST_F(DriverThreadTest, CapitalsCarryShiftOnTheRealLayout) {
  DriverScanRecord r = Record("1", "UPA", "A1");
  g_app.settings.terminator = 0;
  const auto requests = Scan(&r);
  EXPECT_EQ(Typed(requests), (Bytes{0x9E, 0x02}));
  for (const auto& q : requests) EXPECT_NE(q.code, kDriverCodeTypeTerminator);
}

TEST_F(DriverThreadTest, StyleAndSeparatorComposeOneText) {
  g_app.settings.outputStyle = 2;
  g_app.settings.separator = ',';
  DriverScanRecord r = Record("123", "UPA", "456");
  EXPECT_EQ(Typed(Scan(&r)), CodesOf("123,456"));
}

TEST_F(DriverThreadTest, FixUpsAndTheProfilesFilterComeFirst) {
  g_app.table.AddOrUpdate("UPA", "+-+", nullptr, nullptr, false, 1);
  DriverScanRecord r = Record("1", "UPA", "123");
  EXPECT_EQ(Typed(Scan(&r)), CodesOf("13"));
}

// A window in front, standing for the Settings sheet, with the trace fields of its page.
class SheetWindow {
 public:
  SheetWindow() {
    window_ = CreateWindowExA(0, "STATIC", "Pellix", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                              300, 200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    for (int id = 1027; id <= 1029; ++id) {
      CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, (id - 1027) * 20, 200, 20,
                      window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                      GetModuleHandleA(nullptr), nullptr);
    }
    SetForegroundWindow(window_);
    Pump();
  }
  ~SheetWindow() { DestroyWindow(window_); }
  HWND get() const { return window_; }
  std::string Field(int id) const {
    char text[256] = {};
    GetDlgItemTextA(window_, id, text, sizeof text);
    return text;
  }
  static void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }

 private:
  HWND window_;
};

// The trace is set from the driver thread through the windows of this (UI) thread.
bool WaitPumping(SimulatedDriver& driver, const DriverScanRecord* r) {
  for (int i = 0; i < 500; ++i) {
    SheetWindow::Pump();
    if (driver.WaitForRelease(r, 10)) return true;
  }
  return false;
}

TEST_F(DriverThreadTest, WithTheSheetInFrontNothingIsTypedButTheTraceIsSet) {
  SheetWindow sheet;
  ASSERT_EQ(GetForegroundWindow(), sheet.get());
  g_sheetState.open = 1;
  g_sheetState.sheet = sheet.get();
  g_sheetState.settingsPage = sheet.get();
  DriverScanRecord r = Record("00000001", "UPA", "0123");
  driver_.ClearRequests();
  ASSERT_TRUE(driver_.Deliver(&r));
  ASSERT_TRUE(WaitPumping(driver_, &r));
  const auto requests = driver_.Requests();
  ASSERT_EQ(requests.size(), 1u) << "typed into the sheet";
  EXPECT_EQ(requests[0].code, kDriverCodeReleaseRecord);
  EXPECT_EQ(sheet.Field(1027), "00000001");
  EXPECT_EQ(sheet.Field(1028), "UPA");
  EXPECT_EQ(sheet.Field(1029), "0123");
}

TEST_F(DriverThreadTest, EveryRecordComesBackEvenInABurstOfScans) {
  DriverScanRecord records[8];
  driver_.ClearRequests();
  for (int i = 0; i < 8; ++i) {
    records[i] = Record("1", i % 2 ? "UPE" : "CC1", "0123456");
    ASSERT_TRUE(driver_.Deliver(&records[i]));
  }
  for (auto& r : records) EXPECT_TRUE(driver_.WaitForRelease(&r, 5000));
  int released = 0;
  for (const auto& q : driver_.Requests()) released += q.code == kDriverCodeReleaseRecord;
  EXPECT_EQ(released, 8);
  EXPECT_EQ(std::strlen(records[1].data), 8u) << "UPC-E check digit appended";
}

TEST_F(DriverThreadTest, AnUnterminatedRecordIsReadWithinItsFields) {
  DriverScanRecord r;
  std::memset(&r, 'A', sizeof r);
  r.done = 0;
  const auto requests = Scan(&r);
  EXPECT_EQ(r.type[3], '\0');
  EXPECT_EQ(Typed(requests).size(), 255u);
}

// The native tests' layout must give what VkKeyScanA and MapVirtualKeyA give.
TEST(KeyboardLayoutContract, TheUsFakeMatchesTheRealLayout) {
  UsLayout fake;
  Win32KeyboardLayout real;
  for (const char* p = UsLayout::kDomain; *p; ++p) {
    SCOPED_TRACE(*p);
    EXPECT_EQ(KeystrokeFor(real, *p).code, KeystrokeFor(fake, *p).code);
    EXPECT_EQ(KeystrokeFor(real, *p).dead, false);
  }
}

std::string ReadFileText(const std::string& path) {
  std::string text;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buf[512];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    std::fclose(f);
  }
  return text;
}

TEST_F(DriverThreadTest, ATypeWithACommandLaunchesItAndTypesNothing) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, sizeof self);
  std::string dir(self, std::strrchr(self, '\\') + 1);
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  const std::string recordFile = std::string(temp) + "pellix-driver-launch.txt";
  DeleteFileA(recordFile.c_str());
  SetEnvironmentVariableA("PELLIX_RECORD_FILE", recordFile.c_str());
  // bin/ holds the test programs; the recorder sits beside them.
  const std::string recorder = dir + "pellix-record-args.exe";
  ASSERT_NE(GetFileAttributesA(recorder.c_str()), INVALID_FILE_ATTRIBUTES) << recorder;
  g_app.table.AddOrUpdate("CUE", nullptr, recorder.c_str(), "$1 $2 $3", false, SW_SHOWNORMAL);

  DriverScanRecord r = Record("77", "CC1", "abc");  // a cue code is served by "CUE"
  const auto requests = Scan(&r);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].code, kDriverCodeReleaseRecord);
  std::string got;
  for (int i = 0; i < 200 && got.empty(); ++i) {
    Sleep(50);
    got = ReadFileText(recordFile);
  }
  EXPECT_EQ(got, std::string(r.data) + " " + r.type + " 77\n");
  SetEnvironmentVariableA("PELLIX_RECORD_FILE", nullptr);
}

TEST_F(DriverThreadTest, TheDriverThreadHandsEachScanToTheMainThreadForHistoryAndLog) {
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  const std::string logFile = std::string(temp) + "pellix-driver-scans.csv";
  DeleteFileA(logFile.c_str());
  MemoryRegistry registry;
  WriteDwordValue(registry, kSettingsKey, "LogScans", 1);
  WriteStringValue(registry, kSettingsKey, "LogFile", logFile.c_str());
  StartScanHistory(GetModuleHandleA(nullptr), registry);
  TheScanHistory().Clear();
  g_app.table.AddOrUpdate("UPA", "--", nullptr, nullptr, false, SW_SHOWNORMAL);

  DriverScanRecord typed = Record("123", "UPE", "0123456");
  Scan(&typed);
  DriverScanRecord filtered = Record("123", "UPA", "45");
  Scan(&filtered);
  // Both scans are over on the driver thread; this thread has not run its messages yet, so
  // nothing may have touched the history.
  EXPECT_EQ(TheScanHistory().Count(), 0);
  MSG msg;
  for (int i = 0; i < 100 && TheScanHistory().Count() < 2; ++i) {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    Sleep(10);
  }
  ASSERT_EQ(TheScanHistory().Count(), 2);
  EXPECT_STREQ(TheScanHistory().Newest(1).data, "01234565");  // with its check digit
  EXPECT_EQ(TheScanHistory().Newest(1).action, ScanAction::kTyped);
  EXPECT_STREQ(TheScanHistory().Newest(0).type, "UPA");
  EXPECT_EQ(TheScanHistory().Newest(0).action, ScanAction::kFilteredOut);
  // The log's own thread writes it.
  std::string log;
  for (int i = 0; i < 200 && log.find("nothing") == std::string::npos; ++i) {
    Sleep(10);
    log = ReadFileText(logFile);
  }
  EXPECT_EQ(log.find("Time,Type,Data,Action,Program\r\n"), 0u) << log;
  // The driver does not say which program a scan went to.
  EXPECT_NE(log.find(",\"UPE\",\"01234565\",\"typed\",\"\"\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find(",\"UPA\",\"\",\"filtered to nothing\",\"\"\r\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("123,"), std::string::npos) << "the serial is never logged: " << log;
  TheScanLogSettings() = ScanLogSettings();
  DeleteFileA(logFile.c_str());
}

}  // namespace
}  // namespace pellix
