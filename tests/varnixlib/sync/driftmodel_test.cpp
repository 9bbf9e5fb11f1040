#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <sstream>

#include "support/testsupport.h"
#include "varnixlib/sync/syntheticrecording.h"
#include "varnixlib/brainvision/brainampvmrk.h"
#include "varnixlib/sync/matchingreport.h"
#include "varnixlib/sync/triggermatching.h"

namespace {

struct Outcome {
  bool ok = false;
  std::string out;
  std::string globalError;
  std::string histogram;
};

// Matches eye-tracker against EEG triggers as the synchronisation does, logs into a scratch folder.
class EyeEegMatching {
 public:
  explicit EyeEegMatching(synthetic::Recording& r, double eyeRate, double eegRate)
      : rec(r), ratio(eegRate / eyeRate) {}

  // As the synchronisation does: match, shift the EEG markers as the model says, write the files.
  Outcome Go(SynchroParams& params) {
    testing::internal::CaptureStdout();
    Outcome r;
    r.ok = MatchAndReport(params, "Match ETtriggers with EEGtriggers", rec.et, rec.eeg, ratio,
                          &rec.segments, matching);
    if (r.ok) {
      for (uint64_t s = 0; s < matching.segments.size(); ++s) {
        BrainampVmrk::ShiftMarkers(rec.eeg, *rec.segments[s], matching.segments[s].correction);
      }
      WriteAlignmentStatistics(matching, dir.Path().string() + "/");
      params.quality.rSquared = matching.rSquared;
    }
    r.out = testing::internal::GetCapturedStdout();
    if (r.ok) {
      r.globalError = testsupport::ReadFile(dir / "GlobalError.txt");
      r.histogram = testsupport::ReadFile(dir / "HistoGlobalError.txt");
    }
    return r;
  }

  synthetic::Recording& rec;
  double ratio;
  MatchingResult matching;
  testsupport::TempDir dir;
};

// The e1 column of the log: one value per row after the heading.
std::vector<double> FirstColumn(const std::string& log) {
  std::istringstream in(log);
  std::string line;
  while (std::getline(in, line) && line.rfind("[final drift on", 0) != 0) {
  }
  std::vector<double> values;
  while (std::getline(in, line)) values.push_back(std::stod(line));
  return values;
}

// Every pair joins one trigger's two recordings; after the model each EEG trigger sits where it
// truly was. The logged error is taken against the drift line through the first and last pair
// (the line the merge resamples on), so it differs from the error against the true clocks by the
// sampling jitter of those two pairs: at most 0.5 + 0.25 eye samples each at 500 Hz / 1000 Hz.
constexpr double kEndPairJitter = 1.5;
struct Accuracy {
  double worstPosition = 0.0;  // EEG samples
  double worstError = 0.0;     // eye-tracker samples, logged against true
};

Accuracy CheckAgainstTruth(const EyeEegMatching& m, const Outcome& run) {
  const synthetic::Recording& rec = m.rec;
  const auto& pairs = m.matching.pairs;
  Accuracy a;
  for (const MatchedPair& p : pairs) {
    EXPECT_EQ(rec.et[p.first].extra, rec.eeg[p.second].extra) << "pair " << p.first;
  }
  for (size_t i = 0; i < rec.eeg.size(); ++i) {
    if (rec.eeg[i].type == NewSegment || rec.eeg[i].code == OVERFLOW_CODE) continue;
    a.worstPosition = std::max(
        a.worstPosition, std::fabs(double(rec.eeg[i].position) - double(rec.truePosition[i])));
  }
  const std::vector<double> logged = FirstColumn(run.globalError);
  const SegmentFit& anchor = m.matching.segments[m.matching.firstSegment];
  const double x0 = rec.et[pairs[anchor.firstPair].first].position;
  const double y0 = rec.truePosition[pairs[anchor.firstPair].second];
  size_t row = 0;
  for (uint64_t s = m.matching.firstSegment; s < m.matching.endSegment; ++s) {
    const SegmentFit& segment = m.matching.segments[s];
    if (!segment.holdsPairs) continue;
    for (uint32_t p = segment.firstPair; p <= segment.lastPair; ++p, ++row) {
      const double truth = (rec.et[pairs[p].first].position - x0) -
                           (rec.truePosition[pairs[p].second] - y0) / rec.trueSlope;
      if (row < logged.size()) {
        a.worstError = std::max(a.worstError, std::fabs(logged[row] - truth));
      }
    }
  }
  EXPECT_EQ(row, logged.size());
  return a;
}

}  // namespace

