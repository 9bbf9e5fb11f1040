// The trigger matching and the clock model on simulated recording pairs, against the simulator's
// ground truth: both recordings read by their stages, the trigger lists handed over as the
// synchronisation hands them.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <cstdlib>
#include <set>

#include "support/testsupport.h"
#include "tools/simsupport.h"
#include "varnixlib/asc/ascrawdata.h"
#include "varnixlib/brainvision/brainamp.h"
#include "varnixlib/support/logdirectory.h"
#include "varnixlib/sync/matchingreport.h"

using namespace simsupport;

namespace {

struct Figures {
  double worstPosition = 0.0;  ///< EEG samples, model against truth
  double worstError = 0.0;     ///< eye-tracker samples, logged error against the true one
  double worstExcess = -1e9;   ///< how far a logged error strays beyond its registration bound
  size_t withinOne = 0;        ///< logged errors within one tracker sample of the true one
  size_t rows = 0;
  size_t pairs = 0;
  size_t removed = 0;
};

// Serial numbers (1-based truth index) travel in `extra` on both sides.
Figures MatchSimulatedPair(const std::string& options) {
  SCOPED_TRACE(options);
  Figures f;
  testsupport::TempDir dir;
  EXPECT_EQ(RunSim("--out \"" + dir.Path().string() + "\" " + options), 0);
  const Truth truth = LoadTruth(dir / "S01.truth.txt");
  if (truth.triggers.empty()) return f;

  SynchroParams params;
  params.eegFileName = dir / "S01.eeg";
  Brainamp eeg;
  testing::internal::CaptureStdout();
  const bool read = eeg.Process<int16_t>(params);
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(read);
  if (!read) return f;
  std::vector<CMarker>& markers = eeg.myVmrk.markers;
  size_t kept = 0;
  std::vector<const TruthTrigger*> recorded;
  for (const TruthTrigger& t : truth.triggers) {
    if (!t.lost) recorded.push_back(&t);
  }
  for (CMarker& m : markers) {
    if (m.type != Stimulus || m.code == OVERFLOW_CODE) continue;
    EXPECT_LT(kept, recorded.size());
    if (kept >= recorded.size()) return f;
    EXPECT_EQ(m.code, recorded[kept]->code);
    m.extra = static_cast<uint32_t>(recorded[kept++]->index);
  }

  const double gazeRate = truth.Number(truth.recording, "gaze_rate_hz");
  const double eegRate = truth.Number(truth.recording, "eeg_rate_hz");
  const int64_t period = static_cast<int64_t>(std::lround(1000.0 / gazeRate));
  params.ascFileName = dir / "S01.asc";
  AscRawData asc;
  asc.OpenLog(dir / "Log-AscRawData.txt");
  testing::internal::CaptureStdout();
  const bool parsed = asc.Process(params);
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(parsed);
  std::vector<CMarker> et;
  asc.GetTriggerMarkers(et);
  const int64_t grid = asc.StartTimestamp();  // the tracker grid's first timestamp
  EXPECT_EQ(et.size(), truth.triggers.size());
  if (et.size() != truth.triggers.size()) return f;
  for (size_t i = 0; i < et.size(); ++i) {
    const TruthTrigger& t = truth.triggers[i];
    EXPECT_EQ(et[i].code, t.code) << "trigger " << t.index;
    EXPECT_EQ(et[i].position, static_cast<uint32_t>((t.etTimestamp - grid) / period)) << "trigger " << t.index;
    et[i].extra = static_cast<uint32_t>(t.index);
  }

  // As the synchronisation does: match, let the EEG markers take the shifts, write the statistics.
  MatchingResult matching;
  testing::internal::CaptureStdout();
  const bool matched = MatchAndReport(params, "Match ETtriggers with EEGtriggers", et, markers,
                                      eegRate / gazeRate, &eeg.myVmrk.segments, matching);
  if (matched) {
    for (uint64_t s = 0; s < matching.segments.size(); ++s) {
      eeg.myVmrk.ShiftSegment(s, matching.segments[s].correction);
    }
    WriteAlignmentStatistics(matching, dir.Path().string() + "/");
  }
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_TRUE(matched) << out;
  if (!matched) return f;

  // The triggers of the overflow's stretch are gone from the tracker list, and only they.
  std::set<uint32_t> left;
  for (const CMarker& m : et) left.insert(m.extra);
  const TruthSegment* overflow = nullptr;
  for (const TruthSegment& s : truth.segments) {
    if (s.kind == "overflow") overflow = &s;
  }
  for (const TruthTrigger& t : truth.triggers) {
    const bool inOverflow = overflow != nullptr && t.lost &&
                            t.gapFilledPosition > overflow->gapFilledPosition - overflow->lostBefore - 1 &&
                            t.gapFilledPosition <= overflow->gapFilledPosition;
    EXPECT_EQ(left.count(static_cast<uint32_t>(t.index)), inOverflow ? 0u : 1u) << "trigger " << t.index;
  }
  f.removed = truth.triggers.size() - et.size();

  // Every recorded trigger is paired with itself.
  f.pairs = matching.pairs.size();
  EXPECT_EQ(f.pairs, recorded.size());
  for (const MatchedPair& p : matching.pairs) {
    EXPECT_EQ(et[p.first].extra, markers[p.second].extra) << "pair " << p.first;
  }

  // The segment dates are exact: nothing to shift, every gap as lost, every trigger where it was.
  for (size_t s = 0; s < eeg.myVmrk.segments.size(); ++s) {
    EXPECT_EQ(eeg.myVmrk.segments[s]->correction, 0) << "segment " << s;
    EXPECT_EQ(eeg.myVmrk.segments[s]->samplesInserted,
              static_cast<uint32_t>(truth.segments[s].lostBefore)) << "segment " << s;
  }
  for (const CMarker& m : markers) {
    if (m.type != Stimulus || m.code == OVERFLOW_CODE) continue;
    const TruthTrigger& t = truth.triggers[m.extra - 1];
    f.worstPosition = std::max(f.worstPosition,
                               std::fabs(double(m.position) - double(t.gapFilledPosition - 1)));
  }

  // Logged errors against the true error of the same line at the truth's exact instants. They
  // differ by how each device registered the two edges, this trigger's and the anchor's: the
  // tracker's INPUT on the next whole millisecond, truncated onto its sample grid, and the EEG's
  // on its next sample. Past that bound a logged error would be wrong.
  const std::vector<std::string> log = Lines(testsupport::ReadFile(dir / "GlobalError.txt"));
  size_t row = std::find_if(log.begin(), log.end(), [](const std::string& l) {
                 return l.rfind("[final drift on", 0) == 0;
               }) - log.begin() + 1;
  const double eegStart = truth.Number(truth.clock, "eeg_start_ms");
  const double eegPerMs = truth.Number(truth.clock, "eeg_samples_per_ms");
  const auto& pairs = matching.pairs;
  const double slope = matching.matchingSlope;
  auto trueX = [&](const TruthTrigger& t) { return (t.trueMs - double(grid)) / double(period); };
  auto trueY = [&](const TruthTrigger& t) { return (t.trueMs - eegStart) * eegPerMs; };
  auto registration = [&](uint64_t p) {
    const TruthTrigger& t = truth.triggers[et[pairs[p].first].extra - 1];
    return std::fabs(double(et[pairs[p].first].position) - trueX(t)) +
           std::fabs(double(markers[pairs[p].second].position) - trueY(t)) / slope;
  };
  const uint64_t anchorPair = matching.segments[matching.firstSegment].firstPair;
  const TruthTrigger& anchor = truth.triggers[et[pairs[anchorPair].first].extra - 1];
  for (uint64_t s = matching.firstSegment; s < matching.endSegment; ++s) {
    if (!matching.segments[s].holdsPairs) continue;
    for (uint32_t p = matching.segments[s].firstPair; p <= matching.segments[s].lastPair; ++p, ++row) {
      const TruthTrigger& t = truth.triggers[et[pairs[p].first].extra - 1];
      const double truthError =
          (trueX(t) - trueX(anchor)) - (trueY(t) - trueY(anchor)) / slope;
      EXPECT_LT(row, log.size());
      if (row >= log.size()) return f;
      const double difference = std::fabs(ToDouble(Tokens(log[row])[0]) - truthError);
      f.worstError = std::max(f.worstError, difference);
      f.worstExcess = std::max(f.worstExcess, difference - registration(p) - registration(anchorPair));
      f.withinOne += difference <= 1.0 ? 1 : 0;
      ++f.rows;
    }
  }
  EXPECT_EQ(row, log.size());
  return f;
}

}  // namespace

