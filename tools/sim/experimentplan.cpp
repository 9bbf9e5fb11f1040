#include "experimentplan.h"

#include <algorithm>
#include <cmath>

#include "simrandom.h"

namespace {
// Random streams of the plan; fixed numbers so one knob does not change the draws of another.
enum Stream : uint64_t { kStreamTiming = 1, kStreamTriggers = 2, kStreamOutliers = 7, kStreamDates = 8 };
// Triggers keep this far from a block's edges, so the tracker sees both edges of every pulse.
constexpr double kTriggerMarginMs = 300.0;
// The EEG keeps recording this long after the tracker's last block.
constexpr double kEegTailMs = 1000.0;
}  // namespace

int64_t ExperimentPlan::SampleTimestamp(int64_t k) const {
  return static_cast<int64_t>(std::floor(SampleTime(k) + 1e-9));
}

bool ExperimentPlan::Build(const SimOptions& options, std::string& error) {
  myOptions = options;
  myPeriodMs = 1000.0 / options.gazeRateHz;
  SimRandom timing = SimRandom(options.seed).Fork(kStreamTiming);
  // A tracker clock that has been running for a while, as after a boot and a calibration.
  myTrackerStartMs = 1000000 + static_cast<int64_t>(timing.Below(8000000));
  myDate = RecordingDate{};
  myDate.microsecondOfDay = (10LL * 3600 + 15 * 60 + 30) * 1000000LL + timing.Below(1000000);
  if (options.pattern == CodePattern::Adjacent && options.codeMax < 2) {
    error = "--pattern adjacent needs --code-max of at least 2";
    return false;
  }
  if (!PlanBlocks(error) ||
      !PlanEeg(static_cast<double>(myTrackerStartMs) + options.offsetMs,
               SampleTime(myBlocks.back().EndSample()) + kEegTailMs, error))
    return false;
  PlanTriggers();
  // The triggers keep their true times through the cuts: a device that starts late or stops early,
  // or misses a trigger, changes what it recorded, not what happened.
  if (!CutEeg(error) || !CutTracker(error) || !PlanOutliers(error)) return false;
  if (options.dateErrorMs > 0.0) StampDateErrors();
  return true;
}

int64_t ExperimentPlan::TrackerRegistration(double trueMs) const {
  if (!myOptions.trackerGrid) return ClockModel::TrackerTimestamp(trueMs);
  // Compared as printed (truncated to the millisecond), as a reader of the file sees the grid.
  int64_t k = static_cast<int64_t>(std::floor((trueMs - static_cast<double>(myTrackerStartMs)) / myPeriodMs));
  while (static_cast<double>(SampleTimestamp(k)) < trueMs - 1e-9) ++k;
  return SampleTimestamp(k);
}

bool ExperimentPlan::HasTriggerFaults() const {
  const SimOptions& o = myOptions;
  return o.outliers > 0 || o.eegStartLate > 0 || o.eegStopEarly > 0 || o.trackerStartLate > 0 ||
         o.trackerStopEarly > 0;
}

bool ExperimentPlan::PlanBlocks(std::string& error) {
  const SimOptions& o = myOptions;
  const double totalMs = o.durationSec * 1000.0;
  const double blockMs = (totalMs - (o.blocks - 1) * o.blockGapMs) / o.blocks;
  if (blockMs < 2.0 * kTriggerMarginMs + 400.0) {
    error = "--duration too short for that many --blocks (each block needs at least one second)";
    return false;
  }
  const int64_t blockSamples = static_cast<int64_t>(std::floor(blockMs / myPeriodMs));
  const int64_t gapSamples = static_cast<int64_t>(std::llround(o.blockGapMs / myPeriodMs));
  myBlocks.clear();
  for (uint32_t b = 0; b < o.blocks; ++b)
    myBlocks.push_back({static_cast<int64_t>(b) * (blockSamples + gapSamples), blockSamples});
  return true;
}

