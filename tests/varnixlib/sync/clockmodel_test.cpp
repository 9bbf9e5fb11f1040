// The fitted clock model, the pairing by timing and the verdict, against generated pair lists with
// a known clock line, known segment-date errors and known stray pairs.

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "varnixlib/sync/clockmatching.h"
#include "varnixlib/sync/clockmodel.h"
#include "varnixlib/sync/syntheticrecording.h"
#include "varnixlib/sync/timingmatch.h"
#include "varnixlib/sync/triggermatching.h"

namespace {

/// Pairs on the line position = a + b · time, segment k's positions moved by error[k] (what a
/// wrong date does to every position from that segment on), each position rounded up as the EEG
/// registers an edge, each time rounded up to the tracker's step.
struct PairList {
  std::vector<ClockPair> pairs;
  std::vector<uint32_t> lost;
};

PairList MakePairs(double b, const std::vector<int>& perSegment, const std::vector<int32_t>& error,
                   double stepMs, uint32_t seed, bool jitter = true) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> spacing(600.0, 1400.0);
  PairList list;
  double t = 1000.0;
  int32_t moved = 0;
  for (size_t k = 0; k < perSegment.size(); ++k) {
    moved += error[k];
    list.lost.push_back(k == 0 ? 0 : 2000);
    for (int i = 0; i < perSegment[k]; ++i) {
      t += spacing(rng);
      const double truth = 40000.0 + b * t;
      ClockPair p;
      p.time = jitter ? std::ceil(t / stepMs) * stepMs : t;
      p.position = (jitter ? std::ceil(truth) : truth) + moved;
      p.segment = static_cast<uint32_t>(k);
      list.pairs.push_back(p);
    }
    t += 3000.0;
  }
  return list;
}

ClockModelSettings Settings(double eegRate, double stepMs) {
  ClockModelSettings s;
  s.eegRate = eegRate;
  s.trackerDelayMs = stepMs / 2.0;
  s.trackerJitterMs = stepMs;
  return s;
}

}  // namespace

TEST(ClockModel, WithoutJitterTheLineAndEverySegmentCorrectionComeBackExactly) {
  struct Case {
    double b;
    std::vector<int> perSegment;
    std::vector<int32_t> error;
  };
  // The last case has more segments than the joint solution takes: they are placed one by one.
  std::vector<int32_t> manyErrors(400, 0);
  for (size_t k = 1; k < manyErrors.size(); ++k) manyErrors[k] = static_cast<int32_t>(k % 7) - 3;
  for (const Case& c : {Case{1.0, {20, 15, 25}, {0, 3, -2}}, Case{0.5 * (1 + 40e-6), {8, 1, 12, 9}, {0, -1, 4, 0}},
                        Case{5.0 * (1 - 30e-6), {30, 0, 30}, {0, 7, -6}},
                        Case{1.0, std::vector<int>(400, 3), manyErrors}}) {
    const PairList list = MakePairs(c.b, c.perSegment, c.error, 1.0, 7, false);
    const ClockModel model = FitClockModel(list.pairs, list.lost, Settings(c.b * 1000.0, 1.0));
    ASSERT_TRUE(model.fitted) << model.failure;
    EXPECT_NEAR(model.slope, c.b, 1e-9 * c.b);
    EXPECT_EQ(model.keptCount, list.pairs.size());
    for (size_t k = 1; k < c.perSegment.size(); ++k) {
      // A segment without pairs keeps its date; the next one with pairs takes both errors.
      const int32_t expected = c.perSegment[k] == 0 ? 0
                               : (k >= 2 && c.perSegment[k - 1] == 0) ? -(c.error[k] + c.error[k - 1])
                                                                      : -c.error[k];
      EXPECT_EQ(model.corrections[k], expected) << "b " << c.b << " segment " << k;
    }
  }
}

TEST(ClockModel, RegisteredPairsPlaceEverySegmentAndStrayPairsAreLeftOut) {
  // Many generated sessions: 1 kHz EEG against a tracker stamping to the ms, and a 500 Hz EEG
  // against one stamping on its 4 ms grid; dates off by up to 3 ms; three stray pairs each.
  int wrong = 0, sessions = 0;
  for (const auto& [rate, step] : {std::pair{1000.0, 1.0}, std::pair{500.0, 4.0}}) {
    for (uint32_t seed = 1; seed <= 20; ++seed) {
      std::mt19937 rng(seed);
      std::uniform_int_distribution<int32_t> dateError(-3, 3);
      std::vector<int32_t> error = {0, dateError(rng), dateError(rng), dateError(rng)};
      const double b = rate / 1000.0 * (1.0 + (static_cast<double>(seed) - 10.0) * 5e-6);
      PairList list = MakePairs(b, {120, 120, 120, 120}, error, step, seed);
      for (const size_t stray : {17u, 200u, 401u}) list.pairs[stray].position += 40.0;
      const ClockModel model = FitClockModel(list.pairs, list.lost, Settings(rate, step));
      ASSERT_TRUE(model.fitted);
      ++sessions;
      bool allRight = true;
      for (size_t k = 1; k < error.size(); ++k) allRight = allRight && model.corrections[k] == -error[k];
      wrong += allRight ? 0 : 1;
      EXPECT_TRUE(allRight) << rate << " Hz, seed " << seed;
      EXPECT_EQ(model.keptCount, list.pairs.size() - 3) << rate << " Hz, seed " << seed;
      EXPECT_FALSE(model.kept[17] || model.kept[200] || model.kept[401]);
      EXPECT_NEAR(model.driftPpm, (b / (rate / 1000.0) - 1.0) * 1e6, 5.0);
    }
  }
  EXPECT_EQ(wrong, 0) << "of " << sessions;
}

