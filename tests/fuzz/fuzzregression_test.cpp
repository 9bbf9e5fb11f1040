// Every input that made a fuzz target fail, fed again to the reader it broke, and the reader
// faults they revealed pinned down directly.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "fuzz/harness.h"
#include "support/testsupport.h"
#include "varnixlib/brainvision/brainampvhdr.h"
#include "varnixlib/brainvision/brainampvmrk.h"
#include "varnixlib/cmarker.h"
#include "varnixlib/asc/trigger.h"
#include "varnixlib/asc/ttlfile.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

using Harness = int (*)(const uint8_t*, size_t);

/// Runs harness on every file of fuzz/regressions/<target>; returns how many there were.
int ReplayAll(const std::string& target, Harness harness) {
  const std::filesystem::path dir = std::filesystem::path(TOLMERA_SOURCE_DIR) / "fuzz" / "regressions" / target;
  int count = 0;
  if (!std::filesystem::is_directory(dir)) return 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string bytes = testsupport::ReadFile(entry.path().string());
    CaptureStdout();  // the readers' error lines are expected here
    harness(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    GetCapturedStdout();
    ++count;
  }
  return count;
}

TEST(FuzzRegressions, EveryKeptInputRunsThroughItsReaderWithoutFault) {
  // Under the sanitizer build a fault aborts the test program; in the plain build a crash does.
  EXPECT_GE(ReplayAll("vhdr", fuzzharness::Vhdr), 0);
  EXPECT_GE(ReplayAll("vmrk", fuzzharness::Vmrk), 1);
}

TEST(FuzzRegressions, ASegmentClockBeyond32BitsSaturatesInsteadOfOverflowing) {
  // A 0.25 µs interval (4 MHz) at 23:59:59 is about 3.5e11 samples into the day.
  CMarker late;
  late.dateText = "20261208235959000000";
  EXPECT_EQ(late.ComputeClock(4e6), std::numeric_limits<int32_t>::max());
  EXPECT_NEAR(late.clockSample, 86399.0 * 4e6, 1.0);
  CMarker garbage;
  garbage.dateText = "20261208000000-inf";  // a microsecond field that reads as minus infinity
  EXPECT_EQ(garbage.ComputeClock(500.0), std::numeric_limits<int32_t>::min());
  garbage.dateText = "20261208000000nan";
  EXPECT_EQ(garbage.ComputeClock(500.0), 0);
  CMarker normal;
  normal.dateText = "20261208090000500000";
  EXPECT_EQ(normal.ComputeClock(500.0), 9 * 3600 * 500 + 250);
}

}  // namespace

namespace {

struct SegmentRun {
  bool ok;
  std::string out;
};

SegmentRun TwoSegments(const std::string& firstDate, const std::string& secondDate, double intervalMicros) {
  BrainampVmrk markers;
  markers.ProcessContent("[Marker Infos]\r\nMk1=New Segment,,1,1,0," + firstDate +
                             "\r\nMk2=Stimulus,S  1,5,1,0\r\nMk3=New Segment,,10,1,0," + secondDate + "\r\n",
                         "S01.vmrk");
  BrainampVhdr header;
  header.nbChannels = 1;
  header.samplingInterval = intervalMicros;
  CaptureStdout();
  const bool ok = markers.ProcessDataSegments(header, 1000);
  return {ok, GetCapturedStdout()};
}

TEST(FuzzRegressions, LostSampleCountsBeyondTheTimeLineOrTheClockAreRefused) {
  // 4 MHz, one hour apart: 1.44e10 samples lost, more than 32 bits can place.
  SegmentRun run = TwoSegments("20261208090000000000", "20261208100000000000", 0.25);
  EXPECT_FALSE(run.ok);
  EXPECT_NE(run.out.find(") follows more lost samples than a recording can hold (4294967295) S01.vmrk"),
            std::string::npos)
      << run.out;
  // A date whose microseconds read as infinity leaves no clock to compare.
  run = TwoSegments("20261208090000000000", "20261208100000inf", 2000.0);
  EXPECT_FALSE(run.ok);
  EXPECT_NE(run.out.find("cannot be placed on the clock"), std::string::npos) << run.out;
  // Years earlier at 4 MHz: the warning's count is far beyond 64 bits and still printed.
  run = TwoSegments("20261208090000000000", "19000101090000000000", 0.25);
  EXPECT_TRUE(run.ok);
  EXPECT_NE(run.out.find("earlier on the clock"), std::string::npos) << run.out;
}

}  // namespace

namespace {

TEST(FuzzRegressions, EveryKeptAscSideInputRunsThroughItsReaderWithoutFault) {
  EXPECT_GE(ReplayAll("asc", fuzzharness::Asc), 1);
  EXPECT_GE(ReplayAll("trig", fuzzharness::Trig), 0);
  EXPECT_GE(ReplayAll("ttl", fuzzharness::Ttl), 1);
  EXPECT_GE(ReplayAll("dbg", fuzzharness::Dbg), 1);
}

TEST(FuzzRegressions, ATtlTimeBeyondThe32BitMillisecondLineEndsTheReading) {
  testsupport::TempDir dir;
  testsupport::WriteFile(dir / "S01.ttl", "1000000 12\n2000000 3\n5000000000000 7\n3000000 9\n");
  const std::vector<Trigger> triggers = TtlFile::Read(dir / "S01.asc");
  ASSERT_EQ(triggers.size(), 2u);
  EXPECT_EQ(triggers[1].start, 2000u);
  // The last time that still fits is read.
  testsupport::WriteFile(dir / "S01.ttl", "4294967295000 1\n4294967295500 2\n");
  ASSERT_EQ(TtlFile::Read(dir / "S01.asc").size(), 1u);
  EXPECT_EQ(TtlFile::Read(dir / "S01.asc")[0].start, 4294967295u);
}

}  // namespace
