#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/encoder.h"
#include "tools/decode_options.h"

namespace pellix {
namespace {

bool Parse(std::vector<const char*> args, DecodeOptions* o, std::string* error = nullptr) {
  std::string ignored;
  args.insert(args.begin(), "pellix-decode");
  return ParseDecodeOptions(static_cast<int>(args.size()), args.data(), o,
                            error ? error : &ignored);
}

TEST(DecodeOptions, RefusesWhatTheLibraryWould) {
  const std::vector<std::vector<const char*>> bad = {
      {"--style", "4"},      {"--style", "-1"},       {"--style", "x"},
      {"--separator", "a"},  {"--terminator", "#"},   {"--separator", "ab"},
      {"--terminator"},      {"--filter", "=++"},     {"--filter", "UPA"},
      {"--auto-isbn", ""},   {"--colour"}};
  for (const auto& args : bad) {
    DecodeOptions o;
    std::string error;
    EXPECT_FALSE(Parse(args, &o, &error)) << args[0];
    EXPECT_FALSE(error.empty());
  }
}

TEST(DecodeOptions, TwentyCodesFitAndTheTwentyFirstIsRefused) {
  std::vector<std::string> codes;
  for (int i = 0; i < 21; ++i) codes.push_back("C" + std::to_string(10 + i) + "=+");
  std::vector<const char*> args;
  for (int i = 0; i < 20; ++i) {
    args.push_back("--filter");
    args.push_back(codes[i].c_str());
  }
  DecodeOptions ok;
  EXPECT_TRUE(Parse(args, &ok));
  args.push_back("--filter");
  args.push_back(codes[20].c_str());
  DecodeOptions full;
  std::string error;
  EXPECT_FALSE(Parse(args, &full, &error));
  EXPECT_NE(error.find("20"), std::string::npos);
}

TEST(DecodeOptions, SameCodeInBothMakesOneSlot) {
  DecodeOptions o;
  ASSERT_TRUE(Parse({"--filter", "IBN=++", "--auto-isbn", "IBN", "--auto-isbn", "IBNX"}, &o));
  const TransformSlot* s = Find(o.table, "IBN");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->autoConvert, 1);
  EXPECT_EQ(std::string(s->filter), "++");
  EXPECT_EQ(GetAt(o.table, 1)->code[0], 0);
}

TEST(DecodeOptions, NamedCharactersAndBursts) {
  DecodeOptions o;
  ASSERT_TRUE(Parse({"--separator", "space", "--terminator", "none", "--style", "2", ".a."}, &o));
  EXPECT_EQ(o.output.separator, ' ');
  EXPECT_EQ(o.output.terminator, 0);
  EXPECT_EQ(o.output.outputStyle, 2u);
  EXPECT_EQ(o.bursts, std::vector<std::string>{".a."});
}

TEST(DecodeBurst, TypesAsTheLibraryWould) {
  DecodeOptions o;
  ASSERT_TRUE(Parse({"--auto-isbn", "IB5", "--style", "1"}, &o));
  std::string typed;
  ASSERT_TRUE(DecodeBurst(EncodeWandText("0001", "IB5", "9780262033848"), o, &typed));
  EXPECT_EQ(typed, "IB5.0262033844\n");
  EXPECT_FALSE(DecodeBurst(".CNfW.", o, &typed));
}

TEST(DecodeBurst, LongBurstIsCutLikeTheCaptureBuffer) {
  // A 256-byte serial (342 letters, read as 255 bytes) and type UPA put the data's letters
  // from position 350 on; the closing dot lies beyond 501. With 499 characters the data has
  // 150 letters, 112 bytes; the 500th letter would complete a 113th byte, were it kept.
  const std::string text = EncodeWandText(std::string(256, '7'), "UPA", std::string(120, '1'));
  ASSERT_GT(text.size(), 501u);
  DecodeOptions o;
  const std::string cut = std::string(112, '1') + "\n";
  for (size_t length : {499u, 500u, 501u}) {
    std::string typed;
    ASSERT_TRUE(DecodeBurst(text.substr(0, length), o, &typed)) << length;
    EXPECT_EQ(typed, cut) << "a burst of " << length << " characters";
  }
  std::string typed;
  ASSERT_TRUE(DecodeBurst(text.substr(0, 498), o, &typed));
  EXPECT_EQ(typed, std::string(111, '1') + "\n") << "498 characters are all kept";
}

}  // namespace
}  // namespace pellix
