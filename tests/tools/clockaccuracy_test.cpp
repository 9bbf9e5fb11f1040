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
    const std::string in = dir / "in";
    ASSERT_EQ(simsupport::RunSim("--out \"" + in + "\" --name S --date-error 3 " + options), 0) << options;
    simcheck::Truth truth;
    std::string error;
    ASSERT_TRUE(simcheck::ReadTruth(in + "/S.truth.txt", truth, error)) << error;
    std::vector<int64_t> lost;
    for (const simcheck::TruthSegment& s : truth.segments) lost.push_back(s.lostBefore);
    for (const std::string direction : {"", "-e"}) {
      SCOPED_TRACE(std::string(options) + " " + direction);
      const std::string out = dir / ("out" + direction);
      const std::string command = std::string("\"") + TOLMERA_BINARY_PATH + "\" \"" + in + "/S.eeg\" \"" + in +
                                  "/S.asc\" -h \"" + out + "\" " + direction + " < /dev/null > \"" + (dir / "run.log") +
                                  "\" 2>&1";
      ASSERT_EQ(std::system(command.c_str()), 0) << testsupport::ReadFile(dir / "run.log");
      // The log lists every segment from the first with triggers on; all of these have some.
      EXPECT_EQ(InsertedBefore(out + "/log/GlobalError.txt"), lost);
      simcheck::MergedRecording merged;
      ASSERT_TRUE(merged.Load(out + "/synchro_S.asc")) << merged.error;
      // 16-bit gaze carries the time code in whole pixels (2 ms of it).
      const simcheck::Alignment a = simcheck::MeasureAlignment(merged, merged.binaryFormat == "INT_16" ? 2.0 : 0.0);
      ASSERT_TRUE(a.error.empty()) << a.error;
      EXPECT_GT(a.valid, merged.frames / 2);
      EXPECT_EQ(a.withinBound, 1.0) << a.Text();
      // The whole pixels of 16-bit gaze truncate the time code by 1 ms on average.
      const double truncation = merged.binaryFormat == "INT_16" ? 1000.0 / merged.intervalUs : 0.0;
      EXPECT_LT(a.meanAbs, 0.3 + truncation) << a.Text();
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
    const std::string in = dir / "in";
    ASSERT_EQ(simsupport::RunSim("--out \"" + in + "\" --name S --duration 240 --date-error 2 --format float32 " +
                                 options), 0) << options;
    simcheck::Truth truth;
    std::string error;
    ASSERT_TRUE(simcheck::ReadTruth(in + "/S.truth.txt", truth, error)) << error;
    std::vector<int64_t> lost;
    for (const simcheck::TruthSegment& s : truth.segments) lost.push_back(s.lostBefore);
    for (const std::string tieBreak : {"", "-L"}) {
      SCOPED_TRACE(std::string(options) + " " + tieBreak);
      const std::string out = dir / ("out" + tieBreak);
      const std::string log = dir / "run.log";
      const std::string command = std::string("\"") + TOLMERA_BINARY_PATH + "\" \"" + in + "/S.eeg\" \"" + in +
                                  "/S.asc\" -h \"" + out + "\" " + tieBreak + " < /dev/null > \"" + log + "\" 2>&1";
      ASSERT_EQ(std::system(command.c_str()), 0) << testsupport::ReadFile(log);
      // With one code the codes cannot but pair the lists from their starts.
      if (std::string(options).find("--code-max 1 ") != std::string::npos) {
        EXPECT_NE(testsupport::ReadFile(log).find("Trigger timing decided the pairing"), std::string::npos);
      }
      EXPECT_EQ(InsertedBefore(out + "/log/GlobalError.txt"), lost);
      simcheck::MergedRecording merged;
      ASSERT_TRUE(merged.Load(out + "/synchro_S.asc")) << merged.error;
      const simcheck::Alignment a = simcheck::MeasureAlignment(merged, 0.0);
      EXPECT_EQ(a.withinBound, 1.0) << a.Text();
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
    const std::string in = dir / "in";
    ASSERT_EQ(simsupport::RunSim("--out \"" + in + "\" --name S --duration 300 --date-error 2 --format float32 "
                                 "--no-input --message-triggers \"trigger:\" " + c.options), 0) << c.options;
    simcheck::Truth truth;
    std::string error;
    ASSERT_TRUE(simcheck::ReadTruth(in + "/S.truth.txt", truth, error)) << error;
    std::vector<int64_t> lost;
    for (const simcheck::TruthSegment& s : truth.segments) lost.push_back(s.lostBefore);
    for (const std::string direction : {"", "-e"}) {
      SCOPED_TRACE(std::string(c.options) + " " + direction);
      const std::string out = dir / ("out" + direction);
      const std::string log = dir / "run.log";
      const std::string command = std::string("\"") + TOLMERA_BINARY_PATH + "\" \"" + in + "/S.eeg\" \"" + in +
                                  "/S.asc\" -M \"trigger:\" -h \"" + out + "\" " + direction + " < /dev/null > \"" +
                                  log + "\" 2>&1";
      ASSERT_EQ(std::system(command.c_str()), 0) << testsupport::ReadFile(log);
      EXPECT_EQ(InsertedBefore(out + "/log/GlobalError.txt"), lost);
      simcheck::MergedRecording merged;
      ASSERT_TRUE(merged.Load(out + "/synchro_S.asc")) << merged.error;
      const simcheck::Alignment a = simcheck::MeasureAlignment(merged, c.jitterMs);
      EXPECT_EQ(a.withinBound, 1.0) << a.Text();
    }
  }
}
