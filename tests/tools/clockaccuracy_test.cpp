// The fitted clock model against the simulator's ground truth, on sessions as imperfect as real
// ones: segment dates off by up to 3 ms, trackers stamping triggers to the ms or on their own sample
// grid, buffer overflows, every gaze rate, both EEG rates and sample types, both directions.

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "support/testsupport.h"
#include "tools/sim/mergedrecording.h"
#include "tools/sim/truthfile.h"
#include "tools/simsupport.h"

namespace {

/// The samples the merged set inserted before each segment, from its "GlobalError.txt".
std::vector<int64_t> InsertedBefore(const std::string& logFile) {
  std::istringstream in(testsupport::ReadFile(logFile));
  std::string line;
  while (std::getline(in, line) && line.rfind("samplesInsertedBefore", 0) != 0) {
  }
  std::vector<int64_t> values;
  if (std::getline(in, line)) {
    std::istringstream row(line);
    for (int64_t v; row >> v;) values.push_back(v);
  }
  return values;
}

/// A simulated pair in dir/in: the lost samples before each of its segments, as the truth has them.
std::vector<int64_t> MakePair(const testsupport::TempDir& dir, const std::string& options) {
  const std::string in = dir / "in";
  EXPECT_EQ(simsupport::RunSim("--out \"" + in + "\" --name S " + options), 0) << options;
  simcheck::Truth truth;
  std::string error;
  EXPECT_TRUE(simcheck::ReadTruth(in + "/S.truth.txt", truth, error)) << error;
  std::vector<int64_t> lost;
  for (const simcheck::TruthSegment& s : truth.segments) lost.push_back(s.lostBefore);
  return lost;
}

/// Runs tolmera on the pair with the options into dir/<name>, checks that every segment received
/// exactly the samples it lost, and returns the merged set's alignment (quantumMs as for
/// MeasureAlignment); log: the console, for messages.
simcheck::Alignment RunAndMeasure(const testsupport::TempDir& dir, const std::string& name, const std::string& options,
                                  const std::vector<int64_t>& lost, double quantumMs, std::string& log,
                                  std::string* format = nullptr, double* samplesPerMs = nullptr) {
  const std::string in = dir / "in";
  const std::string out = dir / name;
  const std::string command = std::string("\"") + TOLMERA_BINARY_PATH + "\" \"" + in + "/S.eeg\" \"" + in +
                              "/S.asc\" -h \"" + out + "\" " + options + " < /dev/null > \"" + (dir / "run.log") + "\" 2>&1";
  const int status = std::system(command.c_str());
  log = testsupport::ReadFile(dir / "run.log");
  simcheck::Alignment a;
  EXPECT_EQ(status, 0) << log;
  if (status != 0) return a;
  // The log lists every segment from the first with triggers on; all of these have some.
  EXPECT_EQ(InsertedBefore(out + "/log/GlobalError.txt"), lost);
  simcheck::MergedRecording merged;
  EXPECT_TRUE(merged.Load(out + "/synchro_S.asc")) << merged.error;
  if (format) *format = merged.binaryFormat;
  if (samplesPerMs) *samplesPerMs = 1000.0 / merged.intervalUs;
  // 16-bit gaze carries the time code in whole pixels (2 ms of it).
  a = simcheck::MeasureAlignment(merged, quantumMs + (merged.binaryFormat == "INT_16" ? 2.0 : 0.0));
  EXPECT_TRUE(a.error.empty()) << a.error;
  EXPECT_GT(a.valid, merged.frames / 2);
  return a;
}

}  // namespace

