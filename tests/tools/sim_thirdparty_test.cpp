// The simulator's BrainVision files read by an independent reader (MNE-Python), so the format is
// checked by more than the simulator's own idea of it; and the committed example is what the
// simulator writes today.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "support/testsupport.h"
#include "tools/simsupport.h"

using namespace simsupport;
namespace fs = std::filesystem;

namespace {

// Prints, per line: channel count, sample count, then "stim <sample> <description>" per stimulus and
// "seg <sample>" per New Segment, then the largest error of TrueTime against its known function.
const char* const kMneScript = R"PY(
import sys, warnings
import numpy as np
warnings.simplefilter("ignore")
import mne
mne.set_log_level("ERROR")
raw = mne.io.read_raw_brainvision(sys.argv[1], preload=True)
start, per_ms = float(sys.argv[2]), float(sys.argv[3])
print(raw.info["nchan"], raw.n_times)
sf = raw.info["sfreq"]
for a in raw.annotations:
    kind, _, desc = a["description"].partition("/")
    pos = int(round(a["onset"] * sf))
    if kind == "Stimulus":
        print("stim", pos, desc.lstrip("S").strip())
    elif kind == "New Segment":
        print("seg", pos)
    else:
        print("other", pos, desc.replace(" ", "_"))
print("date", raw.info["meas_date"].strftime("%Y%m%d%H%M%S%f"))
seg = sys.argv[4:]
clock = raw.get_data(picks=[raw.info["nchan"] - 1])[0] * 1e6
gap = np.zeros(raw.n_times)
for s in seg:
    file_pos, lost = (int(v) for v in s.split(":"))
    gap[file_pos:] += lost
t = start + (np.arange(raw.n_times) + gap) / per_ms
d = np.abs(clock - np.mod(t, 1600.0))
d = np.minimum(d, 1600.0 - d)
print("clockerror", d.max())
)PY";

TEST(SimThirdParty, MneReadsTheEegFilesAsTheGroundTruthDescribesThem) {
  if (std::system((std::string(TOLMERA_PYTHON) + " -c 'import mne' > /dev/null 2>&1").c_str()) != 0)
    GTEST_SKIP() << "MNE-Python is not installed";
  for (const char* options : {"--format int16 --segments 3", "--format int16 --overflow 2500 --channels 4",
                              "--format float32 --eeg-rate 1000 --pattern adjacent --segments 2"}) {
    // (float64 is left out: this MNE release does not read IEEE_FLOAT_64.)
    testsupport::TempDir dir;
    ASSERT_EQ(RunSim("--out \"" + dir.Path().string() + "\" --duration 40 " + options), 0) << options;
    const Truth truth = LoadTruth(dir / "S01.truth.txt");
    testsupport::WriteFile(dir / "check.py", kMneScript);
    std::string segments;
    for (const TruthSegment& s : truth.segments)
      segments += " " + std::to_string(s.vmrkPosition - 1) + ":" + std::to_string(s.lostBefore);
    char clock[128];
    std::snprintf(clock, sizeof clock, " %.6f %.12f", truth.Number(truth.clock, "eeg_start_ms"),
                  truth.Number(truth.clock, "eeg_samples_per_ms"));
    const std::string out = dir / "mne.txt";
    ASSERT_EQ(std::system((std::string(TOLMERA_PYTHON) + " \"" + (dir / "check.py") + "\" \"" + (dir / "S01.vhdr") +
                           "\"" + clock + segments + " > \"" + out + "\" 2>&1")
                              .c_str()),
              0)
        << testsupport::ReadFile(out);
    const std::vector<std::string> lines = Lines(testsupport::ReadFile(out));
    ASSERT_GE(lines.size(), 3u);
    const std::vector<std::string> head = Tokens(lines[0]);
    EXPECT_EQ(ToInt(head[0]), static_cast<int64_t>(truth.Number(truth.recording, "eeg_channels"))) << options;
    EXPECT_EQ(ToInt(head[1]), static_cast<int64_t>(truth.Number(truth.recording, "eeg_recorded_samples"))) << options;
    std::vector<const TruthTrigger*> kept;
    for (const TruthTrigger& t : truth.triggers)
      if (!t.lost) kept.push_back(&t);
    size_t stim = 0, seg = 0, overflows = 0;
    for (size_t i = 1; i < lines.size(); ++i) {
      const std::vector<std::string> t = Tokens(lines[i]);
      if (t[0] == "stim") {
        ASSERT_LT(stim, kept.size());
        EXPECT_EQ(ToInt(t[1]) + 1, kept[stim]->vmrkPosition) << options;
        EXPECT_EQ(ToInt(t.back()), kept[stim]->code) << options;
        ++stim;
      } else if (t[0] == "seg") {
        ASSERT_LT(seg, truth.segments.size());
        EXPECT_EQ(ToInt(t[1]) + 1, truth.segments[seg++].vmrkPosition) << options;
      } else if (t[0] == "other") {
        EXPECT_EQ(t[2], "Buffer_Overflow") << options;
        ++overflows;
      } else if (t[0] == "date") {
        EXPECT_EQ(t[1], truth.segments[0].date) << options;
      } else if (t[0] == "clockerror") {
        EXPECT_LT(ToDouble(t[1]), 0.051) << options;
      }
    }
    EXPECT_EQ(stim, kept.size()) << options;
    EXPECT_EQ(seg, truth.segments.size()) << options;
    size_t expectedOverflows = 0;
    for (const TruthSegment& s : truth.segments) expectedOverflows += s.kind == "overflow";
    EXPECT_EQ(overflows, expectedOverflows) << options;
  }
}

TEST(SimExample, CommittedExampleIsWhatTheSimulatorWritesToday) {
  // The command is taken from the script that regenerates the example, so the two cannot drift apart.
  const std::string script = testsupport::ReadFile(std::string(TOLMERA_SOURCE_DIR) + "/scripts/make-example.sh");
  const size_t at = script.find("tolmera-sim --out examples");
  ASSERT_NE(at, std::string::npos);
  std::string arguments;
  for (size_t i = at + std::string("tolmera-sim --out examples").size(); i < script.size(); ++i) {
    if (script[i] == '\\' && i + 1 < script.size() && script[i + 1] == '\n') {
      ++i;
      continue;
    }
    if (script[i] == '\n') break;
    arguments += script[i];
  }
  testsupport::TempDir dir;
  ASSERT_EQ(RunSim("--out \"" + dir.Path().string() + "\"" + arguments), 0) << arguments;
  for (const char* name : {"S01.vhdr", "S01.vmrk", "S01.eeg", "S01.asc", "S01.truth.txt"}) {
    const std::string committed = testsupport::ReadFile(std::string(TOLMERA_SOURCE_DIR) + "/examples/" + name);
    EXPECT_FALSE(committed.empty()) << name;
    EXPECT_TRUE(committed == testsupport::ReadFile(dir / name)) << name << " differs: run scripts/make-example.sh";
  }
  EXPECT_LT(fs::file_size(std::string(TOLMERA_SOURCE_DIR) + "/examples/S01.asc"), 4u << 20);
}

}  // namespace
