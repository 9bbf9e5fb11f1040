#include "experimentplan.h"

#include <algorithm>
#include <cmath>

#include "simrandom.h"

namespace {
// Random streams of the plan; fixed numbers so one knob does not change the draws of another.
enum Stream : uint64_t { kStreamTiming = 1, kStreamTriggers = 2 };
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
  if (!PlanBlocks(error) || !PlanEeg(error)) return false;
  PlanTriggers();
  return true;
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

bool ExperimentPlan::PlanEeg(std::string& error) {
  const SimOptions& o = myOptions;
  myClock = ClockModel(static_cast<double>(myTrackerStartMs) + o.offsetMs, o.driftPpm, o.eegRateHz);
  const double endMs = SampleTime(myBlocks.back().EndSample()) + kEegTailMs;
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
  trigger.trackerTimestamp = ClockModel::TrackerTimestamp(trigger.trueMs);
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
        partner.releaseTimestamp = ClockModel::TrackerTimestamp(std::max(pulseEnd, partner.trueMs + 1.0));
        myTriggers.push_back(trigger);
        myTriggers.push_back(partner);
      } else {
        trigger.releaseTimestamp = ClockModel::TrackerTimestamp(pulseEnd);
        myTriggers.push_back(trigger);
      }
      ++primary;
      t = trigger.trueMs + o.triggerIntervalMs * rng.Uniform(0.6, 1.4);
    }
  }
}
