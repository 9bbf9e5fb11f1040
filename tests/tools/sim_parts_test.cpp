// The simulator's own parts: number formatting, dates, the clock model, the segment layout and the
// random source.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "support/testsupport.h"
#include "tools/sim/bufferedfile.h"
#include "tools/sim/clockmodel.h"
#include "tools/sim/segmentlayout.h"
#include "tools/sim/simoptions.h"
#include "tools/sim/simrandom.h"

namespace {

std::string Formatted(void (*fill)(BufferedFile&)) {
  testsupport::TempDir dir;
  BufferedFile out;
  EXPECT_TRUE(out.Open(dir / "f.txt"));
  fill(out);
  EXPECT_TRUE(out.Close());
  return testsupport::ReadFile(dir / "f.txt");
}

TEST(BufferedFile, FixedNumbersRoundHalfAwayAndRightAlign) {
  EXPECT_EQ(Formatted([](BufferedFile& f) { f.AppendFixed(988.25, 1, 7); }), "  988.3");
  EXPECT_EQ(Formatted([](BufferedFile& f) { f.AppendFixed(-988.25, 1, 7); }), " -988.3");
  EXPECT_EQ(Formatted([](BufferedFile& f) { f.AppendFixed(-0.04, 1, 7); }), "    0.0");  // no "-0.0"
  EXPECT_EQ(Formatted([](BufferedFile& f) { f.AppendFixed(3879.0, 1, 7); }), " 3879.0");
  EXPECT_EQ(Formatted([](BufferedFile& f) { f.AppendFixed(12345678.9, 1, 7); }), "12345678.9");  // wider: no cut
  EXPECT_EQ(Formatted([](BufferedFile& f) { f.AppendFixed(0.355, 2, 0); }), "0.36");
  EXPECT_EQ(Formatted([](BufferedFile& f) { f.AppendFixed(7.0, 0, 3); }), "  7");
  EXPECT_EQ(Formatted([](BufferedFile& f) {
              f.AppendSigned(-9223372036854775807LL - 1);
              f.Append(' ');
              f.AppendUnsigned(18446744073709551615ULL);
            }),
            "-9223372036854775808 18446744073709551615");
}

TEST(BufferedFile, LargeOutputsSurviveTheFlushes) {
  testsupport::TempDir dir;
  BufferedFile out;
  ASSERT_TRUE(out.Open(dir / "big.bin"));
  const std::string block(1000003, 'x');
  for (int i = 0; i < 20; ++i) {
    out.Append(block);
    out.Append('\n');
  }
  ASSERT_TRUE(out.Close());
  EXPECT_EQ(std::filesystem::file_size(dir / "big.bin"), 20u * 1000004u);
}

TEST(BufferedFile, OpeningInAMissingFolderFails) {
  testsupport::TempDir dir;
  BufferedFile out;
  EXPECT_FALSE(out.Open(dir / "missing/f.txt"));
  EXPECT_FALSE(out.Close());
}

TEST(RecordingDate, DigitsAndExportTextRollOverDaysMonthsAndLeapYears) {
  RecordingDate d;
  d.year = 2026, d.month = 3, d.day = 16;
  d.microsecondOfDay = (10LL * 3600 + 15 * 60 + 30) * 1000000 + 123456;
  EXPECT_EQ(d.Digits(0), "20260316101530123456");
  EXPECT_EQ(d.Digits(1), "20260316101530123457");
  EXPECT_EQ(d.AscText(0), "Mon Mar 16 10:15:30 2026");
  EXPECT_EQ(d.TimeText(-180LL * 1000000), "10:12:30");
  const int64_t day = 86400LL * 1000000;
  EXPECT_EQ(d.Digits(day), "20260317101530123456");
  EXPECT_EQ(d.AscText(6 * day), "Sun Mar 22 10:15:30 2026");
  RecordingDate leap;
  leap.year = 2028, leap.month = 2, leap.day = 28;
  leap.microsecondOfDay = day - 1;
  EXPECT_EQ(leap.Digits(0), "20280228235959999999");
  EXPECT_EQ(leap.Digits(1), "20280229000000000000");
  EXPECT_EQ(leap.Digits(day + 1), "20280301000000000000");
  RecordingDate newYear;
  newYear.year = 2026, newYear.month = 12, newYear.day = 31;
  newYear.microsecondOfDay = 0;
  EXPECT_EQ(newYear.Digits(day), "20270101000000000000");
  EXPECT_EQ(newYear.Digits(-1), "20261230235959999999");
}

TEST(ClockModel, AnEdgeOnATickIsRegisteredAtThatTickAndOneJustAfterAtTheNext) {
  const ClockModel clock(1000.0, 0.0, 500.0);  // EEG sample n at 1000 + 2 n ms
  EXPECT_EQ(clock.RegisteredEegSample(1010.0), 5);
  EXPECT_EQ(clock.RegisteredEegSample(1010.001), 6);
  EXPECT_EQ(clock.RegisteredEegSample(1009.999), 5);
  EXPECT_EQ(ClockModel::TrackerTimestamp(2000.0), 2000);
  EXPECT_EQ(ClockModel::TrackerTimestamp(2000.2), 2001);
  const ClockModel fast(0.0, 100.0, 1000.0);  // 100 ppm fast: 1000.1 samples per true second
  EXPECT_NEAR(fast.EegPosition(1000.0), 1000.1, 1e-9);
  EXPECT_NEAR(fast.TrueTimeOfEegSample(fast.EegPosition(1234.5)), 1234.5, 1e-9);
}

TEST(SegmentLayout, MapsGapFilledSamplesToTheFileAndRefusesOverlaps) {
  RecordingDate date;
  SegmentLayout layout;
  std::string error;
  ASSERT_TRUE(layout.Build(1000, {{600, 50, SegmentKind::Overflow}, {200, 100, SegmentKind::Pause}}, 1000.0, date, error))
      << error;
  ASSERT_EQ(layout.Segments().size(), 3u);
  EXPECT_EQ(layout.RecordedSamples(), 850u);
  const EegSegment& second = layout.Segments()[1];
  EXPECT_EQ(second.kind, SegmentKind::Pause);
  EXPECT_EQ(second.gapFilledStart, 300u);
  EXPECT_EQ(second.fileStart, 200u);
  EXPECT_EQ(second.recorded, 300u);
  EXPECT_EQ(second.lostBefore, 100u);
  EXPECT_EQ(layout.Segments()[2].fileStart, 500u);
  EXPECT_EQ(layout.Segments()[2].recorded, 350u);
  EXPECT_EQ(layout.FilePosition(0), 0);
  EXPECT_EQ(layout.FilePosition(199), 199);
  EXPECT_EQ(layout.FilePosition(200), -1);
  EXPECT_EQ(layout.FilePosition(299), -1);
  EXPECT_EQ(layout.FilePosition(300), 200);
  EXPECT_EQ(layout.FilePosition(649), -1);
  EXPECT_EQ(layout.FilePosition(650), 500);
  EXPECT_EQ(layout.FilePosition(999), 849);
  EXPECT_EQ(layout.FilePosition(1000), -1);
  EXPECT_EQ(layout.FilePosition(-1), -1);
  // Dates follow the nominal clock at each segment's first gap-filled sample.
  EXPECT_EQ(layout.Segments()[1].date, date.Digits(300000));

  EXPECT_FALSE(layout.Build(1000, {{200, 100, SegmentKind::Pause}, {250, 10, SegmentKind::Pause}}, 1000.0, date, error));
  EXPECT_FALSE(layout.Build(1000, {{950, 50, SegmentKind::Pause}}, 1000.0, date, error));
  EXPECT_FALSE(layout.Build(1000, {{0, 5, SegmentKind::Pause}}, 1000.0, date, error));
  EXPECT_FALSE(error.empty());
}

TEST(SimRandom, StreamsRepeatForOneSeedAndStayInRange) {
  SimRandom a(42), b(42), c(43);
  bool differs = false;
  for (int i = 0; i < 100; ++i) {
    const uint64_t x = a.Next();
    EXPECT_EQ(x, b.Next());
    differs = differs || x != c.Next();
  }
  EXPECT_TRUE(differs);
  EXPECT_NE(SimRandom(42).Fork(1).Next(), SimRandom(42).Fork(2).Next());
  SimRandom r(7);
  double sum = 0, squares = 0;
  for (int i = 0; i < 100000; ++i) {
    const uint32_t k = r.Below(7);
    ASSERT_LT(k, 7u);
    const double u = r.Uniform();
    ASSERT_GE(u, 0.0);
    ASSERT_LT(u, 1.0);
    const double n = r.Normal();
    sum += n;
    squares += n * n;
  }
  EXPECT_NEAR(sum / 100000, 0.0, 0.02);
  EXPECT_NEAR(squares / 100000, 1.0, 0.03);
  EXPECT_EQ(r.Below(0), 0u);
}

TEST(SimOptions, ValuesAreParsedWithEitherFormAndDefaultsStay) {
  SimOptions o;
  bool help = false;
  std::string error;
  const char* argv[] = {"tolmera-sim", "--drift=-12.5", "--eyes", "left", "--velocity", "--channels=64"};
  ASSERT_TRUE(ParseSimOptions(6, argv, o, help, error)) << error;
  EXPECT_FALSE(help);
  EXPECT_EQ(o.driftPpm, -12.5);
  EXPECT_EQ(o.eyes, EyeSetup::Left);
  EXPECT_TRUE(o.velocity);
  EXPECT_EQ(o.channels, 64u);
  EXPECT_EQ(o.gazeRateHz, 500u);
  EXPECT_EQ(o.name, "S01");
  SimOptions p;
  const char* bad[] = {"tolmera-sim", "--velocity=yes"};
  EXPECT_FALSE(ParseSimOptions(2, bad, p, help, error));
  const char* slash[] = {"tolmera-sim", "--name", "a/b"};
  EXPECT_FALSE(ParseSimOptions(3, slash, p, help, error));
  const char* pulse[] = {"tolmera-sim", "--trigger-interval", "20", "--pulse", "10"};
  EXPECT_FALSE(ParseSimOptions(5, pulse, p, help, error));
}

}  // namespace