TEST(ClockAccuracy, EverySegmentAtItsTrueSampleAndEveryFrameWithinOneOutputSample) {
  const char* const kCases[] = {
      "--seed 11 --duration 300 --segments 4 --gaze-rate 250 --eeg-rate 1000 --format float32 --eyes left --tracker-grid",
      "--seed 12 --duration 300 --segments 3 --gaze-rate 500 --eeg-rate 500 --format int16 --eyes both --overflow 900",
      "--seed 13 --duration 240 --segments 5 --gaze-rate 1000 --eeg-rate 1000 --format float64 --eyes right --drift -45",
      "--seed 14 --duration 300 --segments 3 --gaze-rate 500 --eeg-rate 1000 --format float32 --eyes right --tracker-grid "
      "--overflow 1500 --drift 40",
      "--seed 15 --duration 300 --segments 2 --gaze-rate 250 --eeg-rate 500 --format float64 --eyes both --drift -20",
      "--seed 16 --duration 300 --segments 4 --gaze-rate 1000 --eeg-rate 500 --format int16 --eyes left --outliers 3",
  };
  for (const char* options : kCases) {
    testsupport::TempDir dir;
    const std::vector<int64_t> lost = MakePair(dir, std::string("--date-error 3 ") + options);
    for (const std::string direction : {"", "-e"}) {
      SCOPED_TRACE(std::string(options) + " " + direction);
      std::string log, format;
      double samplesPerMs = 0.0;
      const simcheck::Alignment a = RunAndMeasure(dir, "out" + direction, direction, lost, 0.0, log, &format, &samplesPerMs);
      EXPECT_EQ(a.withinBound, 1.0) << a.Text();
      // The whole pixels of 16-bit gaze truncate the time code by 1 ms on average.
      EXPECT_LT(a.meanAbs, 0.3 + (format == "INT_16" ? samplesPerMs : 0.0)) << a.Text();
    }
  }
}

TEST(ClockAccuracy, TwoThousandHertzInBothTimestampStylesMergesWithinOneOutputSample) {
  // EDF2ASC writes the second sample of each millisecond with the same whole timestamp, or with a
  // ".5" fraction: both must land on the same half-millisecond grid.
  const char* const kCases[] = {
      "--seed 21 --duration 200 --segments 3 --gaze-rate 2000 --eeg-rate 1000 --format float32 --eyes right",
      "--seed 22 --duration 200 --segments 2 --gaze-rate 2000 --eeg-rate 500 --format float64 --eyes both "
      "--half-ms-timestamps --drift 30",
      "--seed 23 --duration 200 --segments 3 --gaze-rate 2000 --eeg-rate 1000 --format float32 --eyes left "
      "--tracker-grid --overflow 900 --half-ms-timestamps",
  };
  for (const char* options : kCases) {
    testsupport::TempDir dir;
    const std::vector<int64_t> lost = MakePair(dir, std::string("--date-error 3 ") + options);
    for (const std::string direction : {"", "-e"}) {
      SCOPED_TRACE(std::string(options) + " " + direction);
      std::string log;
      double samplesPerMs = 0.0;
      const simcheck::Alignment a = RunAndMeasure(dir, "out" + direction, direction, lost, 0.0, log, nullptr, &samplesPerMs);
      // Toward the gaze the output runs at the tracker's 2000 Hz.
      EXPECT_EQ(samplesPerMs, direction.empty() ? 2.0 : samplesPerMs) << log;
      EXPECT_EQ(a.withinBound, 1.0) << a.Text();
      EXPECT_LT(a.meanAbs, 0.3) << a.Text();
      EXPECT_EQ(log.find("WARNING: "), std::string::npos) << log;
    }
  }
}

TEST(ClockAccuracy, FewCodeSessionsWithLateStartsAndEarlyStopsMergeCorrectly) {
  // One code or four for every trigger: the codes pair trial k with trial k + 5 where one device
  // started five triggers late; the timing must decide, with the classic tie-break (-L) too.
  const char* const kCases[] = {
      "--seed 21 --code-max 1 --eeg-start-late 5 --segments 3",
      "--seed 22 --code-max 1 --tracker-start-late 6 --eeg-stop-early 3",
      "--seed 23 --code-max 4 --pattern repeat --repeat-cycle 4 --tracker-stop-early 4 --eeg-start-late 2 --segments 2",
      "--seed 24 --code-max 2 --eeg-stop-early 5 --tracker-start-late 3 --segments 4 --gaze-rate 1000",
  };
  for (const char* options : kCases) {
    testsupport::TempDir dir;
    const std::vector<int64_t> lost =
        MakePair(dir, std::string("--duration 240 --date-error 2 --format float32 ") + options);
    for (const std::string tieBreak : {"", "-L"}) {
      SCOPED_TRACE(std::string(options) + " " + tieBreak);
      std::string log;
      const simcheck::Alignment a = RunAndMeasure(dir, "out" + tieBreak, tieBreak, lost, 0.0, log);
      EXPECT_EQ(a.withinBound, 1.0) << a.Text();
      // With one code the codes cannot but pair the lists from their starts.
      if (std::string(options).find("--code-max 1 ") != std::string::npos) {
        EXPECT_NE(log.find("Trigger timing decided the pairing"), std::string::npos);
      }
    }
  }
}

