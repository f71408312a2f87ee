#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/fixups.h"
#include "engine/transform_table.h"

namespace pellix {
namespace {

struct Scan {
  char type[256];
  char data[256];
  Scan(const char* t, const std::string& d) {
    std::snprintf(type, sizeof type, "%s", t);
    std::snprintf(data, sizeof data, "%s", d.c_str());
  }
};

std::string Fix(Scan& s, const TransformTable* table = nullptr) {
  ApplyTransforms(s.type, s.data, table);
  return s.data;
}

TEST(UpcE, CheckDigitIsAppended) {
  const struct { const char* in; const char* out; } cases[] = {
      {"654321", "6543217"}, {"0654321", "06543217"}, {"000000", "0000000"},
      {"65432", "65432"},    {"65432A", "65432A"},    {"123453", "1234531"},
      {"123454", "1234543"}, {"123457", "1234572"}};
  for (const auto& c : cases) {
    Scan s("UPE", c.in);
    EXPECT_EQ(Fix(s), c.out) << c.in;
  }
}

TEST(UpcE, OnlyForUpe) {
  Scan s("UPA", "654321");
  EXPECT_EQ(Fix(s), "654321");
  Scan t("UPEX", "654321");  // the first three characters decide
  EXPECT_EQ(Fix(t), "6543217");
}

TEST(UpcE, FullFieldHasNoRoomForTheDigit) {
  Scan s("UPE", std::string(255, '1'));
  EXPECT_EQ(Fix(s), std::string(255, '1'));
  Scan t("UPE", std::string(254, '1'));
  EXPECT_EQ(Fix(t).size(), 255u);
}

TEST(CueCode, ConvertsToTwoDigitNumbers) {
  Scan s("CC!", "AB");
  EXPECT_EQ(Fix(s), "013334");
  EXPECT_STREQ(s.type, "CUE");
}

TEST(CueCode, ControlAndHighCharactersGiveNothing) {
  Scan s("CC!", "A\x01\xC3~");
  EXPECT_EQ(Fix(s), "013394");
}

TEST(CueCode, LimitIs126Characters) {
  Scan ok("CC!", std::string(126, 'A'));
  const std::string out = Fix(ok);
  EXPECT_EQ(out.size(), 254u);
  EXPECT_EQ(out.substr(0, 4), "0133");
  EXPECT_STREQ(ok.type, "CUE");
  Scan no("CC!", std::string(127, 'A'));
  EXPECT_EQ(Fix(no), std::string(127, 'A'));
  EXPECT_STREQ(no.type, "CC!");
}

TEST(CueCode, BareCcConvertsTheDataAlone) {
  Scan s("CC", "AB");
  EXPECT_EQ(Fix(s), "3334");
  EXPECT_STREQ(s.type, "CUE");
}

TEST(CueCode, ConvertedCodeUsesTheCueFilter) {
  TransformTable table{};
  AddOrUpdate(table, "CC!", "", 0);
  AddOrUpdate(table, "CUE", "++", 0);
  Scan s("CC!", "AB");
  EXPECT_EQ(Fix(s, &table), "01");
}

TEST(Isbn, ConvertsBookCodes) {
  TransformTable table{};
  AddOrUpdate(table, "IBN", "+", 1);
  AddOrUpdate(table, "IB5", "+", 1);
  AddOrUpdate(table, "UPA", "+", 1);
  const struct { const char* type; const char* in; const char* out; } cases[] = {
      {"IBN", "9781234567897", "123456789X"},
      {"IB5", "978123456789712345", "123456789X"},
      {"IBN", "9780262033848", "0262033844"},
      {"IBN", "9780306406157", "0306406152"},
      {"IBN", "9781234567890", "9"},        // bad EAN check digit: the filter runs
      {"IBN", "979123456789", "9"},          // not a book prefix
      {"IBN", "978123456789", "9"},          // too short
      {"UPA", "9781234567897", "9"},         // not an ISBN-bearing type
  };
  for (const auto& c : cases) {
    Scan s(c.type, c.in);
    EXPECT_EQ(Fix(s, &table), c.out) << c.type << " " << c.in;
  }
}

TEST(Isbn, NeedsTheFlag) {
  TransformTable table{};
  AddOrUpdate(table, "IBN", nullptr, 0);
  Scan s("IBN", "9781234567897");
  EXPECT_EQ(Fix(s, &table), "9781234567897");
}

TEST(Filter, KeepsPlusPositionsAndDropsBeyondTheMask) {
  const struct { const char* mask; const char* in; const char* out; } cases[] = {
      {"-++++", "0123456789", "1234"}, {"+++", "12", "12"}, {"+-+", "abc", "ac"},
      {"---", "abc", ""}};
  for (const auto& c : cases) {
    char data[256];
    std::snprintf(data, sizeof data, "%s", c.in);
    ApplyFilter(data, c.mask, static_cast<int>(std::strlen(c.mask)));
    EXPECT_STREQ(data, c.out) << c.mask;
  }
}

TEST(Filter, FullLengthMaskIsReadWithoutTerminator) {
  TransformTable table{};
  AddOrUpdate(table, "UPA", std::string(40, '+').c_str(), 0);
  Scan s("UPA", std::string(50, '5'));
  EXPECT_EQ(Fix(s, &table), std::string(34, '5'));
}

TEST(Filter, NoSlotOrEmptyMaskLeavesData) {
  TransformTable table{};
  AddOrUpdate(table, "UPA", "", 0);
  Scan s("UPA", "0123");
  EXPECT_EQ(Fix(s, &table), "0123");
  Scan t("EAN", "0123");
  EXPECT_EQ(Fix(t, &table), "0123");
}

TEST(Filter, CheckDigitCountsInTheMask) {
  TransformTable table{};
  AddOrUpdate(table, "UPE", "------+", 0);
  Scan s("UPE", "654321");
  EXPECT_EQ(Fix(s, &table), "7");
}

}  // namespace
}  // namespace pellix
