// The simulator's imperfection knobs, each over several seeds: what the written files show against
// the ground truth, and against the same session made without the knob.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <set>

#include "support/testsupport.h"
#include "tools/simsupport.h"

using namespace simsupport;

namespace {

struct Marker {
  std::string type, description;
  int64_t position = 0;
  std::string date;
};

std::vector<Marker> ReadVmrk(const std::string& path) {
  std::vector<Marker> out;
  for (const std::string& line : Lines(testsupport::ReadFile(path))) {
    if (!line.starts_with("Mk")) continue;
    const std::vector<std::string> f = Fields(line.substr(line.find('=') + 1), ',');
    out.push_back({f[0], f[1], ToInt(f[2]), f.size() > 5 ? f[5] : ""});
  }
  return out;
}

/// (position, code) of every Stimulus marker, in file order.
/// (position, code) of every Stimulus marker, sorted.
std::vector<std::pair<int64_t, int>> Stimuli(const std::string& vmrk) {
  std::vector<std::pair<int64_t, int>> out;
  for (const Marker& m : ReadVmrk(vmrk))
    if (m.type == "Stimulus") out.emplace_back(m.position, static_cast<int>(ToInt(Tokens(m.description.substr(1))[0])));
  std::sort(out.begin(), out.end());
  return out;
}

struct Asc {
  std::vector<std::pair<int64_t, int>> inputs;  ///< every INPUT line: timestamp, value
  std::vector<int64_t> sampleStamps;            ///< sorted
  std::vector<int64_t> starts;                  ///< START timestamps
};

Asc ReadAsc(const std::string& path) {
  Asc asc;
  for (const std::string& line : Lines(testsupport::ReadFile(path))) {
    const std::vector<std::string> t = Tokens(line);
    if (t.empty()) continue;
    if (t[0] == "INPUT") asc.inputs.emplace_back(ToInt(t[1]), static_cast<int>(ToInt(t[2])));
    if (t[0] == "START") asc.starts.push_back(ToInt(t[1]));
    if (std::isdigit(static_cast<unsigned char>(t[0][0]))) asc.sampleStamps.push_back(ToInt(t[0]));
  }
  return asc;
}

/// (timestamp, code) of every INPUT line with a code, sorted.
std::vector<std::pair<int64_t, int>> CodeInputs(const Asc& asc) {
  std::vector<std::pair<int64_t, int>> out;
  for (const auto& in : asc.inputs)
    if (in.second != 0) out.push_back(in);
  std::sort(out.begin(), out.end());
  return out;
}

/// Microseconds since the month's start of a 20-digit New Segment date.
int64_t DateUs(const std::string& d) {
  EXPECT_EQ(d.size(), 20u) << d;
  const int64_t day = ToInt(d.substr(6, 2)), h = ToInt(d.substr(8, 2)), m = ToInt(d.substr(10, 2));
  const int64_t s = ToInt(d.substr(12, 2)), us = ToInt(d.substr(14, 6));
  return (((day * 24 + h) * 60 + m) * 60 + s) * 1000000 + us;
}

/// Makes a pair in a fresh folder under dir; returns the folder.
std::string Make(const testsupport::TempDir& dir, const std::string& name, const std::string& options) {
  const std::string out = dir / name;
  EXPECT_EQ(RunSim("--out \"" + out + "\" " + options, dir / "sim.log"), 0)
      << options << "\n" << testsupport::ReadFile(dir / "sim.log");
  return out;
}

TEST(SimImperfect, SegmentDatesCarryTheirRecordedErrorAndNothingElseChanges) {
  struct Case {
    double errorMs;
    const char* options;
  };
  const Case cases[] = {{3.0, "--segments 3 --overflow 1000"},
                        {0.5, "--segments 3 --eeg-rate 1000"},
                        {40.0, "--segments 5 --eeg-rate 250 --duration 80"}};
  for (const Case& c : cases) {
    int64_t below = 0, above = 0, largest = 0;
    for (int seed = 1; seed <= 4; ++seed) {
      const std::string base = std::string(c.options) + " --seed " + std::to_string(seed);
      SCOPED_TRACE(base);
      testsupport::TempDir dir;
      const std::string exact = Make(dir, "exact", base);
      const std::string off = Make(dir, "off", base + " --date-error " + std::to_string(c.errorMs));
      const Truth truth = LoadTruth(off + "/S01.truth.txt");
      const double rate = truth.Number(truth.recording, "eeg_rate_hz");
      std::vector<Marker> segments;
      for (const Marker& m : ReadVmrk(off + "/S01.vmrk"))
        if (m.type == "New Segment") segments.push_back(m);
      ASSERT_EQ(segments.size(), truth.segments.size());
      ASSERT_GE(segments.size(), 3u);
      std::set<int64_t> errors;
      for (size_t i = 0; i < segments.size(); ++i) {
        const TruthSegment& s = truth.segments[i];
        EXPECT_EQ(segments[i].date, s.date);
        EXPECT_EQ(DateUs(s.date) - DateUs(s.trueDate), s.dateErrorUs) << i;
        EXPECT_LE(std::llabs(s.dateErrorUs), std::llround(c.errorMs * 1000.0)) << i;
        (s.dateErrorUs < 0 ? below : above) += 1;
        largest = std::max<int64_t>(largest, std::llabs(s.dateErrorUs));
        errors.insert(s.dateErrorUs);
        // The true dates give the true gap-filled start; the written ones are off by the errors.
        const double trueStart = (DateUs(s.trueDate) - DateUs(truth.segments[0].trueDate)) * rate / 1e6;
        EXPECT_NEAR(trueStart, static_cast<double>(s.gapFilledPosition - 1), 0.5 + rate * 1e-6) << i;
        const double dated = (DateUs(s.date) - DateUs(truth.segments[0].date)) * rate / 1e6;
        EXPECT_NEAR(dated - trueStart, (s.dateErrorUs - truth.segments[0].dateErrorUs) * rate / 1e6, rate * 1e-6) << i;
      }
      EXPECT_EQ(errors.size(), segments.size()) << "segments share an error";
      // Only the dates move: the samples, the tracker and the other markers stay as without errors.
      EXPECT_EQ(testsupport::ReadFile(off + "/S01.eeg"), testsupport::ReadFile(exact + "/S01.eeg"));
      EXPECT_EQ(testsupport::ReadFile(off + "/S01.asc"), testsupport::ReadFile(exact + "/S01.asc"));
      EXPECT_EQ(Stimuli(off + "/S01.vmrk"), Stimuli(exact + "/S01.vmrk"));
    }
    // Independent uniform errors over the whole range, not one shared or one-sided error.
    EXPECT_GT(below, 0);
    EXPECT_GT(above, 0);
    EXPECT_GT(largest, std::llround(c.errorMs * 500.0));
  }
}

TEST(SimImperfect, TrackerGridPutsEveryInputOnTheFirstSampleAtOrAfterTheEdge) {
  for (const char* rate : {"250", "500", "1000", "2000"}) {
    for (const char* extra : {"--seed 1", "--seed 2 --pattern adjacent --blocks 3", "--seed 3 --outliers 6"}) {
      const std::string options = std::string("--tracker-grid --gaze-rate ") + rate + " " + extra;
      SCOPED_TRACE(options);
      testsupport::TempDir dir;
      const std::string out = Make(dir, "grid", options);
      const Truth truth = LoadTruth(out + "/S01.truth.txt");
      const Asc asc = ReadAsc(out + "/S01.asc");
      const double period = 1000.0 / std::stod(rate);
      const std::set<int64_t> stamps(asc.sampleStamps.begin(), asc.sampleStamps.end());
      for (const auto& in : asc.inputs) EXPECT_EQ(stamps.count(in.first), 1u) << "INPUT " << in.first << " " << in.second;
      size_t moved = 0;
      for (const TruthTrigger& t : truth.triggers) {
        const auto first = std::lower_bound(asc.sampleStamps.begin(), asc.sampleStamps.end(),
                                            static_cast<int64_t>(std::ceil(t.trueMs - 1e-9)));
        ASSERT_NE(first, asc.sampleStamps.end());
        EXPECT_EQ(t.etTimestamp, *first) << "trigger " << t.index;
        EXPECT_LT(static_cast<double>(t.etTimestamp) - t.trueMs, std::max(period, 1.0)) << "trigger " << t.index;
        moved += t.etTimestamp != static_cast<int64_t>(std::ceil(t.trueMs - 1e-9)) ? 1 : 0;
      }
      // Below 1000 Hz most edges wait for a later sample than the next millisecond.
      if (period > 1.0) {
        EXPECT_GT(moved, truth.triggers.size() / 3);
      }
      std::vector<std::pair<int64_t, int>> expected;
      for (const TruthTrigger& t : truth.triggers) {
        if (t.etRecorded) expected.emplace_back(t.etTimestamp, t.code);
        if (t.outlier == "et_double") expected.emplace_back(t.doublePosition, t.code);
      }
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(CodeInputs(asc), expected);
    }
  }
}

TEST(SimImperfect, OutliersAreMissingOrDoubledOnTheirOwnDeviceOnly) {
  struct Case {
    const char* session;
    int outliers;
    double pulseMs;
  };
  const Case cases[] = {{"--seed 1", 8, 5.0},
                        {"--seed 2 --segments 3 --overflow 1500", 8, 5.0},
                        {"--seed 3 --tracker-grid --gaze-rate 250 --eeg-rate 1000", 10, 5.0},
                        {"--seed 4 --duration 120 --pulse 10 --gaze-rate 1000", 12, 10.0},
                        {"--seed 5 --pattern adjacent --code-max 3", 8, 5.0}};
  std::map<std::string, int> kinds;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.session);
    testsupport::TempDir dir;
    const std::string clean = Make(dir, "clean", c.session);
    const std::string out = Make(dir, "outliers", std::string(c.session) + " --outliers " + std::to_string(c.outliers));
    const Truth truth = LoadTruth(out + "/S01.truth.txt");
    const double eegRate = truth.Number(truth.recording, "eeg_rate_hz");
    const double period = 1000.0 / truth.Number(truth.recording, "gaze_rate_hz");
    const double pulse = c.pulseMs;
    std::vector<std::pair<int64_t, int>> eeg, et;
    int outliers = 0;
    for (const TruthTrigger& t : truth.triggers) {
      SCOPED_TRACE("trigger " + std::to_string(t.index) + " " + t.outlier);
      if (t.outlier != "none") {
        ++outliers;
        ++kinds[t.outlier];
        EXPECT_FALSE(t.lost || t.adjacent);
      }
      EXPECT_EQ(t.eegRecorded, !t.lost && t.outlier != "eeg_missed");
      EXPECT_EQ(t.etRecorded, t.outlier != "et_missed");
      if (t.eegRecorded) eeg.emplace_back(t.vmrkPosition, t.code);
      if (t.etRecorded) et.emplace_back(t.etTimestamp, t.code);
      if (t.outlier == "eeg_double" || t.outlier == "et_double") {
        const double delay = t.doubleTrueMs - t.trueMs;
        EXPECT_GE(delay, pulse + period + 1.0 - 1e-6);
        EXPECT_LE(delay, pulse + period + 5.0 + 1e-6);
        if (t.outlier == "eeg_double") {
          eeg.emplace_back(t.doublePosition, t.code);
          EXPECT_NEAR(static_cast<double>(t.doublePosition - t.vmrkPosition), delay * eegRate / 1000.0, 1.0);
        } else {
          et.emplace_back(t.doublePosition, t.code);
          EXPECT_GT(t.doublePosition, t.etTimestamp + static_cast<int64_t>(pulse));
        }
      } else {
        EXPECT_EQ(t.doublePosition, 0);
      }
    }
    EXPECT_EQ(outliers, c.outliers);
    std::sort(eeg.begin(), eeg.end());
    std::sort(et.begin(), et.end());
    EXPECT_EQ(Stimuli(out + "/S01.vmrk"), eeg);
    const Asc asc = ReadAsc(out + "/S01.asc");
    EXPECT_EQ(CodeInputs(asc), et);
    // A tracker double is a second pulse: the port reads 0 between the two codes.
    for (size_t i = 1; i < asc.inputs.size(); ++i)
      EXPECT_FALSE(asc.inputs[i].second != 0 && asc.inputs[i].second == asc.inputs[i - 1].second) << asc.inputs[i].first;
    // The samples themselves are those of the session without outliers.
    EXPECT_EQ(testsupport::ReadFile(out + "/S01.eeg"), testsupport::ReadFile(clean + "/S01.eeg"));
  }
  for (const char* kind : {"eeg_missed", "et_missed", "eeg_double", "et_double"}) EXPECT_GT(kinds[kind], 0) << kind;
}