bool ExperimentPlan::PlanEeg(double startMs, double endMs, std::string& error) {
  const SimOptions& o = myOptions;
  myClock = ClockModel(startMs, o.driftPpm, o.eegRateHz);
  const double total = std::ceil(myClock.EegPosition(endMs));
  if (total < 10.0) {
    error = "the EEG would record almost nothing: check --offset";
    return false;
  }
  if (total * o.channels > 4.0e11) {
    error = "the EEG recording would be too large";
    return false;
  }
  const uint64_t n = static_cast<uint64_t>(total);

  std::vector<Interruption> gaps;
  const uint64_t pauseLoss = static_cast<uint64_t>(std::llround(o.segmentLossMs * o.eegRateHz / 1000.0));
  for (uint32_t i = 1; i < o.segments; ++i)
    gaps.push_back({static_cast<uint64_t>(std::llround(static_cast<double>(n) * i / o.segments)), pauseLoss,
                    SegmentKind::Pause});
  if (o.overflowLossMs > 0.0) {
    double atMs = 0.0;
    if (o.overflowAtSec >= 0.0) {
      atMs = static_cast<double>(myTrackerStartMs) + o.overflowAtSec * 1000.0;
    } else {
      // Mid-recording, but inside a block, so the overflow swallows triggers.
      const double middle = SampleTime(myBlocks.back().EndSample() / 2);
      const RecordingBlock* best = &myBlocks.front();
      for (const RecordingBlock& b : myBlocks) {
        const double centre = SampleTime(b.firstSample + b.sampleCount / 2);
        const double bestCentre = SampleTime(best->firstSample + best->sampleCount / 2);
        if (std::fabs(centre - middle) < std::fabs(bestCentre - middle)) best = &b;
      }
      atMs = SampleTime(best->firstSample + best->sampleCount / 2);
    }
    const double at = std::ceil(myClock.EegPosition(atMs));
    const uint64_t lost = std::max<uint64_t>(1, std::llround(o.overflowLossMs * o.eegRateHz / 1000.0));
    if (at <= 0.0) {
      error = "--overflow-at lies before the EEG start";
      return false;
    }
    gaps.push_back({static_cast<uint64_t>(at), lost, SegmentKind::Overflow});
  }
  return myLayout.Build(n, gaps, o.eegRateHz, myDate, error);
}

double ExperimentPlan::FindCoincidentEdge(double plannedMs, double limitMs, bool& found) const {
  found = false;
  // Only tracker samples on whole milliseconds: the INPUT line then carries the edge's exact time.
  const int64_t step = myPeriodMs < 1.0 ? 2 : 1;
  int64_t k = static_cast<int64_t>(std::ceil((plannedMs - static_cast<double>(myTrackerStartMs)) / myPeriodMs));
  k += (step - k % step) % step;
  constexpr int64_t kSearchLimit = 20000;
  for (int64_t tried = 0; tried < kSearchLimit; ++tried, k += step) {
    const double t = SampleTime(k);
    if (t > limitMs) break;
    const double x = myClock.EegPosition(t);
    const double below = std::ceil(x - 1e-9) - x;  // how far the edge precedes the EEG tick that registers it
    if (below < myOptions.coincideTolerance) {
      found = true;
      return t;
    }
  }
  return plannedMs;
}

void ExperimentPlan::Register(TriggerTruth& trigger) const {
  trigger.trackerTimestamp = TrackerRegistration(trigger.trueMs);
  trigger.eegGapFilled = myClock.RegisteredEegSample(trigger.trueMs);
  trigger.eegFile = myLayout.FilePosition(trigger.eegGapFilled);
}

void ExperimentPlan::PlanTriggers() {
  const SimOptions& o = myOptions;
  SimRandom rng = SimRandom(o.seed).Fork(kStreamTriggers);
  myTriggers.clear();
  uint64_t primary = 0;
  auto randomCode = [&]() { return static_cast<uint16_t>(1 + rng.Below(o.codeMax)); };
  for (const RecordingBlock& block : myBlocks) {
    const double first = SampleTime(block.firstSample) + kTriggerMarginMs;
    const double last = SampleTime(block.EndSample()) - kTriggerMarginMs;
    double t = first + rng.Uniform(0.0, o.triggerIntervalMs);
    while (t < last) {
      TriggerTruth trigger;
      trigger.trueMs = t;
      if (o.coincident) trigger.trueMs = FindCoincidentEdge(t, last, trigger.coincident);
      if (trigger.trueMs >= last) break;
      switch (o.pattern) {
        case CodePattern::Repeat: trigger.code = static_cast<uint16_t>(1 + primary % o.repeatCycle); break;
        default: trigger.code = randomCode(); break;
      }
      Register(trigger);
      const double pulseEnd = trigger.trueMs + o.pulseMs;
      const bool withPartner = o.pattern == CodePattern::Adjacent && primary % o.adjacentEvery == o.adjacentEvery - 1;
      if (withPartner) {
        // The port changes to a second code just before the EEG's next tick after the first edge,
        // so the amplifier shows two stimuli one sample apart.
        TriggerTruth partner;
        partner.adjacent = true;
        partner.trueMs = myClock.TrueTimeOfEegSample(static_cast<double>(trigger.eegGapFilled) + 0.75);
        do partner.code = randomCode();
        while (partner.code == trigger.code);
        Register(partner);
        partner.releaseTimestamp = TrackerRegistration(std::max(pulseEnd, partner.trueMs + 1.0));
        myTriggers.push_back(trigger);
        myTriggers.push_back(partner);
      } else {
        trigger.releaseTimestamp = TrackerRegistration(pulseEnd);
        myTriggers.push_back(trigger);
      }
      ++primary;
      t = trigger.trueMs + o.triggerIntervalMs * rng.Uniform(0.6, 1.4);
    }
  }
}

