#include "driver/commandline.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "varnixlib/support/platform.h"

namespace {

const std::string S(1, Varnix::Platform::kSeparator);

CommandLine Parse(const std::vector<std::string>& args, SynchroParams& params) {
  return CommandLine::Parse(args, params);
}

TEST(CommandLine, EveryOptionOfTheTableSetsItsField) {
  SynchroParams p;
  const CommandLine line = Parse({"-e", "-1", "-m", "-p", "-v", "-Q", "-A", "-N", "-G", "-P", "-T", "-L",
                                  "-h", "out", "-t", "names.txt", "-f", "50", "S01.asc"}, p);
  EXPECT_TRUE(p.interpolateTowardEeg);
  EXPECT_FALSE(p.singleSampleMarkers);
  EXPECT_TRUE(p.matOutput);
  EXPECT_TRUE(p.pupilSize);
  EXPECT_TRUE(p.framesInEvents);
  EXPECT_TRUE(p.quality.enabled);
  EXPECT_TRUE(p.article.enabled);
  EXPECT_TRUE(p.alsoWithoutDrift);
  EXPECT_TRUE(p.cacheWanted);
  EXPECT_TRUE(p.pauseAtEnd);
  EXPECT_TRUE(p.makeTtlFile);
  EXPECT_TRUE(p.classicLcs);
  EXPECT_EQ(p.outputPath, "out");
  EXPECT_TRUE(line.OutputPathGiven());
  EXPECT_EQ(p.triggersFileName, "names.txt");
  EXPECT_EQ(p.falseBlinkMsec, 50);
  EXPECT_EQ(line.NameA(), "S01.asc");
  EXPECT_EQ(line.NameB(), "S01.asc");
  EXPECT_TRUE(line.OptionWithoutValue().empty());
}

TEST(CommandLine, DefaultsStayWithoutOptions) {
  SynchroParams p;
  const CommandLine line = Parse({"x.eeg"}, p);
  EXPECT_TRUE(p.singleSampleMarkers);
  EXPECT_FALSE(p.interpolateTowardEeg || p.matOutput || p.pupilSize || p.alsoWithoutDrift);
  EXPECT_FALSE(p.quality.enabled || p.article.enabled);
  EXPECT_FALSE(line.OutputPathGiven());
  EXPECT_EQ(p.outputPath, "");
  EXPECT_EQ(p.falseBlinkMsec, 0);
}

TEST(CommandLine, UnknownAndLongOptionsAreIgnoredAndLettersAreCaseSensitive) {
  SynchroParams p;
  const CommandLine line = Parse({"-x", "-H", "out", "-hh", "-pupil", "-", "-E", "a.asc"}, p);
  EXPECT_FALSE(line.OutputPathGiven());
  EXPECT_EQ(p.outputPath, "");
  EXPECT_FALSE(p.pupilSize);
  EXPECT_FALSE(p.interpolateTowardEeg);
  // "out" after the unknown -H is a file name.
  EXPECT_EQ(line.NameA(), "out");
  EXPECT_EQ(line.NameB(), "a.asc");
}

TEST(CommandLine, FirstNameIsAAndTheLastLaterNameIsB) {
  SynchroParams p;
  CommandLine line = Parse({"x.eeg", "-e", "y.asc"}, p);
  EXPECT_EQ(line.NameA(), "x.eeg");
  EXPECT_EQ(line.NameB(), "y.asc");
  line = Parse({"a", "b", "c.asc"}, p);
  EXPECT_EQ(line.NameA(), "a");
  EXPECT_EQ(line.NameB(), "c.asc");
  line = Parse({"-e"}, p);
  EXPECT_EQ(line.NameA(), "");
  EXPECT_EQ(line.NameB(), "");
}

TEST(CommandLine, ValueOptionTakesTheNextArgumentWhateverItIs) {
  SynchroParams p;
  const CommandLine line = Parse({"-h", "-e", "-t", "S01.asc", "x.eeg"}, p);
  EXPECT_EQ(p.outputPath, "-e");
  EXPECT_FALSE(p.interpolateTowardEeg);
  EXPECT_EQ(p.triggersFileName, "S01.asc");
  EXPECT_EQ(line.NameA(), "x.eeg");
}

TEST(CommandLine, PathValuesGetNativeSeparators) {
  SynchroParams p;
  Parse({"-h", "out\\sub/", "-t", "a\\names.txt", "x.eeg"}, p);
  EXPECT_EQ(p.outputPath, "out" + S + "sub" + S);
  EXPECT_EQ(p.triggersFileName, "a" + S + "names.txt");
}

TEST(CommandLine, ValueOptionGivenLastIsReportedAndSwallowsNoName) {
  for (const std::string option : {"-h", "-t", "-f"}) {
    SynchroParams p;
    const CommandLine line = Parse({"S01.asc", option}, p);
    EXPECT_EQ(line.OptionWithoutValue(), option);
    EXPECT_EQ(line.NameA(), "S01.asc");
    EXPECT_EQ(p.outputPath, "");
    EXPECT_EQ(p.triggersFileName, "");
    EXPECT_FALSE(line.OutputPathGiven());
  }
}

TEST(CommandLine, EmptyPathValueCountsAsMissing) {
  SynchroParams p;
  CommandLine line = Parse({"-h", "", "S01.asc"}, p);
  EXPECT_EQ(line.OptionWithoutValue(), "-h");
  EXPECT_EQ(line.NameA(), "S01.asc");
  line = Parse({"-t", "", "S01.asc"}, p);
  EXPECT_EQ(line.OptionWithoutValue(), "-t");
  // An empty -f value is simply no digits.
  line = Parse({"-f", "", "S01.asc"}, p);
  EXPECT_TRUE(line.OptionWithoutValue().empty());
  EXPECT_EQ(p.falseBlinkMsec, 0);
  EXPECT_EQ(line.NameA(), "S01.asc");
}

TEST(CommandLine, FalseBlinkValueReadsLikeATypedInteger) {
  const auto value = [](const std::string& text) {
    SynchroParams p;
    Parse({"-f", text, "x.eeg"}, p);
    return p.falseBlinkMsec;
  };
  EXPECT_EQ(value("50"), 50);
  EXPECT_EQ(value("  +70"), 70);
  EXPECT_EQ(value("80ms"), 80);
  EXPECT_EQ(value("abc"), 0);
  EXPECT_EQ(value("1.9"), 1);
  // A negative threshold switches the detection off.
  EXPECT_EQ(value("-5"), 0);
  EXPECT_EQ(value("99999999999999999999999"), std::numeric_limits<int64_t>::max());
}

TEST(CommandLine, ReadIntegerHandlesSignsBlanksAndRange) {
  EXPECT_EQ(CommandLine::ReadInteger(" \t-42x"), -42);
  EXPECT_EQ(CommandLine::ReadInteger("-"), 0);
  EXPECT_EQ(CommandLine::ReadInteger("- 4"), 0);
  EXPECT_EQ(CommandLine::ReadInteger("007"), 7);
  EXPECT_EQ(CommandLine::ReadInteger("9223372036854775807"), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(CommandLine::ReadInteger("-9223372036854775808"), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(CommandLine::ReadInteger("-9223372036854775809"), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(CommandLine::ReadInteger("9223372036854775808"), std::numeric_limits<int64_t>::max());
}

}  // namespace