TEST(SimImperfect, StartsAndStopsDropExactlyTheTriggersAtTheEndsOfOneDevice) {
  struct Case {
    const char* session;
    bool eeg;  ///< the knobs cut the EEG (else the tracker)
    size_t late, early;
  };
  const Case cases[] = {
      {"--segments 3 --overflow 1000", true, 3, 0},
      {"--format float32 --eeg-rate 1000", true, 0, 4},
      {"--segments 3 --overflow 1000 --eeg-rate 1000 --trigger-interval 300", true, 2, 2},
      {"--gaze-rate 250 --tracker-grid", false, 5, 0},
      {"--blocks 3", false, 0, 3},
      {"--blocks 4 --duration 90 --trigger-interval 500", false, 40, 1},
  };
  for (const Case& c : cases) {
    const std::string device = c.eeg ? "--eeg" : "--tracker";
    for (int seed = 1; seed <= 3; ++seed) {
      const std::string base = "--seed " + std::to_string(seed) + " " + c.session;
      const std::string options = base + " " + device + "-start-late " + std::to_string(c.late) + " " + device +
                                  "-stop-early " + std::to_string(c.early);
      SCOPED_TRACE(options);
      testsupport::TempDir dir;
      const std::string whole = Make(dir, "whole", base);
      const std::string cut = Make(dir, "cut", options);
      const Truth before = LoadTruth(whole + "/S01.truth.txt");
      const Truth after = LoadTruth(cut + "/S01.truth.txt");
      ASSERT_EQ(after.triggers.size(), before.triggers.size());
      const size_t n = after.triggers.size();
      for (size_t i = 0; i < n; ++i) {
        const TruthTrigger& a = after.triggers[i];
        const TruthTrigger& b = before.triggers[i];
        EXPECT_EQ(a.trueMs, b.trueMs) << i;  // the session is the same; only a device's view of it changes
        const bool inside = i >= c.late && i < n - c.early;
        if (c.eeg) {
          EXPECT_EQ(a.eegRecorded, inside && !a.lost) << i;
          EXPECT_EQ(a.lost, a.vmrkPosition == 0) << i;
          EXPECT_TRUE(a.etRecorded) << i;
        } else {
          EXPECT_EQ(a.etRecorded, inside) << i;
          EXPECT_EQ(a.eegRecorded, b.eegRecorded) << i;
        }
      }
      if (c.eeg) {
        // A late start and early stop leave the EEG no trigger outside, and lose none inside beyond
        // the interruptions: the first and last kept triggers are recorded.
        EXPECT_TRUE(after.triggers[c.late].eegRecorded);
        EXPECT_TRUE(after.triggers[n - 1 - c.early].eegRecorded);
        const double start = after.Number(after.clock, "eeg_start_ms");
        if (c.late > 0) {
          EXPECT_GT(start, after.triggers[c.late - 1].trueMs + 5.0);
          EXPECT_LT(start, after.triggers[c.late].trueMs);
        }
        EXPECT_EQ(testsupport::ReadFile(cut + "/S01.asc"), testsupport::ReadFile(whole + "/S01.asc"));
      } else {
        const Asc asc = ReadAsc(cut + "/S01.asc");
        std::vector<std::pair<int64_t, int>> expected = CodeInputs(ReadAsc(whole + "/S01.asc"));
        expected.erase(expected.end() - static_cast<std::ptrdiff_t>(c.early), expected.end());
        expected.erase(expected.begin(), expected.begin() + static_cast<std::ptrdiff_t>(c.late));
        EXPECT_EQ(CodeInputs(asc), expected);
        ASSERT_FALSE(asc.sampleStamps.empty());
        if (c.late > 0) {
          EXPECT_GT(static_cast<double>(asc.sampleStamps.front()), after.triggers[c.late - 1].trueMs + 5.0);
        }
        if (c.early > 0) {
          EXPECT_LT(static_cast<double>(asc.sampleStamps.back()), after.triggers[n - c.early].trueMs);
        }
        for (const char* ext : {"/S01.vmrk", "/S01.eeg"})
          EXPECT_EQ(testsupport::ReadFile(cut + ext), testsupport::ReadFile(whole + ext)) << ext;
      }
    }
  }
}

