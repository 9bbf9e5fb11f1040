#include "varnixlib/support/inireader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <random>

#include "support/testsupport.h"

namespace {

std::string ValueIn(const std::string& content, const char* section, const char* key, const char* def) {
  IniReader reader;
  reader.SetContent(content);
  return reader.Value(section, key, def);
}

TEST(IniReader, CrLfAndLfFilesGiveTheSameTrimmedValues) {
  const std::string lf = "title\n[Common Infos]\nCodepage=UTF-8\nSamplingInterval=  500 \t\n";
  const std::string crlf = "title\r\n[Common Infos]\r\nCodepage=UTF-8\r\nSamplingInterval=  500 \t\r\n";
  for (const std::string& text : {lf, crlf}) {
    EXPECT_EQ(ValueIn(text, "Common Infos", "Codepage", "x"), "UTF-8");
    EXPECT_EQ(ValueIn(text, "Common Infos", "SamplingInterval", "x"), "500");
  }
}

TEST(IniReader, KeysMatchAsSubstringsAndTheFirstMatchingLineWins) {
  const std::string text = "[Common Infos]\nSegmentDataPoints=7\nDataPoints=9\n";
  EXPECT_EQ(ValueIn(text, "Common Infos", "DataPoints", "0"), "7");
  EXPECT_EQ(ValueIn(text, "Common Infos", "SegmentDataPoints", "0"), "7");
  // Case matters for keys.
  EXPECT_EQ(ValueIn(text, "Common Infos", "datapoints", "def"), "def");
}

TEST(IniReader, ASectionEndsAtTheNextBracketLineOrTheEndOfFile) {
  const std::string text = "[Common Infos]\nA=1\n[Binary Infos]\nB=2\n";
  EXPECT_EQ(ValueIn(text, "Common Infos", "B", "none"), "none");
  EXPECT_EQ(ValueIn(text, "Binary Infos", "B", "none"), "2");
  EXPECT_EQ(ValueIn(text, "Binary Infos", "C", "none"), "none");
  EXPECT_EQ(ValueIn(text, "Channel Infos", "A", "none"), "none");
}

TEST(IniReader, CommentsAndEmptyLinesAreSkippedOnlyForLackingAnEqualsSign) {
  const std::string text = "[Common Infos]\n\n; the Codepage comes next\n\nCodepage=UTF-8\n";
  EXPECT_EQ(ValueIn(text, "Common Infos", "Codepage", "x"), "UTF-8");
  // A comment with '=' that contains the key is taken as the key's line.
  const std::string tricky = "[Common Infos]\n; Codepage=written below\nCodepage=UTF-8\n";
  EXPECT_EQ(ValueIn(tricky, "Common Infos", "Codepage", "x"), "written below");
}

TEST(IniReader, ABracketedCommentNamingTheSectionIsTakenAsTheSectionLine) {
  const std::string text = "; [see Common Infos below]\nCodepage=early\n[Common Infos]\nCodepage=UTF-8\n";
  EXPECT_EQ(ValueIn(text, "Common Infos", "Codepage", "x"), "early");
}

TEST(IniReader, ValueIsTheLastNonEmptyPieceBetweenEqualsSigns) {
  const std::string text = "[S]\nDataOrientation=\nK==a==b==\nE=\t\r\n";
  EXPECT_EQ(ValueIn(text, "S", "DataOrientation", "x"), "DataOrientation");
  EXPECT_EQ(ValueIn(text, "S", "K", "x"), "b");
  EXPECT_EQ(ValueIn(text, "S", "E", "x"), "");
}

TEST(IniReader, SectionNamesIgnoreCaseAndAByteOrderMarkIsNoPartOfTheText) {
  const std::string text = "\xEF\xBB\xBF[Common infos]\r\nNumberOfChannels=65\r\n";
  EXPECT_EQ(ValueIn(text, "Common Infos", "NumberOfChannels", "0"), "65");
}

TEST(IniReader, NumberedValuesEqualOneLookupPerKey) {
  const std::string text =
      "[Channel Infos]\n; Each entry: Ch<Channel number>=<Name>\nCh12=twelve\nCh1=one\nCh2=ref Ch3x,,1\n"
      "Ch3=three\nCh01=zero-one\nno equals Ch4\nCh5==five==\n[Other]\nCh6=six\n";
  IniReader reader;
  reader.SetContent(text);
  const std::vector<std::string> values = reader.NumberedValues("Channel Infos", "Ch", 7, "none");
  ASSERT_EQ(values.size(), 7u);
  for (uint32_t i = 1; i <= 7; ++i) {
    EXPECT_EQ(values[i - 1], reader.Value("Channel Infos", "Ch" + std::to_string(i), "none")) << i;
  }
  EXPECT_EQ(values[0], "twelve");
  EXPECT_EQ(values[2], "ref Ch3x,,1");
  EXPECT_EQ(values[4], "five");
  EXPECT_EQ(values[5], "none");
  EXPECT_EQ(reader.NumberedValues("Missing", "Ch", 2, "d"), (std::vector<std::string>{"d", "d"}));
  IniReader empty;
  EXPECT_EQ(empty.NumberedValues("Channel Infos", "Ch", 2, "d"), (std::vector<std::string>{"", ""}));
}

TEST(IniReader, NumberedValuesMatchOneLookupPerKeyOnRandomSections) {
  // Channel-like lines with repeated, nested and zero-led numbers, keys inside values, lines
  // without '=' and the odd bracket line that ends the section.
  std::mt19937 random(20240611);
  auto pick = [&](uint32_t n) { return static_cast<uint32_t>(random() % n); };
  auto key = [&] {
    std::string k = pick(8) == 0 ? "Ch0" : "Ch";
    k += std::to_string(1 + pick(30));
    if (pick(4) == 0) k += std::to_string(pick(10));
    return k;
  };
  for (int round = 0; round < 2000; ++round) {
    std::string text = "[Channel Infos]\n";
    const uint32_t lines = pick(10);
    for (uint32_t l = 0; l < lines; ++l) {
      std::string line = pick(5) == 0 ? "; " : "";
      line += key();
      if (pick(6) != 0) line += "=";
      line += pick(3) == 0 ? key() + ",," : "v" + std::to_string(l);
      if (pick(25) == 0) line = "[Next]";
      text += line + (pick(3) == 0 ? "\r\n" : "\n");
    }
    IniReader reader;
    reader.SetContent(text);
    const uint32_t count = 1 + pick(40);
    const std::vector<std::string> values = reader.NumberedValues("Channel Infos", "Ch", count, "-");
    ASSERT_EQ(values.size(), count);
    for (uint32_t i = 1; i <= count; ++i) {
      ASSERT_EQ(values[i - 1], reader.Value("Channel Infos", "Ch" + std::to_string(i), "-")) << i << "\n" << text;
    }
  }
}

TEST(IniReader, EmptyOrMissingFileGivesTheEmptyTextNotTheDefault) {
  testsupport::TempDir dir;
  testsupport::WriteFile(dir / "empty.vhdr", "");
  EXPECT_EQ(ReadIniValue("Common Infos", "Codepage", "def", dir / "empty.vhdr"), "");
  testing::internal::CaptureStdout();
  EXPECT_EQ(ReadIniValue("Common Infos", "Codepage", "def", dir / "missing.vhdr"), "");
  EXPECT_NE(testing::internal::GetCapturedStdout().find("missing.vhdr"), std::string::npos);
  EXPECT_EQ(ReadIniInt("Common Infos", "NumberOfChannels", dir / "empty.vhdr"), 0);
  // A file of blank lines is not empty: its keys take their defaults.
  testsupport::WriteFile(dir / "blank.vhdr", "\r\n\n\n");
  EXPECT_EQ(ReadIniValue("Common Infos", "Codepage", "def", dir / "blank.vhdr"), "def");
  EXPECT_EQ(ReadIniDouble("Common Infos", "SamplingInterval", 7.0, dir / "empty.vhdr"), 0.0);
}

TEST(IniReader, TypedReadersConvertTheLeadingNumberAndUseTheirDefaults) {
  testsupport::TempDir dir;
  const std::string path = dir / "h.vhdr";
  testsupport::WriteFile(path, "[Common Infos]\r\nA=500 Hz\r\nB=abc\r\nC= -12\r\nD=1953.125000\r\nE=+2.5e3x\r\n");
  EXPECT_EQ(ReadIniInt("Common Infos", "A", path), 500);
  EXPECT_EQ(ReadIniInt("Common Infos", "B", path), 0);
  EXPECT_EQ(ReadIniInt("Common Infos", "C", path), -12);
  EXPECT_EQ(ReadIniInt("Common Infos", "Missing", path), 0);
  EXPECT_DOUBLE_EQ(ReadIniDouble("Common Infos", "D", 0.0, path), 1953.125);
  EXPECT_DOUBLE_EQ(ReadIniDouble("Common Infos", "E", 0.0, path), 2500.0);
  EXPECT_DOUBLE_EQ(ReadIniDouble("Common Infos", "Missing", 42.5, path), 42.5);
  EXPECT_EQ(ReadIniDouble("Common Infos", "B", 1.0, path), 0.0);
}

TEST(IniTextConversion, StaysWithinRangeAndNeverReadsSpecialWords) {
  EXPECT_EQ(IniTextToInt("99999999999"), INT32_MAX);
  EXPECT_EQ(IniTextToInt("-99999999999"), INT32_MIN);
  EXPECT_EQ(IniTextToInt("-2147483648"), INT32_MIN);
  EXPECT_EQ(IniTextToDouble("inf"), 0.0);
  EXPECT_EQ(IniTextToDouble("nan"), 0.0);
  EXPECT_EQ(IniTextToDouble(".5"), 0.5);
  EXPECT_EQ(IniTextToDouble("1e-999"), 0.0);
  EXPECT_TRUE(std::isinf(IniTextToDouble("1e999")));
  EXPECT_EQ(IniDoubleToText(0.0), "0");
}

}  // namespace
