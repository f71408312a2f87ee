// What the settings and profile stores rely on from the registry, checked against every
// registry of the build: the in-memory one, and under Wine the real one.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "profiles/tests/store_testing.h"
#ifdef _WIN32
#include <windows.h>

#include "profiles/win32/win32_registry.h"
#endif

namespace pellix {
namespace {

const std::string kScratch = "software\\Obrelle Works\\PellixContract";

class RegistryContract : public ::testing::TestWithParam<RegistryFactory> {
 protected:
  void SetUp() override {
    reg_ = GetParam().make();
    DeleteTreeForTest(*reg_, kScratch);
    scratch_ = CreateKeyForTest(*reg_, kScratch);
    ASSERT_NE(scratch_, nullptr);
  }
  void TearDown() override {
    if (scratch_ != nullptr) reg_->CloseKey(scratch_);
    DeleteTreeForTest(*reg_, kScratch);
    EXPECT_FALSE(KeyExists(*reg_, kScratch));
  }
  RegKey Create(const char* name) {
    RegKey key = nullptr;
    EXPECT_TRUE(reg_->CreateKey(scratch_, name, kPellixKeyAccess, &key)) << name;
    return key;
  }
  void CreateAndClose(const char* name) { reg_->CloseKey(Create(name)); }
  bool Open(const char* name) {
    RegKey key = nullptr;
    if (!reg_->OpenKey(scratch_, name, kPellixKeyAccess, &key)) return false;
    reg_->CloseKey(key);
    return true;
  }
  uint32_t Count(RegKey key) {
    uint32_t n = 12345;
    EXPECT_TRUE(reg_->CountSubKeys(key, &n));
    return n;
  }

