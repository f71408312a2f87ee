#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "profiles/core/memory_registry.h"
#include "profiles/tests/store_testing.h"
#include "tray/core/settings_backend.h"
#include "tray/core/settings_store.h"

namespace pellix {
namespace {

const std::string kRoot = "software\\Obrelle Works\\Pellix";
const std::string kSettings = kRoot + "\\Settings";

class SettingsStore : public ::testing::TestWithParam<RegistryFactory> {
 protected:
  void SetUp() override {
    reg_ = GetParam().make();
    WipePellixRoot(*reg_);
    DeleteTreeForTest(*reg_, "software\\Obrelle Works");
    FakeHookLibrary::Reset();
    std::strcpy(current_, "stale");
  }
  void TearDown() override {
    WipePellixRoot(*reg_);
    if (auto* memory = dynamic_cast<MemoryRegistry*>(reg_.get())) {
      EXPECT_EQ(memory->OpenHandleCount(), 0) << "every key opened is closed";
    }
  }
  uint32_t StoredDword(const char* name) {
    uint32_t type = 0;
    std::string bytes;
    EXPECT_TRUE(GetValue(*reg_, kSettings, name, &type, &bytes)) << name;
    EXPECT_EQ(type, kRegDword) << name;
    uint32_t value = 0;
    if (bytes.size() == 4) std::memcpy(&value, bytes.data(), 4);
    return value;
  }
  // The start-up order: the back-end's values, then the registry's, then back to it.
  TraySettings StartUp(SettingsBackEnd& backEnd) {
    TraySettings s;
    ReadBackSettings(backEnd, s);
    LoadSettings(*reg_, s, current_);
    PushSettings(backEnd, s);
    return s;
  }