bool ExperimentPlan::TimeBetween(size_t i, const char* knob, double& ms, std::string& error) const {
  const TriggerTruth& before = myTriggers[i];
  const TriggerTruth& after = myTriggers[i + 1];
  if (after.adjacent) {
    error = std::string(knob) + " would fall between trigger " + std::to_string(i + 1) +
            " and its adjacent partner; choose another count";
    return false;
  }
  // Midway between the port returning to 0 and its next edge: the port is idle there.
  ms = 0.5 * (before.trueMs + myOptions.pulseMs + after.trueMs);
  return true;
}

bool ExperimentPlan::CutEeg(std::string& error) {
  const SimOptions& o = myOptions;
  if (o.eegStartLate == 0 && o.eegStopEarly == 0) return true;
  const size_t n = myTriggers.size();
  if (static_cast<size_t>(o.eegStartLate) + o.eegStopEarly >= n) {
    error = "--eeg-start-late and --eeg-stop-early leave the EEG none of the " + std::to_string(n) + " triggers";
    return false;
  }
  double startMs = myClock.EegStartMs();
  double endMs = SampleTime(myBlocks.back().EndSample()) + kEegTailMs;
  if (o.eegStartLate > 0) {
    double cut = 0.0;
    if (!TimeBetween(o.eegStartLate - 1, "--eeg-start-late", cut, error)) return false;
    // Starting on one of the planned EEG samples moves every sample by a whole number of periods,
    // so coincident edges stay coincident and the recording's samples keep their true times.
    const double first = std::ceil(myClock.EegPosition(cut));
    if (first <= 0.0) {
      error = "--eeg-start-late " + std::to_string(o.eegStartLate) + ": the EEG already starts after that trigger "
              "(see --offset)";
      return false;
    }
    startMs = myClock.TrueTimeOfEegSample(first);
  }
  if (o.eegStopEarly > 0 && !TimeBetween(n - o.eegStopEarly - 1, "--eeg-stop-early", endMs, error)) return false;
  // The recording date is the PC's clock at the EEG's first sample: it moves with the start, so the
  // tracker's wall clock stays where it was.
  myDate.microsecondOfDay += std::llround((startMs - myClock.EegStartMs()) * 1000.0);
  if (!PlanEeg(startMs, endMs, error)) return false;
  for (TriggerTruth& t : myTriggers) Register(t);
  const size_t firstSeen = o.eegStartLate, lastSeen = n - o.eegStopEarly - 1;
  const int64_t total = static_cast<int64_t>(myLayout.TotalSamples());
  // The EEG registers an edge at its next sample, so an edge less than a sample before the start
  // would still show; refuse rather than record another count than asked.
  const bool startHolds = firstSeen == 0 || (myTriggers[firstSeen - 1].eegGapFilled < 0 &&
                                             myTriggers[firstSeen].eegGapFilled >= 0);
  const bool stopHolds = lastSeen + 1 == n || (myTriggers[lastSeen + 1].eegGapFilled >= total &&
                                               myTriggers[lastSeen].eegGapFilled < total);
  if (!startHolds || !stopHolds) {
    error = "no EEG sample falls between the triggers where --eeg-start-late or --eeg-stop-early cuts; "
            "a higher --eeg-rate or a longer --trigger-interval helps";
    return false;
  }
  return true;
}