  std::unique_ptr<RegistryPort> reg_;
  RegKey scratch_ = nullptr;
};

TEST_P(RegistryContract, OpenFindsOnlyExistingKeysCreateMakesThem) {
  EXPECT_FALSE(Open("Missing"));
  CreateAndClose("Made");
  EXPECT_TRUE(Open("Made"));
  RegKey software = nullptr;
  ASSERT_TRUE(reg_->OpenKey(reg_->CurrentUser(), "software", kPellixKeyAccess, &software));
  reg_->CloseKey(software);
}

TEST_P(RegistryContract, KeyNamesIgnoreCaseAndKeepTheirSpelling) {
  CreateAndClose("Work");
  EXPECT_TRUE(Open("WORK"));
  EXPECT_TRUE(Open("work"));
  CreateAndClose("wORK");
  EXPECT_EQ(Count(scratch_), 1u);
  char name[32];
  ASSERT_TRUE(reg_->EnumKey(scratch_, 0, name, sizeof name));
  EXPECT_STREQ(name, "Work");
}

TEST_P(RegistryContract, BackslashMakesNestedKeys) {
  CreateAndClose("Outer\\Inner");
  EXPECT_EQ(Count(scratch_), 1u);
  EXPECT_TRUE(Open("Outer"));
  EXPECT_TRUE(Open("Outer\\Inner"));
}

TEST_P(RegistryContract, EnumerationInNameOrderFailsAtEndAndForNamesThatDoNotFit) {
  const std::string nineteen(19, 'N');
  const std::string twenty(20, 'T');
  CreateAndClose("b");
  CreateAndClose("A");
  CreateAndClose(nineteen.c_str());
  CreateAndClose(twenty.c_str());
  CreateAndClose("c");
  ASSERT_EQ(Count(scratch_), 5u);
  char name[20];
  const char* expected[] = {"A", "b", "c", nineteen.c_str()};
  for (uint32_t i = 0; i < 4; ++i) {
    ASSERT_TRUE(reg_->EnumKey(scratch_, i, name, sizeof name)) << i;
    EXPECT_STREQ(name, expected[i]);
  }
  EXPECT_FALSE(reg_->EnumKey(scratch_, 4, name, sizeof name)) << "20 characters need 21";
  char wide[21];
  ASSERT_TRUE(reg_->EnumKey(scratch_, 4, wide, sizeof wide));
  EXPECT_EQ(std::string(wide), twenty);
  EXPECT_FALSE(reg_->EnumKey(scratch_, 5, wide, sizeof wide)) << "past the end";
}

TEST_P(RegistryContract, DeleteOnlyLeafKeys) {
  CreateAndClose("Parent\\Child");
  EXPECT_FALSE(reg_->DeleteKey(scratch_, "Parent")) << "still has a subkey";
  EXPECT_TRUE(Open("Parent\\Child"));
  EXPECT_TRUE(reg_->DeleteKey(scratch_, "PARENT\\child"));
  EXPECT_TRUE(reg_->DeleteKey(scratch_, "parent"));
  EXPECT_FALSE(Open("Parent"));
  EXPECT_FALSE(reg_->DeleteKey(scratch_, "Parent")) << "already gone";
  EXPECT_EQ(Count(scratch_), 0u);
}

TEST_P(RegistryContract, StringsKeepTheirTerminatorAndNeedRoomForIt) {
  ASSERT_TRUE(reg_->SetValue(scratch_, "Text", kRegSz, "abc", 4));
  char buffer[8] = "zzzzzzz";
  uint32_t type = 0, size = sizeof buffer;
  ASSERT_TRUE(reg_->QueryValue(scratch_, "TEXT", &type, buffer, &size)) << "value names ignore case";
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(std::memcmp(buffer, "abc\0", 4), 0);
  size = 3;
  EXPECT_FALSE(reg_->QueryValue(scratch_, "Text", &type, buffer, &size)) << "larger than buffer";
  const std::string long300(300, 'L');
  ASSERT_TRUE(reg_->SetValue(scratch_, "Long", kRegSz, long300.c_str(), 301));
  char two[200];
  size = sizeof two;
  EXPECT_FALSE(reg_->QueryValue(scratch_, "Long", &type, two, &size));
  size = 4;
  EXPECT_FALSE(reg_->QueryValue(scratch_, "Missing", &type, two, &size));
}

TEST_P(RegistryContract, NumbersReadWhateverTheirType) {
  const uint32_t number = 0xFFFFFF80u;
  ASSERT_TRUE(reg_->SetValue(scratch_, "Dword", kRegDword, &number, 4));
  const unsigned char bytes[4] = {1, 2, 3, 4};
  ASSERT_TRUE(reg_->SetValue(scratch_, "Binary", kRegBinary, bytes, 4));
  ASSERT_TRUE(reg_->SetValue(scratch_, "Short", kRegBinary, bytes, 2));
  uint32_t value = 0, type = 0, size = 4;
  ASSERT_TRUE(reg_->QueryValue(scratch_, "Dword", &type, &value, &size));
  EXPECT_EQ(value, number);
  EXPECT_EQ(type, kRegDword);
  size = 4;
  ASSERT_TRUE(reg_->QueryValue(scratch_, "Binary", &type, &value, &size));
  EXPECT_EQ(type, kRegBinary);
  EXPECT_EQ(value, 0x04030201u);
  size = 4;
  ASSERT_TRUE(reg_->QueryValue(scratch_, "Short", &type, &value, &size)) << "fewer bytes succeed";
  EXPECT_EQ(size, 2u);
  ASSERT_TRUE(reg_->SetValue(scratch_, "Text5", kRegSz, "1234", 5));
  size = 4;
  EXPECT_FALSE(reg_->QueryValue(scratch_, "Text5", &type, &value, &size));
}

// Text written with the text calls comes back exactly whatever the code page; ASCII reads
// the same through the A calls either way.
TEST_P(RegistryContract, TextComesBackExactlyAndAsciiAlsoThroughTheACalls) {
  const std::string texts[] = {"mstsc.exe", "",
                               "\xC3\x9C" "ber.exe",                                 // Über
                               "\xD0\x9A\xD0\xB0\xD1\x81\xD1\x81\xD0\xB0.exe",      // Касса
                               "\xE6\x94\xB6\xE9\x93\xB6.exe",                     // 收银
                               "\xE3\x83\xAC\xE3\x82\xB8\\|.exe",                 // レジ\|
                               "\xF0\x9F\x98\x80.exe"};                             // outside the BMP
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    ASSERT_TRUE(reg_->SetText(scratch_, "Program", text.c_str()));
    std::string back(text.size() + 1, 'z');
    ASSERT_TRUE(reg_->QueryText(scratch_, "PROGRAM", &back[0], static_cast<uint32_t>(back.size())));
    EXPECT_EQ(back, text + '\0');
    uint32_t type = 0;
    EXPECT_TRUE(reg_->QueryValue(scratch_, "Program", &type, nullptr, nullptr));
    EXPECT_EQ(type, kRegSz);
    if (!text.empty()) {
      EXPECT_FALSE(reg_->QueryText(scratch_, "Program", &back[0], static_cast<uint32_t>(text.size())))
          << "no room for the NUL";
    }
  }
  // Not UTF-8: refused, nothing stored.
  for (const char* bad : {"\xFF.exe", "a\xC3", "\xED\xA0\x80.exe", "\xC0\xAF.exe"})
    EXPECT_FALSE(reg_->SetText(scratch_, "Bad", bad)) << "stored as text";
  char text[16];
  EXPECT_FALSE(reg_->QueryText(scratch_, "Bad", text, sizeof text));
  // ASCII through the A calls and the text calls alike; a value of another type is no text.
  ASSERT_TRUE(reg_->SetValue(scratch_, "Old", kRegSz, "old.exe", 8));
  ASSERT_TRUE(reg_->QueryText(scratch_, "Old", text, sizeof text));
  EXPECT_STREQ(text, "old.exe");
  ASSERT_TRUE(reg_->SetText(scratch_, "New", "new.exe"));
  char bytes[16] = {};
  uint32_t type = 0, size = sizeof bytes;
  ASSERT_TRUE(reg_->QueryValue(scratch_, "New", &type, bytes, &size));
  EXPECT_EQ(std::string(bytes, size), std::string("new.exe", 8));
  const uint32_t number = 7;
  ASSERT_TRUE(reg_->SetValue(scratch_, "Number", kRegDword, &number, 4));
  EXPECT_FALSE(reg_->QueryText(scratch_, "Number", text, sizeof text));
  EXPECT_FALSE(reg_->QueryText(scratch_, "Missing", text, sizeof text));
}

#ifdef _WIN32
// Where the W registry calls fail (Windows 9x), text goes through the A calls in the ANSI
// code page: a name that has a form there comes back exactly, one that has none is refused.
TEST(RegistryWithoutWideCalls, TextInTheAnsiCodePageOrRefused) {
  Win32Registry registry(false);
  DeleteTreeForTest(registry, kScratch);
  RegKey key = CreateKeyForTest(registry, kScratch);
  ASSERT_NE(key, nullptr);
  const char ansi[] = "\xDC" "ber.exe";  // a letter past ASCII in any single-byte code page
  WCHAR wide[16];
  char utf8[32];
  ASSERT_GT(MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide, 16), 0);
  ASSERT_GT(WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, sizeof utf8, nullptr, nullptr), 0);
  ASSERT_TRUE(registry.SetText(key, "Program", utf8));
  char stored[32] = {}, back[32] = {};
  uint32_t type = 0, size = sizeof stored;
  ASSERT_TRUE(registry.QueryValue(key, "Program", &type, stored, &size));
  EXPECT_EQ(std::string(stored, size), std::string(ansi, sizeof ansi));
  ASSERT_TRUE(registry.QueryText(key, "Program", back, sizeof back));
  EXPECT_STREQ(back, utf8);
  EXPECT_FALSE(registry.QueryText(key, "Program", back, static_cast<uint32_t>(std::strlen(utf8))));
  EXPECT_FALSE(registry.SetText(key, "Emoji", "\xF0\x9F\x98\x80.exe")) << "in no ANSI code page";
  EXPECT_FALSE(registry.QueryText(key, "Emoji", back, sizeof back));
  registry.CloseKey(key);
  DeleteTreeForTest(registry, kScratch);
}
#endif

INSTANTIATE_TEST_SUITE_P(All, RegistryContract, ::testing::ValuesIn(AllRegistries()),
                         [](const ::testing::TestParamInfo<RegistryFactory>& info) {
                           return RegistryName(info.param);
                         });

}  // namespace
}  // namespace pellix