TEST(DriftModel, ExactSegmentDatesLeaveEverySegmentWhereItWas) {
  synthetic::Layout layout;
  layout.triggers = {150, 120, 180, 140};
  layout.lost = {0, 2500, 1800, 3100};
  layout.dateError = {0, 0, 0, 0};
  synthetic::Recording rec = synthetic::Make(layout);
  EyeEegMatching m(rec, 500.0, 1000.0);
  SynchroParams params;
  const Outcome run = m.Go(params);
  ASSERT_TRUE(run.ok) << run.out;
  for (size_t s = 0; s < rec.segments.size(); ++s) {
    EXPECT_EQ(rec.segments[s]->correction, 0) << "segment " << s;
    EXPECT_EQ(rec.segments[s]->samplesInserted, layout.lost[s]) << "segment " << s;
  }
  const Accuracy a = CheckAgainstTruth(m, run);
  EXPECT_EQ(a.worstPosition, 0.0);
  EXPECT_LE(a.worstError, kEndPairJitter);
  EXPECT_NEAR(m.matching.matchingSlope, rec.trueSlope, 1e-4);
  EXPECT_GT(params.quality.rSquared, 0.999999);
  std::cerr << "exact dates: worst position " << a.worstPosition << " EEG samples, worst error "
            << a.worstError << " eye samples\n";
}

TEST(DriftModel, SegmentDatesOffEitherWayAreShiftedBackOnceEach) {
  struct Case {
    uint32_t period;
    double eegRate;
    std::vector<int32_t> dateError;
  };
  // Slopes above and below one; segments on both sides of the drift line.
  for (const Case& c : {Case{2, 1000.0, {0, 3, -4, -4, 6}}, Case{2, 250.0, {0, -2, 2, 1, -1}},
                        Case{1, 5000.0, {0, -40, 25, 25, 0}}}) {
    synthetic::Layout layout;
    layout.etPeriodMs = c.period;
    layout.eegRate = c.eegRate;
    layout.triggers = {160, 140, 170, 130, 150};
    layout.lost = {0, 1700, 900, 2400, 1300};
    layout.dateError = c.dateError;
    layout.seed = static_cast<uint32_t>(c.eegRate);
    synthetic::Recording rec = synthetic::Make(layout);
    EyeEegMatching m(rec, 1000.0 / c.period, c.eegRate);
    SynchroParams params;
    const Outcome run = m.Go(params);
    ASSERT_TRUE(run.ok) << run.out;
    for (size_t s = 1; s < rec.segments.size(); ++s) {
      EXPECT_EQ(rec.segments[s]->correction, -(c.dateError[s] - c.dateError[s - 1]))
          << c.eegRate << " Hz, segment " << s;
      // Each gap holds exactly the samples the recorder lost: no shift counted twice.
      EXPECT_EQ(rec.segments[s]->samplesInserted, layout.lost[s]) << c.eegRate << " Hz, " << s;
    }
    const Accuracy a = CheckAgainstTruth(m, run);
    EXPECT_LE(a.worstPosition, 1.0) << c.eegRate;
    EXPECT_LE(a.worstError, kEndPairJitter) << c.eegRate;
    std::cerr << c.eegRate << " Hz EEG, dates off: worst position " << a.worstPosition
              << " EEG samples, worst error " << a.worstError << " eye samples\n";
  }
}

