// The markers of merged recordings against the simulator's ground truth: every EEG marker inside
// the window where the EEG registered it, the stretches the merge filled as bad intervals, the
// start date of the first frame and NaN for missing gaze (checked by tests/tools/
// check_merged_markers.py through MNE-Python), and eye events with their recorded durations.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/testsupport.h"
#include "tools/simsupport.h"

namespace fs = std::filesystem;

namespace {

bool HaveMne() {
  return std::system((std::string(TOLMERA_PYTHON) + " -c 'import mne' > /dev/null 2>&1").c_str()) == 0;
}

int Shell(const std::string& command, const std::string& log) {
  return std::system((command + " < /dev/null > \"" + log + "\" 2>&1").c_str());
}

std::string Script() { return std::string("\"") + TOLMERA_SOURCE_DIR + "/tests/tools/check_merged_markers.py\""; }

/// Makes the pair (with the markers the simulator never writes added), merges it, returns the
/// output directory or an empty string.
std::string MakeAndMerge(const testsupport::TempDir& dir, const std::string& sim, const std::string& options) {
  const std::string in = dir / "in";
  fs::create_directories(in);
  EXPECT_EQ(simsupport::RunSim("--out \"" + in + "\" --name S01 " + sim, dir / "sim.log"), 0)
      << testsupport::ReadFile(dir / "sim.log");
  EXPECT_EQ(Shell(std::string(TOLMERA_PYTHON) + " " + Script() + " prepare \"" + in + "\"", dir / "prepare.log"), 0)
      << testsupport::ReadFile(dir / "prepare.log");
  const int status = Shell(std::string("\"") + TOLMERA_BINARY_PATH + "\" \"" + in + "/S01.eeg\" \"" + in +
                               "/S01.asc\" -h \"" + (dir / "out") + "\" " + options,
                           dir / "tolmera.log");
  EXPECT_EQ(status, 0) << testsupport::ReadFile(dir / "tolmera.log");
  return status == 0 ? dir / "out" : "";
}

}  // namespace

TEST(MergedMarkers, EveryEegMarkerBadIntervalStartDateAndMissingGazeMatchTheTruth) {
  if (!HaveMne()) GTEST_SKIP() << "MNE-Python is not installed";
  struct Case {
    std::string sim, options;
    bool towardEeg;
  };
  // Pauses, a buffer overflow, tracker blocks, an EEG that starts late and triggers one device
  // missed or registered twice, in every sample type, both directions and three gaze rates.
  const std::vector<Case> cases = {
      {"--format float32 --gaze-rate 1000 --eeg-rate 1000 --segments 3 --overflow 1000 --blocks 3 "
       "--eeg-start-late 2 --outliers 3 --duration 90 --seed 2", "-e -N -1", true},
      {"--format float32 --gaze-rate 1000 --eeg-rate 1000 --segments 3 --overflow 1000 --blocks 3 "
       "--eeg-start-late 2 --outliers 3 --duration 90 --seed 2", "", false},
      {"--format int16 --gaze-rate 250 --eeg-rate 500 --segments 2 --overflow 800 --overflow-at 40 --blocks 3 "
       "--eeg-start-late 1 --outliers 4 --duration 120 --seed 3", "-e", true},
      {"--format float64 --gaze-rate 500 --eeg-rate 1000 --segments 3 --blocks 4 --outliers 2 --duration 90 --seed 4",
       "", false},
      {"--format float32 --gaze-rate 500 --eeg-rate 1000 --segments 2 --blocks 2 --outliers 4 --duration 90 "
       "--seed 5 --tracker-grid", "-e", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sim + " / " + c.options);
    testsupport::TempDir dir;
    const std::string out = MakeAndMerge(dir, c.sim, c.options);
    ASSERT_FALSE(out.empty());
    // With -N the set without drift correction is checked too (with -1: eye events with lengths).
    for (const std::string set : {"synchro", "synchrono"}) {
      if (set == "synchrono" && c.options.find("-N") == std::string::npos) continue;
      EXPECT_EQ(Shell(std::string(TOLMERA_PYTHON) + " " + Script() + " check \"" + (dir / "in") + "\" \"" + out + "/" +
                          set + "_S01.asc\" " + (c.towardEeg ? "1" : "0"),
                      dir / "check.log"),
                0)
          << set << ": " << testsupport::ReadFile(dir / "check.log");
    }
  }
}