TEST(SimulatedPairMatching, PairsGapsShiftsAndErrorsAgreeWithTheTruth) {
  const char* configurations[] = {
      "--duration 600 --eeg-rate 1000 --gaze-rate 500 --segments 4 --overflow 3000 --overflow-at 220 --drift 40",
      "--duration 600 --eeg-rate 500 --gaze-rate 1000 --segments 3 --overflow 2500 --overflow-at 100 --drift -25",
      "--duration 300 --eeg-rate 5000 --gaze-rate 1000 --segments 5 --drift 15 --channels 3",
      "--duration 900 --eeg-rate 1000 --gaze-rate 250 --segments 6 --overflow 4000 --overflow-at 500 --drift 80 --seed 7",
  };
  for (const char* options : configurations) {
    const Figures f = MatchSimulatedPair(options);
    EXPECT_LE(f.worstPosition, 0.0) << options;
    EXPECT_LE(f.worstExcess, 1e-4) << options;  // the log keeps five decimals
    EXPECT_GT(f.rows, 0u) << options;
    std::cerr << options << ": " << f.pairs << " pairs, " << f.removed
              << " tracker triggers removed, worst position " << f.worstPosition
              << " EEG samples, logged error against truth: worst " << f.worstError << ", "
              << f.withinOne << " of " << f.rows << " within one tracker sample\n";
  }
}

