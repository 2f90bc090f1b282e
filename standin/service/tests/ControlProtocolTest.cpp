#include "service/ControlProtocol.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace standin::service {
namespace {

struct DecodeCase {
  const char* name;
  std::string word;
  std::optional<std::string> expected;
};

class DecodeArgumentTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeArgumentTest, Decodes) {
  EXPECT_EQ(DecodeArgument(GetParam().word), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Words, DecodeArgumentTest,
    ::testing::Values(DecodeCase{"LoneDashIsEmpty", "-", std::string()},
                      DecodeCase{"EscapedDashIsADash", "%2D", std::string("-")},
                      DecodeCase{"DoubleDashStaysLiteral", "--", std::string("--")},
                      DecodeCase{"Space", "op%20pass", std::string("op pass")},
                      DecodeCase{"LowerCaseHex", "%7e%7E", std::string("~~")},
                      DecodeCase{"PercentDecodedOnce", "%2541", std::string("%41")},
                      DecodeCase{"HighByte", "%C3%A9", std::string("\xC3\xA9")},
                      DecodeCase{"LonePercent", "%", std::nullopt},
                      DecodeCase{"OneDigitAtEnd", "ab%4", std::nullopt},
                      DecodeCase{"PercentAtEnd", "abc%", std::nullopt},
                      DecodeCase{"NonHexHigh", "%G1", std::nullopt}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(EncodeArgumentTest, EveryByteSurvivesTheRoundTripAsOneWord) {
  std::string all;
  for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>(c));
  std::string encoded = EncodeArgument(all);
  EXPECT_EQ(encoded.find_first_of(" \t\r\n"), std::string::npos);
  EXPECT_EQ(SplitWords(encoded).size(), 1u);
  EXPECT_EQ(DecodeArgument(encoded), all);
}

TEST(EncodeArgumentTest, EmptyAndDashStayDistinct) {
  EXPECT_EQ(EncodeArgument(""), "-");
  EXPECT_EQ(EncodeArgument("-"), "%2D");
  EXPECT_EQ(DecodeArgument(EncodeArgument("-")), "-");
}

TEST(SplitWordsTest, RunsOfBlanksSeparateAndNothingIsEmpty) {
  auto words = SplitWords("  STATUS\t MSSQLSERVER  sa   - ");
  ASSERT_EQ(words.size(), 4u);
  EXPECT_EQ(words[0], "STATUS");
  EXPECT_EQ(words[3], "-");
  EXPECT_TRUE(SplitWords(" \t ").empty());
}

}  // namespace
}  // namespace standin::service