TEST(ClockAccuracy, MessageTriggersAloneSynchroniseWithinTheirJitter) {
  // The tracker has no trigger INPUT lines; its messages carry the codes, a network latency of up
  // to the jitter late, some with EyeLink's offset field, among messages that carry no code.
  struct Case {
    const char* options;
    double jitterMs;
  };
  for (const Case& c : {Case{"--seed 31 --gaze-rate 500 --eeg-rate 1000 --segments 3 --message-jitter 1", 1.0},
                        Case{"--seed 32 --gaze-rate 250 --eeg-rate 500 --segments 2 --message-offset --message-jitter 2 "
                             "--message-noise 5 --overflow 1000", 2.0}}) {
    testsupport::TempDir dir;
    const std::vector<int64_t> lost = MakePair(
        dir, std::string("--duration 300 --date-error 2 --format float32 --no-input --message-triggers \"trigger:\" ") +
                 c.options);
    for (const std::string direction : {"", "-e"}) {
      SCOPED_TRACE(std::string(c.options) + " " + direction);
      std::string log;
      const simcheck::Alignment a =
          RunAndMeasure(dir, "out" + direction, "-M \"trigger:\" " + direction, lost, c.jitterMs, log);
      EXPECT_EQ(a.withinBound, 1.0) << a.Text();
    }
  }
}

TEST(ClockAccuracy, BufferOverflowStretchIsFoundByTimeWhateverTheCodes) {
  // A short cycle of codes matches the code patterns around the overflow everywhere, and an EEG that
  // starts late puts the overflow beyond their reach: the dated gap must decide, and exactly the
  // tracker triggers sent while the EEG lost its samples go.
  const char* const kCases[] = {
      "--seed 1 --pattern repeat --repeat-cycle 3",  "--seed 2 --pattern repeat --repeat-cycle 3",
      "--seed 3 --pattern repeat --repeat-cycle 3",  "--seed 4 --pattern repeat --repeat-cycle 3",
      "--seed 5 --pattern repeat --repeat-cycle 3",  "--seed 6 --pattern repeat --repeat-cycle 3",
      "--seed 7 --eeg-start-late 14",                "--seed 8 --eeg-start-late 14 --date-error 3 --gaze-rate 250",
      "--seed 9 --pattern repeat --repeat-cycle 2 --tracker-start-late 5 --date-error 3 --eeg-rate 1000",
  };
  for (const char* options : kCases) {
    SCOPED_TRACE(options);
    testsupport::TempDir dir;
    const std::vector<int64_t> lost = MakePair(
        dir, std::string("--duration 120 --trigger-interval 700 --overflow 2000 --format float32 --no-eye-events ") +
                 options);
    simcheck::Truth truth;
    std::string error;
    ASSERT_TRUE(simcheck::ReadTruth(dir / "in/S.truth.txt", truth, error)) << error;
    const simcheck::TruthSegment* overflow = nullptr;
    for (const simcheck::TruthSegment& s : truth.segments) {
      if (s.kind == "overflow") overflow = &s;
    }
    ASSERT_NE(overflow, nullptr);
    uint64_t inGap = 0;
    for (const simcheck::TruthTrigger& t : truth.triggers) {
      inGap += t.lost && t.etRecorded && t.gapFilledPosition > overflow->gapFilledPosition - overflow->lostBefore - 1 &&
               t.gapFilledPosition <= overflow->gapFilledPosition;
    }
    ASSERT_GT(inGap, 0u);
    for (const std::string direction : {"", "-e"}) {
      std::string log;
      const simcheck::Alignment a = RunAndMeasure(dir, "out" + direction, direction, lost, 0.0, log);
      EXPECT_EQ(a.withinBound, 1.0) << a.Text();
      EXPECT_NE(log.find("Eye stream corrected. Triggers removed: " + std::to_string(inGap) + "\n"), std::string::npos)
          << log;
      EXPECT_EQ(log.find("Could not apply"), std::string::npos) << log;
    }
  }
}
