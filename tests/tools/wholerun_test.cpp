// Whole runs of tolmera on simulator pairs, checked file by file: the merged data, header, marker
// and event files, the alignment of the two streams against the simulator's time-coded channels,
// and the same files read by MNE-Python.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "support/testsupport.h"
#include "tools/sim/mergedrecording.h"
#include "tools/simsupport.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace fs = std::filesystem;
using simcheck::MergedRecording;

namespace {

struct RunResult {
  int exitCode = -1;
  std::string console;
};

RunResult RunTolmera(const std::string& arguments, const std::string& log) {
  const std::string command = std::string("\"") + TOLMERA_BINARY_PATH + "\" " + arguments +
                              " < /dev/null > \"" + log + "\" 2>&1";
  const int status = std::system(command.c_str());
  RunResult run;
#ifdef _WIN32
  run.exitCode = status;
#else
  run.exitCode = status == -1 ? -1 : (WIFEXITED(status) ? WEXITSTATUS(status) : -1);
#endif
  run.console = testsupport::ReadFile(log);
  return run;
}

/// One simulated pair and the tolmera options to run on it.
struct Case {
  std::string label;
  std::string sim;      ///< simulator options besides --out and --name
  std::string options;  ///< tolmera options
  bool towardEeg = false;
  bool exact = true;    ///< trigger edges where samples of both devices coincide
};

/// Makes the pair, runs tolmera, returns the output directory (empty on failure).
std::string MakeAndRun(const testsupport::TempDir& dir, const Case& c, RunResult& run) {
  const std::string in = dir / "in";
  const std::string out = dir / "out";
  fs::create_directories(in);
  EXPECT_EQ(simsupport::RunSim("--out \"" + in + "\" --name S01 " + c.sim, dir / "sim.log"), 0)
      << testsupport::ReadFile(dir / "sim.log");
  run = RunTolmera("\"" + in + "/S01.eeg\" \"" + in + "/S01.asc\" -h \"" + out + "\" " + c.options,
                   dir / "tolmera.log");
  EXPECT_EQ(run.exitCode, 0) << run.console;
  EXPECT_NE(run.console.find("!!! Tolmera END !!!"), std::string::npos) << run.console;
  return run.exitCode == 0 ? out : "";
}

/// The merged set against its inputs, file by file.
void CheckOutputSet(const std::string& in, const std::string& base, const Case& c,
                    MergedRecording& merged) {
  SCOPED_TRACE(base);
  MergedRecording input;
  ASSERT_TRUE(input.Load(in + "/S01")) << input.error;
  ASSERT_TRUE(merged.Load(base)) << merged.error;
  // Header: the EEG channels, then the gaze channels ending with the blink flag.
  ASSERT_GT(merged.names.size(), input.names.size() + 1);
  for (uint64_t ch = 0; ch < input.names.size(); ++ch) EXPECT_EQ(merged.names[ch], input.names[ch]);
  const std::string firstGaze = merged.names[input.names.size()];
  EXPECT_TRUE(firstGaze == "eyeLx" || firstGaze == "eyeRx") << firstGaze;
  EXPECT_EQ(merged.names.back(), "blink");
  EXPECT_EQ(merged.binaryFormat, input.binaryFormat);
  EXPECT_EQ(merged.dataPoints, static_cast<int64_t>(merged.frames));
  EXPECT_GT(merged.frames, 1000u);
  if (c.towardEeg) {
    EXPECT_DOUBLE_EQ(merged.intervalUs, input.intervalUs);
  }
  const std::string header = testsupport::ReadFile(base + ".vhdr");
  EXPECT_NE(header.find("DataFile=" + fs::path(base).filename().string() + ".eeg"), std::string::npos);
  EXPECT_NE(header.find("NumberOfChannels=" + std::to_string(merged.names.size()) + "\r\n"),
            std::string::npos);

  // Markers: the recording's first marker, then the merged ones, starting with the first matched
  // trigger on frame 0 and all inside the data.
  ASSERT_GE(merged.markers.size(), 3u);
  EXPECT_EQ(merged.markers[0].type, input.markers[0].type);
  EXPECT_EQ(merged.markers[1].type, "Stimulus");
  EXPECT_EQ(merged.markers[1].position, 1);
  uint64_t events = 0;
  for (uint64_t m = 1; m < merged.markers.size(); ++m) {
    EXPECT_GE(merged.markers[m].position, 1);
    EXPECT_LE(merged.markers[m].position, static_cast<int64_t>(merged.frames));
    // Beside the triggers and eye events: EEG triggers the tracker missed (a comment says so) and
    // the stretches the merge filled.
    if (merged.markers[m].type != "Stimulus") {
      EXPECT_TRUE(merged.markers[m].type == "Comment" || merged.markers[m].type == "Bad Interval")
          << merged.markers[m].type;
      continue;
    }
    EXPECT_LE(merged.markers[m].position, static_cast<int64_t>(merged.frames));
    // BrainVision's own form: "S" and the code right-aligned in three places ("S  7", "S195"),
    // four digits from 1000 on (the eye events, "S1001").
    const std::string& d = merged.markers[m].description;
    EXPECT_TRUE((d.size() == 4 || (d.size() == 5 && d[1] == '1')) && d[0] == 'S') << d;
    if (d.size() == 5) {
      ++events;
    }
  }
  EXPECT_GT(events, 0u) << "no eye events among the markers";
  EXPECT_TRUE(fs::exists(base + ".eeg.event.txt"));
}

void CheckAlignment(const MergedRecording& merged, const Case& c) {
  // 16-bit gaze carries the time code in whole pixels (2 ms of it).
  const double quantumMs = merged.binaryFormat == "INT_16" ? 2.0 : 0.0;
  const simcheck::Alignment a = simcheck::MeasureAlignment(merged, quantumMs);
  std::printf("[ alignment ] %-34s %s\n", c.label.c_str(), a.Text().c_str());
  testing::Test::RecordProperty("alignment_" + c.label, a.Text());
  ASSERT_GT(a.valid, merged.frames / 2) << a.error;
  if (c.exact) {
    EXPECT_EQ(a.withinBound, 1.0) << "first frame beyond the bound: " << a.firstBad;
  }
  EXPECT_LT(a.meanAbs, 1.0);
}

const std::vector<Case>& Cases() {
  // Exact cases: gaze at 1000 Hz, so an INPUT line's millisecond is a gaze sample, and edges on
  // EEG samples (--coincident). The others keep each device's own rounding of the edge.
  static const std::vector<Case> cases = {
      {"int16 both toward gaze", "--format int16 --eyes both --gaze-rate 1000 --drift 50 --segments 3 --coincident", "", false, true},
      {"float32 left toward EEG", "--format float32 --eyes left --gaze-rate 1000 --drift -50 --segments 2 --coincident", "-e", true, true},
      {"float64 right toward gaze", "--format float64 --eyes right --gaze-rate 1000 --eeg-rate 1000 --drift 50 --segments 4 --overflow 3000 --duration 150 --blocks 4 --coincident", "", false, true},
      {"float32 both toward EEG overflow", "--format float32 --eyes both --velocity --gaze-rate 1000 --eeg-rate 1000 --drift -50 --overflow 2000 --duration 90 --coincident", "-e", true, true},
      {"int16 right toward EEG", "--format int16 --eyes right --gaze-rate 1000 --eeg-rate 500 --drift 30 --segments 2 --coincident", "-e", true, true},
      {"float64 left toward EEG 500 Hz gaze", "--format float64 --eyes left --eeg-rate 1000 --gaze-rate 500 --drift 50 --segments 2", "-e", true, false},
      {"float32 both toward gaze 500 Hz gaze", "--format float32 --eyes both --eeg-rate 1000 --gaze-rate 500 --drift -50 --segments 3 --overflow 1000", "", false, false},
  };
  return cases;
}

/// The runs are made once per test program and shared by the checks below.
struct Made {
  std::unique_ptr<testsupport::TempDir> dir;
  std::string out;
  RunResult run;
};

const Made& Make(const Case& c) {
  static std::map<std::string, Made> made;
  auto it = made.find(c.label);
  if (it == made.end()) {
    Made m;
    m.dir = std::make_unique<testsupport::TempDir>();
    m.out = MakeAndRun(*m.dir, c, m.run);
    it = made.emplace(c.label, std::move(m)).first;
  }
  return it->second;
}

/// MNE's view of a merged recording: JSON from the helper script.
std::string MneRead(const std::string& vhdr, const std::vector<uint64_t>& frames, const std::string& log) {
  std::string command = std::string(TOLMERA_PYTHON) + " \"" + TOLMERA_SOURCE_DIR +
                        "/tests/tools/mne_read.py\" \"" + vhdr + "\"";
  for (uint64_t f : frames) command += " " + std::to_string(f);
  command += " > \"" + log + "\" 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << testsupport::ReadFile(log);
  return testsupport::ReadFile(log);
}

}  // namespace