TEST(DriftModel, TriggersLostInABufferOverflowAreRemovedBeforePairing) {
  synthetic::Layout layout;
  layout.triggers = {150, 150, 150};
  layout.lost = {0, 1500, 6000};
  layout.dateError = {0, 1, -2};
  layout.overflowBefore = 2;
  synthetic::Recording rec = synthetic::Make(layout);
  ASSERT_GE(rec.lostSerials.size(), 3u);
  const size_t recorded = rec.et.size() - rec.lostSerials.size();
  EyeEegMatching m(rec, 500.0, 1000.0);
  SynchroParams params;
  const Outcome run = m.Go(params);
  ASSERT_TRUE(run.ok) << run.out;
  EXPECT_NE(run.out.find("Eye stream corrected. Triggers removed: " +
                         std::to_string(rec.lostSerials.size()) + "\n"),
            std::string::npos);
  ASSERT_EQ(rec.et.size(), recorded);
  for (const CMarker& t : rec.et) {
    EXPECT_EQ(std::count(rec.lostSerials.begin(), rec.lostSerials.end(), t.extra), 0);
  }
  EXPECT_EQ(m.matching.pairs.size(), recorded);
  const Accuracy a = CheckAgainstTruth(m, run);
  EXPECT_LE(a.worstPosition, 1.0);
  EXPECT_LE(a.worstError, kEndPairJitter);
  EXPECT_EQ(rec.segments[2]->samplesInserted, 6000u);
}

TEST(DriftModel, SegmentsWithFewerThanTwoPairsAtTheEndsAreLeftOut) {
  synthetic::Layout layout;
  layout.triggers = {1, 12, 0, 14, 0};
  layout.lost = {0, 800, 900, 1000, 1100};
  layout.dateError = {0, 0, 0, 0, 0};
  synthetic::Recording rec = synthetic::Make(layout);
  EyeEegMatching m(rec, 500.0, 1000.0);
  SynchroParams params;
  const Outcome run = m.Go(params);
  ASSERT_TRUE(run.ok) << run.out;
  EXPECT_EQ(m.matching.firstSegment, 1u);
  EXPECT_EQ(m.matching.endSegment, 4u);
  std::istringstream in(run.globalError);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_GE(lines.size(), 11u);
  EXPECT_EQ(lines[1], "slopePerSegment = 3");
  EXPECT_EQ(lines[3], "nbTriggers = 27");
  EXPECT_EQ(lines[4], "triggersPerSegment = 3");
  EXPECT_EQ(lines[5], "12 0 14 ");
  EXPECT_EQ(lines[7], "800 900 1000 ");
  EXPECT_EQ(lines[9], "0 0 0 ");
  EXPECT_EQ(lines.size(), 11u + 26u);  // rows of segments 1 and 3 only
}

TEST(DriftModel, NoSegmentWithTwoPairsStopsTheSynchronisation) {
  synthetic::Layout layout;
  layout.triggers = {1, 1};
  layout.lost = {0, 500};
  layout.dateError = {0, 0};
  synthetic::Recording rec = synthetic::Make(layout);
  EyeEegMatching m(rec, 500.0, 1000.0);
  SynchroParams params;
  const Outcome run = m.Go(params);
  EXPECT_FALSE(run.ok);
  EXPECT_NE(run.out.find("ERROR in : "), std::string::npos);
  EXPECT_NE(run.out.find("no EEG segment holds two matched triggers"), std::string::npos);
}