TEST(SimImperfect, CodeMaxOneIsASingleCodeSessionWithAnyPatternButAdjacent) {
  for (const char* options : {"--code-max 1", "--code-max 1 --pattern repeat", "--code-max 1 --outliers 3 --tracker-grid"}) {
    SCOPED_TRACE(options);
    testsupport::TempDir dir;
    const std::string out = Make(dir, "one", options);
    const Truth truth = LoadTruth(out + "/S01.truth.txt");
    ASSERT_GT(truth.triggers.size(), 20u);
    for (const TruthTrigger& t : truth.triggers) EXPECT_EQ(t.code, 1) << t.index;
    std::set<int> codes;
    for (const auto& s : Stimuli(out + "/S01.vmrk")) codes.insert(s.second);
    for (const auto& in : CodeInputs(ReadAsc(out + "/S01.asc"))) codes.insert(in.second);
    EXPECT_EQ(codes, std::set<int>{1});
  }
}

TEST(SimImperfect, CoincidentEdgesSurviveEveryKnobAndImpossibleCountsAreRefused) {
  testsupport::TempDir dir;
  const std::string out = Make(dir, "all", "--coincident --drift 0 --gaze-rate 500 --tracker-grid --segments 3 "
                                           "--date-error 2 --outliers 6 --eeg-start-late 3 --eeg-stop-early 2 "
                                           "--tracker-start-late 2 --tracker-stop-early 4");
  const Truth truth = LoadTruth(out + "/S01.truth.txt");
  const double start = truth.Number(truth.clock, "eeg_start_ms");
  const double perMs = truth.Number(truth.clock, "eeg_samples_per_ms");
  ASSERT_GT(truth.triggers.size(), 20u);
  for (const TruthTrigger& t : truth.triggers) {
    EXPECT_TRUE(t.coincident) << t.index;
    EXPECT_EQ(static_cast<double>(t.etTimestamp), t.trueMs) << t.index;
    const double below = static_cast<double>(t.gapFilledPosition - 1) - (t.trueMs - start) * perMs;
    EXPECT_GE(below, -1e-6) << t.index;
    EXPECT_LT(below, 0.001) << t.index;
  }

  const char* const refused[] = {"--eeg-start-late 40 --eeg-stop-early 30",  "--tracker-start-late 500",
                                 "--outliers 500",                             "--offset 5000 --eeg-start-late 2",
                                 "--pattern adjacent --adjacent-every 1 --eeg-start-late 1",
                                 "--date-error -1",                            "--outliers many"};
  for (const char* args : refused) {
    const std::string log = dir / "refused.log";
    EXPECT_EQ(RunSim("--out \"" + (dir / "refused") + "\" " + args, log), 2) << args;
    EXPECT_NE(testsupport::ReadFile(log).find("tolmera-sim: "), std::string::npos) << args;
    EXPECT_FALSE(std::filesystem::exists(dir / "refused/S01.vhdr")) << args;
  }
}

}  // namespace