  std::unique_ptr<RegistryPort> reg_;
  char current_[kProfileNameSize];
};

TEST_P(SettingsStore, FirstStartCreatesTheKeysWritesNothingAndFollowsTheLibrary) {
  HookLibraryBackEnd library(FakeHookLibrary::Exports());
  const TraySettings s = StartUp(library);
  EXPECT_EQ(s.terminator, '\n');
  EXPECT_EQ(s.separator, '.');
  EXPECT_EQ(s.outputStyle, 0u);
  EXPECT_EQ(s.beepOn, 1u);
  EXPECT_EQ(s.beepType, 0);
  EXPECT_EQ(s.timeoutMs, 1250u);
  EXPECT_STREQ(current_, "");
  EXPECT_TRUE(KeyExists(*reg_, kSettings));
  for (const char* name : {"TermChar", "SepChar", "Style", "BeepOn", "BeepStyle", "Timeout", "CurProfile"})
    EXPECT_FALSE(GetValue(*reg_, kSettings, name, nullptr, nullptr)) << name;
  EXPECT_EQ(FakeHookLibrary::calls,
            (std::vector<std::string>{"GetOutputType", "GetTimeOut", "SetOutputType", "SetTimeOut"}));
}

TEST_P(SettingsStore, DriverModeKnowsOnlyTheTerminator) {
  FakeDriver driver;
  driver.terminator = 13;
  DriverBackEnd backEnd(driver);
  const TraySettings s = StartUp(backEnd);
  EXPECT_EQ(s.terminator, 13);
  EXPECT_EQ(s.separator, 0);
  EXPECT_EQ(s.outputStyle, 0u);
  EXPECT_EQ(s.beepOn, 0u);
  EXPECT_EQ(s.timeoutMs, 0u);
  ASSERT_EQ(driver.calls.size(), 2u);
  EXPECT_EQ(driver.calls[0].code, 4u);
  EXPECT_EQ(driver.calls[0].in, "");
  EXPECT_EQ(driver.calls[0].outSize, 1u);
  EXPECT_EQ(driver.calls[1].code, 3u);
  EXPECT_EQ(driver.calls[1].in, "\r");
  EXPECT_EQ(driver.calls[1].outSize, 0u);
  EXPECT_TRUE(FakeHookLibrary::calls.empty());
}

TEST_P(SettingsStore, SavedSettingsLoadBackAndCharactersAreSignExtended) {
  TraySettings s;
  s.terminator = static_cast<char>(0x80);
  s.separator = ',';
  s.outputStyle = 3;
  s.beepOn = 1;
  s.beepType = -2;
  s.timeoutMs = 250;
  SaveSettings(*reg_, s, "Work");
  EXPECT_EQ(StoredDword("TermChar"), 0xFFFFFF80u) << "-128";
  EXPECT_EQ(StoredDword("SepChar"), static_cast<uint32_t>(','));
  EXPECT_EQ(StoredDword("BeepStyle"), 0xFFFFFFFEu);
  uint32_t type = 0;
  std::string bytes;
  ASSERT_TRUE(GetValue(*reg_, kSettings, "CurProfile", &type, &bytes));
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(bytes, std::string("Work\0", 5));

  HookLibraryBackEnd library(FakeHookLibrary::Exports());
  const TraySettings loaded = StartUp(library);
  EXPECT_EQ(loaded.terminator, static_cast<char>(0x80));
  EXPECT_EQ(loaded.separator, ',');
  EXPECT_EQ(loaded.outputStyle, 3u);
  EXPECT_EQ(loaded.beepType, -2);
  EXPECT_EQ(loaded.timeoutMs, 250u) << "the tray program keeps what was chosen";
  EXPECT_EQ(FakeHookLibrary::timeoutMs, 500u) << "the library clamps";
  EXPECT_STREQ(current_, "Work");
}

TEST_P(SettingsStore, OddValuesLoadAsNumbersOrCountAsMissing) {
  const unsigned char binary[4] = {2, 0, 0, 0};
  PutValue(*reg_, kSettings, "Style", kRegBinary, binary, 4);    // type not checked
  PutValue(*reg_, kSettings, "SepChar", kRegSz, "1234", 5);      // too large: missing
  PutValue(*reg_, kSettings, "BeepStyle", kRegBinary, binary, 2); // too short: missing
  PutDword(*reg_, kSettings, "TermChar", 0xFFFFFF80u);
  HookLibraryBackEnd library(FakeHookLibrary::Exports());
  const TraySettings s = StartUp(library);
  EXPECT_EQ(s.outputStyle, 2u);
  EXPECT_EQ(s.separator, '.');
  EXPECT_EQ(s.beepType, 0);
  EXPECT_EQ(s.terminator, static_cast<char>(0x80));
}

TEST_P(SettingsStore, CurProfileLoadsOnlyAsATextThatFits) {
  struct Case {
    const char* what;
    uint32_t type;
    std::string bytes;
    std::string expected;
  } cases[] = {
      {"199 characters", kRegSz, std::string(199, 'p') + '\0', std::string(199, 'p')},
      {"200 characters", kRegSz, std::string(200, 'p') + '\0', ""},
      {"300 characters", kRegSz, std::string(300, 'p') + '\0', ""},
      {"a number", kRegDword, std::string("\5\0\0\0", 4), ""},
      {"empty", kRegSz, std::string("\0", 1), ""},
  };
  for (const Case& c : cases) {
    PutValue(*reg_, kSettings, "CurProfile", c.type, c.bytes.data(),
             static_cast<uint32_t>(c.bytes.size()));
    std::strcpy(current_, "stale");
    TraySettings s;
    LoadSettings(*reg_, s, current_);
    EXPECT_EQ(std::string(current_), c.expected) << c.what;
  }
}

TEST_P(SettingsStore, StringValuesRoundTripWithTheirTerminator) {
  EXPECT_TRUE(WriteStringValue(*reg_, "Settings", "CurProfile", "Home"));
  char buffer[8];
  EXPECT_TRUE(ReadStringValue(*reg_, "Settings", "CurProfile", buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "Home");
  EXPECT_FALSE(ReadStringValue(*reg_, "Settings", "CurProfile", buffer, 4)) << "no room for NUL";
  EXPECT_STREQ(buffer, "");
  EXPECT_FALSE(ReadStringValue(*reg_, "Settings", "Missing", buffer, sizeof buffer));
  EXPECT_TRUE(WriteDwordValue(*reg_, "Settings", "Timeout", 900));
  EXPECT_EQ(ReadDwordValue(*reg_, "Settings", "Timeout", 1), 900u);
  EXPECT_EQ(ReadDwordValue(*reg_, "Settings", "Missing", 77), 77u);
  RegKey root = OpenRootKey(*reg_);
  ASSERT_NE(root, nullptr);
  reg_->CloseKey(root);
}

TEST_P(SettingsStore, PushHandsTheFieldsOverInOrderAndIgnoresRefusals) {
  HookLibraryBackEnd library(FakeHookLibrary::Exports());
  TraySettings s;
  s.terminator = '\t';
  s.separator = ',';
  s.outputStyle = 2;
  s.beepOn = 5;
  s.beepType = 48;
  s.timeoutMs = 5000;
  PushSettings(library, s);
  EXPECT_EQ(FakeHookLibrary::settings.terminator, '\t');
  EXPECT_EQ(FakeHookLibrary::settings.separator, ',');
  EXPECT_EQ(FakeHookLibrary::settings.outputStyle, 2u);
  EXPECT_EQ(FakeHookLibrary::settings.beepOn, 1);
  EXPECT_EQ(FakeHookLibrary::settings.beepType, 48u);
  EXPECT_EQ(FakeHookLibrary::timeoutMs, 2000u);
  s.outputStyle = 4;  // refused by the library: its values stay, ours too
  PushSettings(library, s);
  EXPECT_EQ(FakeHookLibrary::settings.outputStyle, 2u);
  EXPECT_EQ(s.outputStyle, 4u);
}

INSTANTIATE_TEST_SUITE_P(All, SettingsStore, ::testing::ValuesIn(AllRegistries()),
                         [](const ::testing::TestParamInfo<RegistryFactory>& info) {
                           return RegistryName(info.param);
                         });

TEST(SettingsStoreWithoutSoftwareKey, ReadsKeepDefaultsAndWritesFail) {
  MemoryRegistry broken(false);
  EXPECT_EQ(OpenRootKey(broken), nullptr);
  EXPECT_FALSE(WriteDwordValue(broken, "Settings", "Style", 1));
  EXPECT_FALSE(WriteStringValue(broken, "Settings", "CurProfile", "x"));
  TraySettings s;
  s.outputStyle = 3;
  s.terminator = 'x';
  char name[kProfileNameSize] = "stale";
  LoadSettings(broken, s, name);
  SaveSettings(broken, s, name);
  EXPECT_EQ(s.outputStyle, 3u);
  EXPECT_EQ(s.terminator, 'x');
  EXPECT_STREQ(name, "");
  RegKey software = nullptr;
  EXPECT_FALSE(broken.OpenKey(broken.CurrentUser(), "software", kPellixKeyAccess, &software))
      << "never created";
  EXPECT_EQ(broken.OpenHandleCount(), 0);
}

}  // namespace
}  // namespace pellix