TEST(WholeRun, SimulatorPairsGiveMergedSetsAlignedWithinOneSample) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.label);
    const Made& m = Make(c);
    ASSERT_FALSE(m.out.empty());
    MergedRecording merged;
    CheckOutputSet(m.dir->Path().string() + "/in", m.out + "/synchro_S01.asc", c, merged);
    CheckAlignment(merged, c);
    EXPECT_NE(m.run.console.find("Alignment errors [samples] for all shared triggers are in: "),
              std::string::npos);
  }
}

TEST(WholeRun, LostFramesAndBlinksCarryTheMissingValuesOfTheSampleType) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.label);
    const Made& m = Make(c);
    ASSERT_FALSE(m.out.empty());
    MergedRecording merged, input;
    ASSERT_TRUE(merged.Load(m.out + "/synchro_S01.asc")) << merged.error;
    ASSERT_TRUE(input.Load(m.dir->Path().string() + "/in/S01")) << input.error;
    const int eegChannels = static_cast<int>(input.names.size());
    const int firstGaze = eegChannels;
    uint64_t eegMissing = 0, gazeMissing = 0;
    const std::string raw = testsupport::ReadFile(m.out + "/synchro_S01.asc.eeg");
    for (uint64_t f = 0; f < merged.frames; ++f) {
      // An inserted EEG frame is missing on every EEG channel at once.
      int missing = 0;
      for (int ch = 0; ch < eegChannels; ++ch) missing += merged.Missing(f, ch) ? 1 : 0;
      EXPECT_TRUE(missing == 0 || missing == eegChannels) << "frame " << f;
      if (missing == eegChannels) ++eegMissing;
      // Missing gaze is -2000 in 16 bits, NaN (as the EEG's) in floating files.
      const double gazeValue = merged.At(f, firstGaze);
      if (merged.binaryFormat == "INT_16" ? gazeValue == -2000.0 : std::isnan(gazeValue)) ++gazeMissing;
      if (merged.binaryFormat != "INT_16") {
        EXPECT_NE(gazeValue, -2000.0) << "frame " << f;
      }
    }
    EXPECT_GT(gazeMissing, 0u) << "blinks leave no missing gaze";
    if (c.sim.find("--segments 1 ") == std::string::npos && c.sim.find("--segments") != std::string::npos) {
      EXPECT_GT(eegMissing, 0u) << "the frames lost between segments are not marked";
    }
    // The EEG missing value by type: -32768 for 16 bits, the NaN of all bits set for floats.
    if (eegMissing > 0 && merged.binaryFormat != "INT_16") {
      for (uint64_t f = 0; f < merged.frames; ++f) {
        if (!merged.Missing(f, 0)) continue;
        const uint64_t width = merged.binaryFormat == "IEEE_FLOAT_32" ? 4 : 8;
        const std::string bytes = raw.substr(f * merged.names.size() * width, width);
        EXPECT_EQ(bytes, std::string(width, '\xff'));
        break;
      }
    }
  }
}