TEST(MergedMarkers, EyeEventsKeepTheirRecordedDurationWithOption1) {
  // Blinks of the merged markers, in order, are a run of the tracker's EBLINK lines of that eye,
  // each as long as the line's duration (toward the gaze at 1000 Hz, a sample is a millisecond).
  for (const int seed : {1, 7}) {
    SCOPED_TRACE(seed);
    testsupport::TempDir dir;
    const std::string in = dir / "in";
    fs::create_directories(in);
    ASSERT_EQ(simsupport::RunSim("--out \"" + in + "\" --name S01 --gaze-rate 1000 --false-blinks 0 --blink-interval 1500 --seed " +
                                     std::to_string(seed),
                                 dir / "sim.log"),
              0);
    ASSERT_EQ(Shell(std::string("\"") + TOLMERA_BINARY_PATH + "\" \"" + in + "/S01.eeg\" \"" + in + "/S01.asc\" -h \"" +
                        (dir / "out") + "\" -1",
                    dir / "tolmera.log"),
              0)
        << testsupport::ReadFile(dir / "tolmera.log");
    std::vector<int64_t> recorded, merged;
    for (const std::string& line : simsupport::Lines(testsupport::ReadFile(in + "/S01.asc"))) {
      const std::vector<std::string> t = simsupport::Tokens(line);
      if (t.size() == 5 && t[0] == "EBLINK" && t[1] == "L") recorded.push_back(simsupport::ToInt(t[4]));
    }
    for (const std::string& line : simsupport::Lines(testsupport::ReadFile(dir / "out/synchro_S01.asc.vmrk"))) {
      const std::vector<std::string> f = simsupport::Fields(line, ',');
      if (f.size() >= 4 && f[0].ends_with("=Stimulus") && f[1] == "S1020") merged.push_back(simsupport::ToInt(f[3]));
    }
    ASSERT_GE(merged.size(), 10u);
    // The last one may run past the merged recording's end, which cuts it.
    const int64_t last = merged.back();
    merged.pop_back();
    bool found = false;
    for (size_t k = 0; k + merged.size() < recorded.size() && !found; ++k) {
      found = std::equal(merged.begin(), merged.end(), recorded.begin() + static_cast<std::ptrdiff_t>(k)) &&
              last <= recorded[k + merged.size()] && last > 0;
    }
    EXPECT_TRUE(found) << "first merged blink lengths " << merged[0] << " " << merged[1] << " " << merged[2];
  }
}

TEST(MergedMarkers, TriggerCodesAmongTheEyeEventCodesAreNamedAndKeepATriggersName) {
  // One trigger sent as 1000 by both devices (real exports write "s1000"): the console names the
  // code, the merged markers carry it, and the event list does not call it an eye event.
  testsupport::TempDir dir;
  const std::string in = dir / "in";
  fs::create_directories(in);
  ASSERT_EQ(simsupport::RunSim("--out \"" + in + "\" --name S01 --gaze-rate 1000 --seed 3", dir / "sim.log"), 0);
  const simsupport::Truth truth = simsupport::LoadTruth(in + "/S01.truth.txt");
  ASSERT_GT(truth.triggers.size(), 20u);
  const simsupport::TruthTrigger& chosen = truth.triggers[truth.triggers.size() / 2];
  std::string vmrk = testsupport::ReadFile(in + "/S01.vmrk");
  char old[32];
  std::snprintf(old, sizeof old, "Stimulus,S%3d,%lld,", chosen.code, static_cast<long long>(chosen.vmrkPosition));
  const size_t at = vmrk.find(old);
  ASSERT_NE(at, std::string::npos) << old;
  vmrk.replace(at, 13, "Stimulus,s1000");
  testsupport::WriteFile(in + "/S01.vmrk", vmrk);
  std::string asc = testsupport::ReadFile(in + "/S01.asc");
  const std::string input = "INPUT\t" + std::to_string(chosen.etTimestamp) + "\t" + std::to_string(chosen.code) + "\n";
  const size_t line = asc.find(input);
  ASSERT_NE(line, std::string::npos) << input;
  asc.replace(line, input.size(), "INPUT\t" + std::to_string(chosen.etTimestamp) + "\t1000\n");
  testsupport::WriteFile(in + "/S01.asc", asc);

  ASSERT_EQ(Shell(std::string("\"") + TOLMERA_BINARY_PATH + "\" \"" + in + "/S01.eeg\" \"" + in + "/S01.asc\" -h \"" +
                      (dir / "out") + "\" -e",
                  dir / "tolmera.log"),
            0)
      << testsupport::ReadFile(dir / "tolmera.log");
  const std::string console = testsupport::ReadFile(dir / "tolmera.log");
  EXPECT_NE(console.find("trigger code(s) 1000 lie in the range of the eye events"), std::string::npos) << console;
  EXPECT_NE(testsupport::ReadFile(dir / "out/synchro_S01.asc.vmrk").find("=Stimulus,s1000,"), std::string::npos);
  bool listed = false;
  for (const std::string& row : simsupport::Lines(testsupport::ReadFile(dir / "out/synchro_S01.asc.eeg.event.txt"))) {
    const std::vector<std::string> t = simsupport::Tokens(row);
    if (t.empty() || t[0] != "1000") continue;
    listed = true;
    EXPECT_EQ(row.find("displayable"), std::string::npos) << row;
  }
  EXPECT_TRUE(listed);
}