TEST(DriftModel, LogAndHistogramOfAPerfectSingleSegmentAreExact) {
  synthetic::Recording rec;
  CMarker segment;
  segment.type = NewSegment;
  segment.code = SEGMENT_CODE;
  segment.flag = 1;
  rec.eeg.push_back(segment);
  for (uint32_t i = 0; i < 3; ++i) {
    CMarker t;
    t.code = static_cast<uint16_t>(5 + i);
    t.position = 100 + 100 * i;
    rec.et.push_back(t);
    t.position = 1000 + 200 * i;
    rec.eeg.push_back(t);
  }
  rec.segments.push_back(&rec.eeg[0]);
  EyeEegMatching m(rec, 500.0, 1000.0);
  SynchroParams params;
  const Outcome run = m.Go(params);
  ASSERT_TRUE(run.ok) << run.out;
  const std::string row = "        0.00000                  0.00000                   0.00000\n";
  EXPECT_EQ(run.globalError,
            "matchingSlope = 2\nslopePerSegment = 1\n2 \nnbTriggers = 3\n"
            "triggersPerSegment = 1\n3 \nsamplesInsertedBefore = 1\n0 \n"
            "correctionInsertedBefore = 1\n0 \n"
            "[final drift on, shift on] [drift on, shift off] [drift off, shift off]\n" +
                row + row + row);
  EXPECT_NE(run.histogram.find(" 0     3\n"), std::string::npos);
  EXPECT_NE(run.histogram.find("Trigger count: 3\nMean: 0\nStd: 0\n"), std::string::npos);
  EXPECT_DOUBLE_EQ(params.quality.rSquared, 1.0);

  MatchSummary summary;
  testing::internal::CaptureStdout();
  TriggerMatching::Summarize(m.matching, summary, true);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "0.00 0.00 0.00 \n");
  EXPECT_EQ(summary.codes, (std::vector<uint16_t>{5, 6, 7}));
  EXPECT_EQ(summary.firstOffsets, (std::vector<int32_t>{0, 100, 200}));
  EXPECT_EQ(summary.secondOffsets, (std::vector<int32_t>{0, 200, 400}));
  EXPECT_EQ(summary.roundedErrors, (std::vector<int16_t>{0, 0, 0}));
  EXPECT_EQ(summary.x0, 100);
  EXPECT_EQ(summary.y0, 1000);
  EXPECT_DOUBLE_EQ(summary.R2, 1.0);
}

// Sixty recordings of five segments, dates exact in every third and off by up to five samples
// otherwise, at 1000 Hz and 250 Hz: every shift and every gap comes out as the truth.
TEST(DriftModel, ShiftsAndGapsAreRecoveredAcrossManyRecordings) {
  int segments = 0;
  for (uint32_t seed = 1; seed <= 60; ++seed) {
    std::mt19937 rng(seed * 7919);
    synthetic::Layout layout;
    layout.triggers = {150, 150, 150, 150, 150};
    layout.lost = {0, 1500, 2200, 900, 3000};
    layout.dateError = {0, 0, 0, 0, 0};
    if (seed % 3 != 0) {
      for (size_t s = 1; s < 5; ++s) layout.dateError[s] = static_cast<int32_t>(rng() % 11) - 5;
    }
    layout.eegRate = seed % 2 != 0 ? 1000.0 : 250.0;
    layout.seed = seed;
    synthetic::Recording rec = synthetic::Make(layout);
    EyeEegMatching m(rec, 500.0, layout.eegRate);
    SynchroParams params;
    const Outcome run = m.Go(params);
    ASSERT_TRUE(run.ok) << run.out;
    for (size_t s = 1; s < 5; ++s, ++segments) {
      EXPECT_EQ(rec.segments[s]->correction, -(layout.dateError[s] - layout.dateError[s - 1]))
          << "seed " << seed << " segment " << s;
      EXPECT_EQ(rec.segments[s]->samplesInserted, layout.lost[s]) << "seed " << seed;
    }
    for (size_t i = 0; i < rec.eeg.size(); ++i) {
      if (rec.eeg[i].type != NewSegment) {
        ASSERT_EQ(rec.eeg[i].position, rec.truePosition[i]) << "seed " << seed << " marker " << i;
      }
    }
  }
  EXPECT_EQ(segments, 240);
}