TEST(WholeRun, WithoutDriftSetIsWrittenBesideTheDriftCorrectedOne) {
  const Case c = {"float32 -N", "--format float32 --eyes both --gaze-rate 1000 --drift 50 --segments 2 --coincident",
                  "-N", false, true};
  const Made& m = Make(c);
  ASSERT_FALSE(m.out.empty());
  EXPECT_NE(m.run.console.find("  No drift correction        : result files begin with \"synchrono\" string"),
            std::string::npos);
  MergedRecording drift, noDrift;
  CheckOutputSet(m.dir->Path().string() + "/in", m.out + "/synchro_S01.asc", c, drift);
  CheckOutputSet(m.dir->Path().string() + "/in", m.out + "/synchrono_S01.asc", c, noDrift);
  EXPECT_EQ(noDrift.frames, drift.frames);
  EXPECT_NE(testsupport::ReadFile(m.out + "/synchro_S01.asc.eeg"),
            testsupport::ReadFile(m.out + "/synchrono_S01.asc.eeg"));
  const simcheck::Alignment a = simcheck::MeasureAlignment(drift, 0.0);
  const simcheck::Alignment b = simcheck::MeasureAlignment(noDrift, 0.0);
  std::printf("[ alignment ] %-34s %s\n", "drift corrected", a.Text().c_str());
  std::printf("[ alignment ] %-34s %s\n", "without drift (-N)", b.Text().c_str());
  EXPECT_EQ(a.withinOne, 1.0);
  // 50 ppm over a minute is 3 ms: the uncorrected set drifts visibly.
  EXPECT_GT(b.largest, a.largest + 1.0);
}