bool ExperimentPlan::CutTracker(std::string& error) {
  const SimOptions& o = myOptions;
  if (o.trackerStartLate == 0 && o.trackerStopEarly == 0) return true;
  const size_t n = myTriggers.size();
  if (static_cast<size_t>(o.trackerStartLate) + o.trackerStopEarly >= n) {
    error = "--tracker-start-late and --tracker-stop-early leave the tracker none of the " + std::to_string(n) +
            " triggers";
    return false;
  }
  const double origin = static_cast<double>(myTrackerStartMs);
  if (o.trackerStartLate > 0) {
    const size_t firstSeen = o.trackerStartLate;
    double cut = 0.0;
    if (!TimeBetween(firstSeen - 1, "--tracker-start-late", cut, error)) return false;
    const int64_t k = static_cast<int64_t>(std::ceil((cut - origin) / myPeriodMs - 1e-9));
    if (!(SampleTime(k) < myTriggers[firstSeen].trueMs)) {
      error = "no tracker sample falls between the triggers where --tracker-start-late cuts; a higher "
              "--gaze-rate or a longer --trigger-interval helps";
      return false;
    }
    std::vector<RecordingBlock> kept;
    for (RecordingBlock b : myBlocks) {
      if (b.EndSample() <= k) continue;
      if (b.firstSample < k) {
        b.sampleCount -= k - b.firstSample;
        b.firstSample = k;
      }
      kept.push_back(b);
    }
    myBlocks = kept;
    for (size_t i = 0; i < firstSeen; ++i) myTriggers[i].trackerRecording = false;
  }
  if (o.trackerStopEarly > 0) {
    const size_t lastSeen = n - o.trackerStopEarly - 1;
    double cut = 0.0;
    if (!TimeBetween(lastSeen, "--tracker-stop-early", cut, error)) return false;
    const int64_t k = static_cast<int64_t>(std::floor((cut - origin) / myPeriodMs + 1e-9));
    // The last trigger it sees must be seen whole: its return to 0 inside the block.
    if (SampleTimestamp(k) < myTriggers[lastSeen].releaseTimestamp) {
      error = "no tracker sample falls between the triggers where --tracker-stop-early cuts; a higher "
              "--gaze-rate or a longer --trigger-interval helps";
      return false;
    }
    std::vector<RecordingBlock> kept;
    for (RecordingBlock b : myBlocks) {
      if (b.firstSample > k) continue;
      if (b.EndSample() > k + 1) b.sampleCount = k + 1 - b.firstSample;
      kept.push_back(b);
    }
    myBlocks = kept;
    for (size_t i = lastSeen + 1; i < n; ++i) myTriggers[i].trackerRecording = false;
  }
  return true;
}

bool ExperimentPlan::InsideTrackerBlock(int64_t timestamp) const {
  for (const RecordingBlock& b : myBlocks)
    if (timestamp >= SampleTimestamp(b.firstSample) && timestamp <= SampleTimestamp(b.EndSample() - 1)) return true;
  return false;
}

bool ExperimentPlan::PlanOutliers(std::string& error) {
  const SimOptions& o = myOptions;
  if (o.outliers == 0) return true;
  SimRandom rng = SimRandom(o.seed).Fork(kStreamOutliers);
  // A double's second pulse starts at least one tracker period after the first one ended, so that
  // even a device sampling the port on its grid sees it low in between.
  auto doubleDelay = [&](double extra) { return o.pulseMs + myPeriodMs + extra; };
  const double longest = doubleDelay(5.0) + o.pulseMs + 1.0;
  std::vector<size_t> eligible;
  for (size_t i = 0; i < myTriggers.size(); ++i) {
    const TriggerTruth& t = myTriggers[i];
    const bool last = i + 1 == myTriggers.size();
    // An adjacent pair is one port event to both devices; an outlier inside it would be two.
    if (t.adjacent || (!last && myTriggers[i + 1].adjacent) || !t.InEeg() || !t.InTracker()) continue;
    const double end = t.trueMs + longest;
    if (!last && myTriggers[i + 1].trueMs <= end) continue;
    if (myLayout.SegmentOf(myClock.RegisteredEegSample(end)) != myLayout.SegmentOf(t.eegGapFilled)) continue;
    if (!InsideTrackerBlock(TrackerRegistration(end))) continue;
    eligible.push_back(i);
  }
  if (eligible.size() < o.outliers) {
    error = "--outliers " + std::to_string(o.outliers) + ": only " + std::to_string(eligible.size()) +
            " triggers are recorded by both devices with room for one";
    return false;
  }
  for (uint32_t k = 0; k < o.outliers; ++k) {
    const size_t pick = k + rng.Below(static_cast<uint32_t>(eligible.size() - k));
    std::swap(eligible[k], eligible[pick]);
    TriggerTruth& t = myTriggers[eligible[k]];
    t.outlier = static_cast<Outlier>(1 + rng.Below(4));
    if (t.outlier == Outlier::EegDouble || t.outlier == Outlier::TrackerDouble) {
      t.doubleMs = t.trueMs + doubleDelay(rng.Uniform(1.0, 5.0));
      if (t.outlier == Outlier::EegDouble) {
        t.doubleEegFile = myLayout.FilePosition(myClock.RegisteredEegSample(t.doubleMs));
      } else {
        t.doubleTimestamp = TrackerRegistration(t.doubleMs);
        t.doubleReleaseTimestamp = TrackerRegistration(t.doubleMs + o.pulseMs);
      }
    }
  }
  return true;
}

void ExperimentPlan::StampDateErrors() {
  SimRandom rng = SimRandom(myOptions.seed).Fork(kStreamDates);
  std::vector<int64_t> errorsUs;
  for (size_t i = 0; i < myLayout.Segments().size(); ++i)
    errorsUs.push_back(std::llround(rng.Uniform(-myOptions.dateErrorMs, myOptions.dateErrorMs) * 1000.0));
  myLayout.StampDateErrors(errorsUs, myOptions.eegRateHz, myDate);
}