namespace {

/// Runs the tolmera program in dir; returns its standard output.
std::string RunTolmeraIn(const std::string& dir, const std::string& arguments) {
  const std::string command = "cd '" + dir + "' && '" TOLMERA_BINARY_PATH "' " + arguments +
                              " > tolmera.out 2> tolmera.err < /dev/null";
  EXPECT_NE(std::system(command.c_str()), -1);
  return testsupport::ReadFile(dir + "/tolmera.out");
}

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

}  // namespace

TEST(TolmeraMatchingOnSimulatedPairs, RunsTheThreeMatchingsInOrderAndWritesTheStatistics) {
  testsupport::TempDir dir;
  ASSERT_EQ(RunSim("--out " + dir.Path().string() + " --duration 200 --segments 3 --overflow 3000" +
                   " --overflow-at 80 --ttl"),
            0);
  for (const bool classic : {false, true}) {
    const std::string out = RunTolmeraIn(dir.Path().string(), classic ? "S01.asc -L" : "S01.asc");
    const size_t a = out.find("\nMatch TTLreference with EEGtriggers\nLCS   Triggers = ");
    const size_t b = out.find("\nMatch TTLreference with ETtriggers\nLCS   Triggers = ");
    const size_t c = out.find("\nMatch ETtriggers with EEGtriggers\nLCS   Triggers = ");
    ASSERT_NE(a, std::string::npos) << out;
    ASSERT_NE(b, std::string::npos);
    ASSERT_NE(c, std::string::npos);
    EXPECT_LT(a, b);
    EXPECT_LT(b, c);
    EXPECT_EQ(out.find("Nb    Segments =     4\n", c) != std::string::npos, true);
    EXPECT_EQ(Count(out, "Nb    Segments =     0\n"), 2u);
    EXPECT_EQ(Count(out, classic ? "Running Process classical LCS\n" : "Running Process LCS\n"), 3u);
    // Both matchings against the EEG lose the overflow's triggers from their first list.
    EXPECT_EQ(Count(out, "Eye stream corrected. Triggers removed: "), 2u);
    EXPECT_EQ(out.find("ERROR"), std::string::npos) << out;

    const std::vector<std::string> global = Lines(testsupport::ReadFile(dir / "log/GlobalError.txt"));
    ASSERT_GT(global.size(), 11u);
    EXPECT_EQ(global[0].rfind("matchingSlope = 1.0000", 0), 0u) << global[0];  // both at 500 Hz
    EXPECT_EQ(global[1], "slopePerSegment = 4");
    EXPECT_EQ(global[9], "0 0 0 0 ");
    const std::string histogram = testsupport::ReadFile(dir / "log/HistoGlobalError.txt");
    EXPECT_EQ(histogram.rfind("-5     0\n", 0), 0u) << histogram;
    EXPECT_NE(histogram.find("Trigger count: " + std::to_string(global.size() - 11) + "\n"),
              std::string::npos);
    EXPECT_EQ(testsupport::ReadFile(dir / "log/HistoPerTriggerError.txt").rfind("Histrogram for trigger '", 0),
              0u);
  }
}