TEST(DriftModel, AnEegListWithoutSegmentsIsRefused) {
  synthetic::Layout layout;
  layout.triggers = {10};
  layout.lost = {0};
  layout.dateError = {0};
  synthetic::Recording rec = synthetic::Make(layout);
  rec.eeg.erase(rec.eeg.begin());  // the segment marker
  rec.truePosition.erase(rec.truePosition.begin());
  rec.segments.clear();
  EyeEegMatching m(rec, 500.0, 1000.0);
  SynchroParams params;
  const Outcome run = m.Go(params);
  EXPECT_FALSE(run.ok);
  EXPECT_NE(run.out.find("the EEG markers hold no New Segment"), std::string::npos) << run.out;
}

// Two segments on an exact line of slope 2; the second is dated one EEG sample late, so its
// triggers sit one sample high. The shift of -1 puts them back; the second column shows the
// errors had the shift not been made, the third those of the recorded data-file positions.
TEST(DriftModel, LogOfAShiftedSegmentIsExactLineByLine) {
  synthetic::Recording rec;
  auto segmentMarker = [&](uint32_t position, uint32_t inserted) {
    CMarker segment;
    segment.type = NewSegment;
    segment.code = SEGMENT_CODE;
    segment.flag = 1;
    segment.position = position;
    segment.samplesInserted = inserted;
    rec.eeg.push_back(segment);
  };
  auto trigger = [&](uint16_t code, uint32_t x, uint32_t y) {
    CMarker t;
    t.code = code;
    t.position = x;
    rec.et.push_back(t);
    t.position = y;
    rec.eeg.push_back(t);
  };
  segmentMarker(0, 0);
  trigger(5, 100, 1000);
  trigger(6, 200, 1200);
  trigger(7, 300, 1400);
  segmentMarker(1500, 1001);
  trigger(8, 1100, 3001);
  trigger(9, 1200, 3201);
  trigger(10, 1300, 3401);
  rec.segments = {&rec.eeg[0], &rec.eeg[4]};
  EyeEegMatching m(rec, 500.0, 1000.0);
  SynchroParams params;
  const Outcome run = m.Go(params);
  ASSERT_TRUE(run.ok) << run.out;
  EXPECT_EQ(rec.segments[1]->correction, -1);
  EXPECT_EQ(rec.segments[1]->samplesInserted, 1000u);
  EXPECT_EQ(rec.eeg[5].position, 3000u);
  EXPECT_EQ(rec.eeg[7].position, 3400u);
  EXPECT_EQ(rec.segments[1]->position, 1500u);
  const std::string zero = "        0.00000                  0.00000                   0.00000\n";
  const std::string shifted = "        0.00000                 -0.50000                 500.00000\n";
  EXPECT_EQ(run.globalError,
            "matchingSlope = 2\nslopePerSegment = 2\n2 2 \nnbTriggers = 6\n"
            "triggersPerSegment = 2\n3 3 \nsamplesInsertedBefore = 2\n0 1000 \n"
            "correctionInsertedBefore = 2\n0 -1 \n"
            "[final drift on, shift on] [drift on, shift off] [drift off, shift off]\n" +
                zero + zero + zero + shifted + shifted + shifted);
  EXPECT_EQ(run.histogram,
            "-5     0\n-4     0\n-3     0\n-2     0\n-1     0\n 0     6\n 1     0\n 2     0\n"
            " 3     0\n 4     0\n 5     0\nTrigger count: 6\nMean: 0\nStd: 0\n");
  const std::string perTrigger = testsupport::ReadFile(m.dir / "HistoPerTriggerError.txt");
  EXPECT_EQ(perTrigger.rfind("Histrogram for trigger '5'\n-5     0\n", 0), 0u) << perTrigger;
  EXPECT_NE(perTrigger.find("Histrogram for trigger '10'\n"), std::string::npos);
  EXPECT_EQ(perTrigger.find("Mean: "), std::string::npos);
  EXPECT_DOUBLE_EQ(params.quality.rSquared, 1.0);
}