TEST(ClockModel, TooFewPairsOrNoSpanGiveNoModelWithAReason) {
  const PairList one = MakePairs(1.0, {1, 1}, {0, 0}, 1.0, 1);
  const ClockModel model = FitClockModel(one.pairs, one.lost, Settings(1000.0, 1.0));
  EXPECT_FALSE(model.fitted);
  EXPECT_FALSE(model.failure.empty());
}

TEST(PairVerdict, RefusesTooFewMatchedTooFewOnTheLineOrAnImpossibleDrift) {
  const PairList good = MakePairs(1.0, {60}, {0}, 1.0, 3);
  const ClockModelSettings settings = Settings(1000.0, 1.0);
  const ClockModel model = FitClockModel(good.pairs, good.lost, settings);
  EXPECT_TRUE(JudgePair(model, 60, 62, 65, settings).accepted);
  // Most triggers of the shorter list went unmatched.
  const PairVerdict few = JudgePair(model, 60, 200, 400, settings);
  EXPECT_FALSE(few.accepted);
  EXPECT_NE(few.reason.find("60 of 200 tracker triggers matched"), std::string::npos) << few.reason;

  // Pairs that belong to no common line: every other one scattered by hundreds of ms.
  PairList scattered = good;
  for (size_t p = 0; p < scattered.pairs.size(); p += 2) scattered.pairs[p].position += 100.0 + 37.0 * p;
  const ClockModel loose = FitClockModel(scattered.pairs, scattered.lost, settings);
  EXPECT_FALSE(JudgePair(loose, 60, 60, 60, settings).accepted);

  // A clock ratio no two clocks have (4,000 ppm).
  const PairList fast = MakePairs(1.004, {60}, {0}, 1.0, 3);
  const ClockModel wrongRate = FitClockModel(fast.pairs, fast.lost, settings);
  const PairVerdict drift = JudgePair(wrongRate, 60, 60, 60, settings);
  EXPECT_FALSE(drift.accepted);
  EXPECT_NE(drift.reason.find("ppm"), std::string::npos) << drift.reason;
}

TEST(TimingMatch, OneCodeSessionsWithLateStartsAndEarlyStopsPairTheSameTriggers) {
  // Every trigger carries code 1. The tracker misses the first `late` triggers, the EEG the last
  // `early`: the codes alone pair the lists from their starts, trial k with trial k + late.
  for (const uint32_t late : {0u, 1u, 5u, 9u}) {
    for (const uint32_t early : {0u, 4u}) {
      synthetic::Layout layout;
      layout.triggers = {60, 50};
      layout.lost = {0, 1500};
      layout.dateError = {0, 2};
      layout.etPeriodMs = 1;
      layout.seed = 11 + late;
      synthetic::Recording rec = synthetic::Make(layout);
      for (CMarker& m : rec.et) m.code = 1;
      for (CMarker& m : rec.eeg) {
        if (m.type == Stimulus && m.code != OVERFLOW_CODE) m.code = 1;
      }
      rec.et.erase(rec.et.begin(), rec.et.begin() + late);
      uint32_t dropped = 0;
      while (dropped < early && rec.eeg.back().type == Stimulus) {
        rec.eeg.pop_back();
        ++dropped;
      }
      TimingMatchSettings settings;
      settings.samplesPerMs = 1.0;
      const std::vector<MatchedPair> pairs = MatchByTiming(rec.et, rec.eeg, settings);
      ASSERT_FALSE(pairs.empty()) << late << " late, " << early << " early";
      EXPECT_EQ(pairs.size(), 110u - late - early) << late << " late, " << early << " early";
      for (const MatchedPair& p : pairs) {
        ASSERT_EQ(rec.et[p.first].extra, rec.eeg[p.second].extra) << late << " late, " << early << " early";
      }
    }
  }
}

TEST(FitClocks, TheTimingDecidesWhereTheCodesPairTrialsOfDifferentTimes) {
  synthetic::Layout layout;
  layout.triggers = {80, 70};
  layout.lost = {0, 1500};
  layout.dateError = {0, -2};
  layout.etPeriodMs = 1;
  synthetic::Recording rec = synthetic::Make(layout);
  for (CMarker& m : rec.et) m.code = 1;
  for (CMarker& m : rec.eeg) {
    if (m.type == Stimulus) m.code = 1;
  }
  rec.et.erase(rec.et.begin(), rec.et.begin() + 5);  // the tracker started five trials late
  MatchingResult result;
  SynchroParams params;
  ASSERT_TRUE(TriggerMatching(MatchingInput{&rec.et, &rec.eeg, 1.0, &rec.segments}).MatchCodes(params, result));
  FitClocks(rec.et, rec.eeg, rec.segments, 1.0, ClockSettingsFor(1000.0, 1.0, rec.et), result);
  EXPECT_TRUE(result.timingDecided);
  EXPECT_TRUE(result.verdict.accepted) << result.verdict.reason;
  ASSERT_EQ(result.pairs.size(), 145u);
  for (const MatchedPair& p : result.pairs) ASSERT_EQ(rec.et[p.first].extra, rec.eeg[p.second].extra);
  EXPECT_EQ(result.segments[1].correction, 2);
  EXPECT_EQ(result.segments[1].samplesInserted, 1500u);
}
