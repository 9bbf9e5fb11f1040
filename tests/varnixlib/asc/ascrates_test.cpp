// Every export a lab has: 2000 Hz in both timestamp styles, head-referenced samples, INPUT and
// velocity columns together, and the exports the merge cannot use, refused with their reason.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "asctestfile.h"

using asctest::AscRun;
using asctest::At;
using asctest::End;
using asctest::Head;

namespace {

/// A right-eye sample line: time token as written, x, y, pupil.
std::string Right(const std::string& time, double x) {
  return time + "\t " + std::to_string(x) + "\t 200.0\t 1000.0\t...\n";
}

/// The four samples of 1000 and 1001 ms with x 1 to 4, in either of EDF2ASC's 2000 Hz styles,
/// with events and an INPUT trigger on the second half of 1001.
std::string TwoThousand(bool fractions) {
  const std::string half = fractions ? ".5" : "";
  return Head("RIGHT", "2000.00") + Right("1000", 1) + Right("1000" + half, 2) + "SFIX R 1000.5\n" +
         "INPUT\t1001.5\t7\n" + Right("1001", 3) + Right("1001" + half, 4) +
         "EFIX R 1000\t1001.5\t2\t 2.5\t 200.0\t 1000\n" + "MSG\t1001.5 hello\n" + End(1002);
}

TEST(Asc2000Hz, BothTimestampStylesGiveTheSameHalfMillisecondGrid) {
  for (const bool fractions : {false, true}) {
    SCOPED_TRACE(fractions ? "fractions" : "repeated timestamps");
    std::string console;
    std::unique_ptr<AscRun> run;
    console = asctest::Capture([&] { run = std::make_unique<AscRun>(TwoThousand(fractions)); });
    ASSERT_TRUE(run->ok) << console << run->Log();
    const AscRawData& asc = run->asc;
    EXPECT_EQ(asc.SamplePeriod(), 0.5);
    // 1000 ms to one past the END line's 1002: six half milliseconds.
    EXPECT_EQ(asc.NbSamples(), 6u);
    for (uint32_t k = 0; k < 4; ++k) EXPECT_DOUBLE_EQ(At(asc, "eyeRx", k), k + 1.0) << k;
    EXPECT_EQ(At(asc, "eyeRx", 4), AscRawData::kMissing);
    EXPECT_EQ(asc.TimestampOfIndex(3), "1001.5");
    ASSERT_EQ(asc.Triggers().size(), 1u);
    EXPECT_EQ(asc.Triggers()[0]->start, 3u);
    EXPECT_EQ(asc.Triggers()[0]->timestamp, 1001.5);
    EXPECT_EQ(asc.TriggerValues()[3], 7);
    ASSERT_EQ(asc.FixationSaccadesRight().size(), 1u);
    EXPECT_EQ(asc.FixationSaccadesRight()[0]->start, 0u);  // the EFIX line's start, not the SFIX line's
    EXPECT_EQ(asc.FixationSaccadesRight()[0]->end, 3u);
    EXPECT_EQ(console.find("WARNING"), std::string::npos) << console;
    EXPECT_FALSE(asc.WarningsWritten()) << run->Log();
  }
}

TEST(Asc2000Hz, ABlockBeginningOnASecondHalfAndALostHalfKeepEverySampleAtItsTime) {
  // Block 1 begins on the second half of 1000; block 2 loses the second half of 2001.
  const std::string text = Head("RIGHT", "2000.00") + Right("1000", 1) + "INPUT\t1001\t5\n" + Right("1001", 2) +
                           Right("1001", 3) + End(1002) + "START\t2000 \tRIGHT\tSAMPLES\tEVENTS\n" + Right("2000", 4) +
                           Right("2000", 5) + Right("2001", 6) + Right("2002", 7) + Right("2002", 8) + End(2003);
  std::unique_ptr<AscRun> run;
  const std::string console = asctest::Capture([&] { run = std::make_unique<AscRun>(text); });
  ASSERT_TRUE(run->ok) << console;
  const AscRawData& asc = run->asc;
  const std::vector<std::pair<double, std::string>> kAt = {{1, "1000.5"}, {2, "1001"},   {3, "1001.5"}, {4, "2000"},
                                                           {5, "2000.5"}, {6, "2001"}, {7, "2002"},   {8, "2002.5"}};
  for (const auto& [x, time] : kAt) {
    bool found = false;
    for (uint32_t k = 0; k < asc.NbSamples() && !found; ++k) {
      if (At(asc, "eyeRx", k) == x) {
        EXPECT_EQ(asc.TimestampOfIndex(k), time) << x;
        found = true;
      }
    }
    EXPECT_TRUE(found) << x;
  }
  // The lone 2001 is reported (line 13), the block's first line is not.
  EXPECT_NE(console.find("1 sample line(s) of "), std::string::npos) << console;
  EXPECT_NE(run->Log().find("one sample line, placed on its first half ( line 13: 2001\t"), std::string::npos) << run->Log();
}

TEST(Asc2000Hz, FalseBlinkThresholdStaysInMilliseconds) {
  // A blink over the three half milliseconds 1001 to 1002 (two samples from start to end).
  const std::string missing = "\t   .\t   .\t    0.0\t...\n";
  const std::string text = Head("RIGHT", "2000.00") + Right("1000", 1) + Right("1000.5", 2) + "SBLINK R 1001\n" +
                           "1001" + missing + "1001.5" + missing + "1002" + missing + "EBLINK R 1001\t1002\t2\n" +
                           Right("1002.5", 6) + Right("1003", 7) + End(1004);
  for (const auto& [msec, samples, removed] : std::vector<std::tuple<int, int, bool>>{{1, 2, true}, {0, 0, false}}) {
    SCOPED_TRACE(msec);
    SynchroParams p = AscRun::Defaults();
    p.falseBlinkMsec = msec;
    AscRun run(text, p);
    ASSERT_TRUE(run.ok) << run.Log();
    EXPECT_EQ(run.asc.Header().falseBlinkSamples, samples);
    EXPECT_EQ(run.asc.BlinksRight().size(), removed ? 0u : 1u);
    for (uint32_t k = 2; k <= 4; ++k) {
      // Bridged by the straight line from x 2 at index 1 to x 6 at index 5.
      EXPECT_EQ(At(run.asc, "eyeRx", k), removed ? k + 1.0 : AscRawData::kMissing) << k;
      EXPECT_EQ(At(run.asc, "blink", k), removed ? 0.0 : 1.0) << k;
    }
  }
}

struct BadCase {
  const char* label;
  std::string text;
  bool accepted;            ///< the stage still succeeds (a warning), or it stops
  const char* console;      ///< what the console must say
  const char* log;          ///< what the log must say (empty: nothing checked)
};

TEST(AscBadInput, EachNamesTheLineOrWhatIsMissingAndNeverShiftsTheGrid) {
  const std::string head2k = Head("RIGHT", "2000.00");
  const std::vector<BadCase> kCases = {
      // Line numbers: the head is four lines, so the first sample line is line 5.
      {"fractions that do not alternate", head2k + Right("1000", 1) + Right("1000.5", 2) + Right("1001.5", 3) + End(1002),
       true, "do not follow the 2000 Hz pattern of half milliseconds (each is placed at its own time); the first on line 7",
       "the .5 fractions of the 2000 Hz timestamps do not alternate ( line 7"},
      {"a timestamp on three lines", head2k + Right("1000", 1) + Right("1000", 2) + Right("1000", 3) + End(1002), false,
       "more than two sample lines, or repeated between lines with fractions) ", "at timestamp 1000, line 7"},
      {"a repeated timestamp among fractions", head2k + Right("1000", 1) + Right("1000.5", 2) + Right("1000", 3) + End(1002),
       false, "repeated between lines with fractions", "at timestamp 1000, line 7"},
      {"a .5 sample at 1000 Hz", Head("RIGHT", "1000.00") + Right("1000", 1) + Right("1000.5", 2) + End(1002), false,
       "(a timestamp with a .5 fraction at 1000 Hz) ", "at timestamp 1000.5, line 6"},
      {"a .5 event at 500 Hz", Head("RIGHT", "500.00") + Right("1000", 1) + "INPUT\t1001.5\t4\n" + Right("1002", 2) + End(1004),
       true, "1 event timestamp(s) of ", "placed on the sample at or before them; the first on line 6"},
      {"a rate of 333 Hz", Head("RIGHT", "333.00") + Right("1000", 1) + End(1002), false,
       "the sampling rate 333 Hz is not one of 250, 500, 1000 and 2000 Hz", "Invalid ASC header: the sampling rate 333 Hz"},
      {"an events-only export",
       "** CONVERTED FROM s.edf\nSTART\t1000 \tRIGHT\tEVENTS\nEVENTS\tGAZE\tRIGHT\tRATE\t1000.00\nINPUT\t1001\t3\n" + End(1002),
       false, "the file holds events without gaze samples", ""},
      {"a samples-only export",
       "** CONVERTED FROM s.edf\nSTART\t1000 \tRIGHT\tSAMPLES\nSAMPLES\tGAZE\tRIGHT\tRATE\t1000.00\n" + Right("1000", 1) +
           End(1002),
       false, "the file holds samples without events", ""},
      {"no SAMPLES line", "** CONVERTED FROM s.edf\nSTART\t1000 \tRIGHT\tSAMPLES\tEVENTS\n" + Right("1000", 1) + End(1002),
       false, "the file has no SAMPLES line", ""},
      // The fix of the position reports: at 500 Hz the grid index is not the timestamp.
      {"time running backwards at 500 Hz",
       Head("RIGHT", "500.00") + Right("1000", 1) + Right("1600", 2) + Right("1200", 3) + End(1700), false,
       "Corrupted ASC file ", "at timestamp 1200, line 7"},
  };
  for (const BadCase& c : kCases) {
    SCOPED_TRACE(c.label);
    std::unique_ptr<AscRun> run;
    const std::string console = asctest::Capture([&] { run = std::make_unique<AscRun>(c.text); });
    EXPECT_EQ(run->ok, c.accepted) << console;
    EXPECT_NE(console.find(c.console), std::string::npos) << console;
    if (*c.log) {
      EXPECT_NE(run->Log().find(c.log), std::string::npos) << run->Log();
    }
    if (c.accepted) {
      // Whatever was wrong, each sample sits at the time its line states.
      const AscRawData& asc = run->asc;
      for (uint32_t k = 0; k < asc.NbSamples(); ++k) {
        const double x = At(asc, "eyeRx", k);
        if (x == AscRawData::kMissing) continue;
        const double stated = x == 1 ? 1000.0 : x == 2 ? (asc.SamplePeriodUs() == 500 ? 1000.5 : 1002.0) : 1001.5;
        EXPECT_EQ(std::stod(asc.TimestampOfIndex(k)), stated) << k;
      }
    }
  }
}

TEST(AscColumns, HeadReferencedSamplesAreReadAndNamedForWhatTheyHold) {
  SynchroParams p = AscRun::Defaults();
  p.pupilSize = true;
  std::string text = Head("RIGHT", "1000.00") + Right("1000", -4000.0) + End(1001);
  text.replace(text.find("SAMPLES\tGAZE"), 12, "SAMPLES\tHREF");
  AscRun run(text, p);
  ASSERT_TRUE(run.ok) << run.Log();
  EXPECT_EQ(run.asc.SampleKind(), "HREF");
  EXPECT_EQ(run.asc.ChannelNames(), (std::vector<std::string>{"hrefRx", "hrefRy", "eyeRp", "blink"}));
  EXPECT_DOUBLE_EQ(At(run.asc, "hrefRx", 0), -4000.0);
  // Angles off any screen are not gaze off the screen.
  EXPECT_EQ(run.asc.Status()[0] & AscRawData::kOffScreen, 0);
}

TEST(AscColumns, VelocityWithAnInputColumnIsReadWithoutAColumnError) {
  for (const bool both : {false, true}) {
    SCOPED_TRACE(both ? "both eyes" : "left eye");
    std::string text = Head(both ? "LEFT\tRIGHT" : "LEFT", "1000.00", true);
    text.replace(text.find("\tTRACKING"), 0, "\tINPUT");
    const std::string eyes = both ? "\t1\t2\t3\t4\t5\t6" : "\t1\t2\t3";
    const std::string vel = both ? "\t7\t8\t9\t10" : "\t7\t8";
    text += "1000" + eyes + vel + "\t127.0\t" + (both ? "....." : "...") + "\n" + End(1001);
    std::unique_ptr<AscRun> run;
    const std::string console = asctest::Capture([&] { run = std::make_unique<AscRun>(text); });
    ASSERT_TRUE(run->ok) << console;
    EXPECT_EQ(console.find("ERROR"), std::string::npos) << console;
    EXPECT_NE(console.find(both ? "velocity data for both eyes." : "velocity data for left eye."), std::string::npos)
        << console;
    EXPECT_DOUBLE_EQ(At(run->asc, "eyeLxVel", 0), 7.0);
    EXPECT_DOUBLE_EQ(At(run->asc, "eyeLyVel", 0), 8.0);
    if (both) {
      EXPECT_DOUBLE_EQ(At(run->asc, "eyeRyVel", 0), 10.0);
    }
  }
}

TEST(AscColumns, AMissingEventPositionIsTheMissingValueOfTheGazeColumns) {
  AscRun run(Head("RIGHT", "1000.00") + "SFIX R 1000.5\n" + Right("1000", 1) + Right("1001", 2) +
             "EFIX R 1000\t1001\t2\t .\t 200.0\t 1000\n" + "SSACC R 1001\n" +
             "ESACC R 1001\t1001\t1\t 1.0\t .\t .\t 4.0\t .\t 90\n" + End(1002));
  ASSERT_TRUE(run.ok) << run.Log();
  ASSERT_EQ(run.asc.FixationSaccadesRight().size(), 2u);
  const FixationSaccade& fix = *run.asc.FixationSaccadesRight()[0];
  EXPECT_EQ(fix.startX, AscRawData::kMissing);
  EXPECT_EQ(fix.startY, 200.0);
  const FixationSaccade& sacc = *run.asc.FixationSaccadesRight()[1];
  EXPECT_EQ(sacc.startY, AscRawData::kMissing);
  EXPECT_EQ(sacc.endX, AscRawData::kMissing);
  EXPECT_EQ(sacc.amplitudeSaccade, AscRawData::kMissing);
  EXPECT_EQ(sacc.peakVelocitySaccade, 90.0);
}

TEST(Asc2000Hz, MessageTriggersKeepTheirHalfMillisecond) {
  // -M: the offset field counts whole milliseconds back from a time that may carry its half.
  SynchroParams p = AscRun::Defaults();
  p.triggerMessage = "trigger:";
  AscRun run(TwoThousand(true) + "MSG\t1001.5 trigger: 9\nMSG\t1002.5 1 trigger: 4\n", p);
  ASSERT_TRUE(run.ok) << run.Log();
  ASSERT_EQ(run.asc.Triggers().size(), 2u);
  EXPECT_EQ(run.asc.Triggers()[0]->timestamp, 1001.5);
  EXPECT_EQ(run.asc.Triggers()[0]->start, 3u);
  EXPECT_EQ(run.asc.Triggers()[1]->timestamp, 1001.5);
  EXPECT_EQ(run.asc.Triggers()[1]->start, 3u);
}

TEST(Asc2000Hz, TheParseCacheRestoresTheHalfMillisecondGrid) {
  SynchroParams p = AscRun::Defaults();
  p.cacheWanted = true;
  testsupport::TempDir dir;
  testsupport::WriteFile(dir / "rec.asc", TwoThousand(false));
  p.ascFileName = dir / "rec.asc";
  AscRawData parsed;
  ASSERT_TRUE(parsed.Process(p));
  ASSERT_TRUE(std::filesystem::exists(AscRawData::CacheFileName(p.ascFileName)));
  AscRawData cached;
  bool ok = false;
  const std::string console = asctest::Capture([&] { ok = cached.Process(p); });
  ASSERT_TRUE(ok) << console;
  // The walk over the lines prints its progress up to 100 %; loading the cache prints none.
  EXPECT_EQ(console.find("100 %"), std::string::npos) << console;
  EXPECT_EQ(cached.SamplePeriodUs(), 500u);
  EXPECT_EQ(cached.NbSamples(), parsed.NbSamples());
  EXPECT_EQ(cached.Data(), parsed.Data());
  EXPECT_EQ(cached.Status(), parsed.Status());
  EXPECT_EQ(cached.SampleKind(), "GAZE");
  ASSERT_EQ(cached.Triggers().size(), 1u);
  EXPECT_EQ(cached.Triggers()[0]->timestamp, 1001.5);
  EXPECT_EQ(cached.TimestampOfIndex(3), "1001.5");
}

}  // namespace
