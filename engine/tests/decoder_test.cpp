#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "engine/encoder.h"
#include "engine/scan_record.h"
#include "engine/transform_table.h"

namespace pellix {
namespace {

ScanRecord Decode(const char* text, const TransformTable* table = nullptr) {
  ScanRecord r;
  std::memset(&r, 0x5A, sizeof r);  // garbage: decoding must set every field
  DecodeScan(text, table, &r);
  return r;
}

TEST(BitAccumulator, DecodesTheWorkedExampleAndSkipsNonLetters) {
  BitAccumulator acc;
  EXPECT_EQ(acc.DecodeChar('C'), -1);
  EXPECT_EQ(acc.DecodeChar(' '), -1);  // not a letter: the stream is untouched
  EXPECT_EQ(acc.bitCount, 6);
  EXPECT_EQ(acc.DecodeChar('N'), '1');
  EXPECT_EQ(acc.DecodeChar('f'), '2');
  EXPECT_EQ(acc.DecodeChar('W'), '3');
  EXPECT_EQ(acc.bitCount, 0);
  acc.DecodeChar('C');
  acc.Reset();
  EXPECT_EQ(acc.bitCount, 0);
  EXPECT_EQ(acc.value, 0);
}

TEST(BitAccumulator, AlphabetValuesArePositions) {
  for (int i = 0; i < 64; ++i) EXPECT_EQ(WandLetterValue(kWandAlphabet[i]), i);
  for (char c : std::string(".= *\n\x80")) EXPECT_EQ(WandLetterValue(c), -1);
}

struct SplitCase {
  const char* text;
  const char* serial;
  const char* type;
  const char* data;
  int valid;
};

class Split : public ::testing::TestWithParam<SplitCase> {};

TEST_P(Split, FieldsAndValidity) {
  const SplitCase& c = GetParam();
  const ScanRecord r = Decode(c.text);
  EXPECT_STREQ(r.serial, c.serial);
  EXPECT_STREQ(r.type, c.type);
  EXPECT_STREQ(r.data, c.data);
  EXPECT_EQ(r.valid, c.valid);
}

INSTANTIATE_TEST_SUITE_P(
    Bursts, Split,
    ::testing::Values(SplitCase{"", "", "", "", 0}, SplitCase{"CNfWfHmc", "", "", "", 0},
                      SplitCase{".CNfW.", "123", "", "", 0},
                      SplitCase{".CNfW.fHmc.CNfW.", "123", "UPA", "123", 1},
                      SplitCase{"xyz.CNfW.fHmc.CNfW.", "123", "UPA", "123", 1},
                      SplitCase{".CNfW.fHmc.CNfW.abc.def", "123", "UPA", "123", 1},
                      SplitCase{".CN fW.", "123", "", "", 0}, SplitCase{".CN.", "1", "", "", 0},
                      SplitCase{".CNfW.fHmc.CNfW", "123", "UPA", "123", 1},
                      SplitCase{"..fHmc.CNfW.", "", "UPA", "123", 1},
                      SplitCase{".CNfW.fHmc..", "123", "UPA", "", 0}));

TEST(Decoder, ZeroByteEndsTheField) {
  // 'C','C' = 0x43 ^ 0x43 = 0: the byte 0 followed by more bytes.
  const std::string text = EncodeWandText("12", "UPA", std::string("1\0" "23", 4));
  const ScanRecord r = Decode(text.c_str());
  EXPECT_STREQ(r.data, "1");
  EXPECT_EQ(r.valid, 1);
}

TEST(Decoder, LongFieldIsCutAt255Bytes) {
  const std::string big(400, '7');  // 400 bytes need 534 letters; more than a capture holds,
  const std::string text = EncodeWandText("", "UPA", big);  // but the decoder must cope
  const ScanRecord r = Decode(text.c_str());
  EXPECT_EQ(std::strlen(r.data), 255u);
  EXPECT_EQ(std::string(r.data), std::string(255, '7'));
  EXPECT_STREQ(r.type, "UPA");
}

TEST(Decoder, NullTextGivesInvalidEmptyRecord) {
  const ScanRecord r = Decode(nullptr);
  EXPECT_STREQ(r.serial, "");
  EXPECT_EQ(r.valid, 0);
}

TEST(Decoder, TransformsRunAfterValidityIsSet) {
  TransformTable table{};
  AddOrUpdate(table, "UPA", "---", 0);  // mask of no '+': empties the data
  const ScanRecord r = Decode(".CNfW.fHmc.CNfW.", &table);
  EXPECT_STREQ(r.data, "");
  EXPECT_EQ(r.valid, 1);
}

TEST(Encoder, RoundTripsRandomFields) {
  std::mt19937 rng(20261208);
  for (int round = 0; round < 2000; ++round) {
    std::string fields[3];
    for (std::string& f : fields) {
      const int n = static_cast<int>(rng() % 60);
      for (int i = 0; i < n; ++i) f += static_cast<char>(1 + rng() % 255);  // no 0 byte
    }
    if (fields[1].empty()) fields[1] = "ABC";
    const std::string text = EncodeWandText(fields[0], fields[1], fields[2]);
    for (char c : text) ASSERT_TRUE(c == '.' || WandLetterValue(c) >= 0);
    ScanRecord r;
    // No transform table: only the fixed fix-ups, which these types never trigger.
    fields[1][0] = 'X';
    DecodeScan(EncodeWandText(fields[0], fields[1], fields[2]).c_str(), nullptr, &r);
    ASSERT_EQ(std::string(r.serial), fields[0]);
    ASSERT_EQ(std::string(r.type), fields[1]);
    ASSERT_EQ(std::string(r.data), fields[2]);
    ASSERT_EQ(r.valid, fields[2].empty() ? 0 : 1);
  }
}

// The decoder against the character-at-a-time reading of the fields (one accumulator per
// field, a dot opening the next, bytes past 255 dropped): texts of letters, dots and other
// characters, long and short, so that whole four-letter groups, broken ones and full fields
// all occur.
TEST(Decoder, AgreesWithCharacterAtATimeDecoding) {
  auto reference = [](const std::string& text, ScanRecord* r) {
    std::string fields[3];
    int field = -1;
    BitAccumulator acc;
    for (char c : text) {
      if (c == '.') {
        if (++field > 2) break;
        acc.Reset();
        continue;
      }
      const int byte = acc.DecodeChar(c);
      if (byte >= 0 && field >= 0 && fields[field].size() < 255) fields[field] += char(byte);
    }
    std::strcpy(r->serial, fields[0].c_str());
    std::strcpy(r->type, fields[1].c_str());
    std::strcpy(r->data, fields[2].c_str());
  };
  std::mt19937 rng(77);
  const std::string others = ". .=*\x80\n";
  for (int round = 0; round < 3000; ++round) {
    const size_t length = rng() % (round % 10 == 0 ? 700 : 60);
    std::string text;
    for (size_t i = 0; i < length; ++i) {
      const unsigned pick = rng() % 100;
      text += pick < 88 ? kWandAlphabet[rng() % 64] : others[rng() % others.size()];
    }
    ScanRecord want, got = Decode(text.c_str());
    reference(text, &want);
    ASSERT_STREQ(got.serial, want.serial) << text;
    ASSERT_STREQ(got.type, want.type) << text;
    ASSERT_STREQ(got.data, want.data) << text;
  }
}

TEST(Encoder, KnownSpelling) {
  EXPECT_EQ(EncodeWandField("123"), "CNfW");
  EXPECT_EQ(EncodeWandField("1"), "CG");
  EXPECT_EQ(EncodeWandText("123", "UPA", "123"), ".CNfW.fHmc.CNfW.");
}

}  // namespace
}  // namespace pellix