TEST(WholeRun, MneReadsEveryMergedRecordingAsWritten) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.label);
    const Made& m = Make(c);
    ASSERT_FALSE(m.out.empty());
    MergedRecording merged;
    ASSERT_TRUE(merged.Load(m.out + "/synchro_S01.asc")) << merged.error;
    if (merged.binaryFormat == "IEEE_FLOAT_64") continue;  // MNE 1.3 reads 16-bit and float32 only
    const std::vector<uint64_t> frames = {0, merged.frames / 2, merged.frames - 1};
    const std::string json = MneRead(m.out + "/synchro_S01.asc.vhdr", frames, m.dir->Path().string() + "/mne.json");
    // Names, rate and length as written.
    std::string names = "\"ch_names\": [";
    for (uint64_t ch = 0; ch < merged.names.size(); ++ch) names += (ch ? ", \"" : "\"") + merged.names[ch] + "\"";
    EXPECT_NE(json.find(names + "]"), std::string::npos) << json.substr(0, 400);
    char rate[64];
    std::snprintf(rate, sizeof rate, "\"sfreq\": %.1f,", 1e6 / merged.intervalUs);
    EXPECT_NE(json.find(rate), std::string::npos) << json.substr(0, 400);
    EXPECT_NE(json.find("\"n_times\": " + std::to_string(merged.frames) + ","), std::string::npos);
    // Values of a few frames, in stored units, against the file's own bytes.
    for (uint64_t f : frames) {
      const auto at = json.find("\"" + std::to_string(f) + "\": [");
      ASSERT_NE(at, std::string::npos);
      std::istringstream values(json.substr(json.find('[', at) + 1));
      for (uint64_t ch = 0; ch < merged.names.size(); ++ch) {
        std::string token;
        std::getline(values, token, ch + 1 < merged.names.size() ? ',' : ']');
        const double expected = merged.At(f, static_cast<int>(ch));
        if (std::isnan(expected)) {
          EXPECT_NE(token.find("NaN"), std::string::npos) << f << " " << ch;
        } else {
          EXPECT_NEAR(std::stod(token), expected, 1e-6 * std::max(1.0, std::fabs(expected))) << f << " " << ch;
        }
      }
    }
    // Every marker as an annotation: "Stimulus/S   7" at its 0-based sample.
    uint64_t annotations = 0;
    const auto ids = json.find("\"event_ids\"");
    for (auto at = json.find("\"annotations\""); (at = json.find("\"Stimulus/", at + 1)) < ids;) ++annotations;
    uint64_t stimuli = 0;
    for (const auto& mk : merged.markers) stimuli += mk.type == "Stimulus" ? 1 : 0;
    EXPECT_EQ(annotations, stimuli);
    const auto& second = merged.markers[1];
    EXPECT_NE(json.find("[" + std::to_string(second.position - 1) + ", \"Stimulus/" + second.description + "\"]"),
              std::string::npos);
    // MNE names a trigger by its own code, so that an event_id made for the raw recording fits.
    for (const auto& mk : merged.markers) {
      if (mk.type != "Stimulus" || mk.description.size() != 4) continue;
      const int code = std::stoi(mk.description.substr(1));
      const std::string id = "\"Stimulus/" + mk.description + "\": " + std::to_string(code);
      const auto at = json.find(id, ids);
      ASSERT_NE(at, std::string::npos) << mk.description << " " << json.substr(ids, 300);
      EXPECT_TRUE(json[at + id.size()] == ',' || json[at + id.size()] == '}') << json.substr(at, 40);
      break;
    }
  }
}
