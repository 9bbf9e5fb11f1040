#include "varnixlib/asc/asctokens.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cstdio>
#include <random>
#include <string>

namespace {

TEST(AscTokens, SplitsOnBlanksTabsAndLineEndsWithRunsAsOne) {
  AscTokens t;
  t.Split("  MSG\t\t1234  DISPLAY_COORDS 0 0 1919 1079\r");
  ASSERT_EQ(t.Count(), 7u);
  EXPECT_EQ(t[0], "MSG");
  EXPECT_EQ(t[1], "1234");
  EXPECT_EQ(t.Last(), "1079");
  EXPECT_EQ(t.NextToLast(), "1919");
  EXPECT_EQ(t[7], "");  // past the end reads as empty, never past the line
  t.Split(" \t\r\n");
  EXPECT_EQ(t.Count(), 0u);
  EXPECT_EQ(t.Last(), "");
}

TEST(AscTokens, LongLinesAreCountedAndKeepTheirLastToken) {
  std::string line;
  for (int k = 0; k < 100; ++k) line += "w" + std::to_string(k) + " ";
  AscTokens t;
  t.Split(line);
  EXPECT_EQ(t.Count(), 100u);
  EXPECT_FALSE(t.Complete());
  EXPECT_EQ(t.Last(), "w99");
  EXPECT_EQ(t[63], "w63");
  EXPECT_EQ(t[64], "");
}

TEST(AscTokens, IntegersReadTheirLeadingDigitsLikeAtoi) {
  EXPECT_EQ(AscTokens::IntValue("1919"), 1919);
  EXPECT_EQ(AscTokens::IntValue("-42"), -42);
  EXPECT_EQ(AscTokens::IntValue("60Hz"), 60);
  EXPECT_EQ(AscTokens::IntValue("abc"), 0);
  EXPECT_EQ(AscTokens::IntValue("."), 0);
  EXPECT_EQ(AscTokens::IntOrMinusOne("."), -1);
  EXPECT_EQ(AscTokens::IntValue("99999999999999999999999"), INT64_MAX);
}

TEST(AscTokens, DecimalsAreReadExactlyAsFromChars) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> whole(-99999, 99999);
  std::uniform_int_distribution<int> digits(0, 9999);
  char text[32];
  for (int k = 0; k < 20000; ++k) {
    const int n = std::snprintf(text, sizeof text, "%d.%d", whole(random), digits(random));
    double expected = 0;
    std::from_chars(text, text + n, expected);
    ASSERT_EQ(AscTokens::DoubleValue(std::string_view(text, n)), expected) << text;
  }
  EXPECT_EQ(AscTokens::DoubleValue("1.5e3"), 1500.0);
  EXPECT_EQ(AscTokens::DoubleValue("+2.5"), 2.5);
  EXPECT_EQ(AscTokens::DoubleValue("12abc"), 12.0);
  EXPECT_EQ(AscTokens::DoubleValue("x"), 0.0);
  EXPECT_EQ(AscTokens::DoubleOrMinusOne("."), -1.0);
  EXPECT_EQ(AscTokens::DoubleValue("0.12345678901234567"), 0.12345678901234567);
}

TEST(AscTokens, NotANumberAndInfinitiesReadAsNoNumber) {
  for (const char* token : {"nan", "NaN", "-nan", "inf", "-inf", "infinity", "1e400", "-1e400"}) {
    EXPECT_EQ(AscTokens::DoubleValue(token), 0.0) << token;
    EXPECT_EQ(AscTokens::DoubleOrMinusOne(token), 0.0) << token;
  }
}

TEST(AscTokens, PositionTokensAllowDigitsMinusAndDotOnly) {
  EXPECT_TRUE(AscTokens::IsPositionToken("-12.5"));
  EXPECT_TRUE(AscTokens::IsPositionToken("."));
  EXPECT_FALSE(AscTokens::IsPositionToken("12a"));
  EXPECT_FALSE(AscTokens::IsPositionToken("1e3"));
  EXPECT_TRUE(AscTokens::IsDigits("0123"));
  EXPECT_FALSE(AscTokens::IsDigits(""));
  EXPECT_FALSE(AscTokens::IsDigits("12.0"));
}

}  // namespace
