#include "eyeeventplan.h"

#include <algorithm>
#include <cmath>

#include "simrandom.h"

namespace {
constexpr uint64_t kStreamEyeEvents = 3;
}

void EyeEventPlan::Build(const ExperimentPlan& plan) {
  myEvents.clear();
  myBlinks.clear();
  const SimOptions& o = plan.Options();
  if (!o.eyeEvents) return;
  SimRandom rng = SimRandom(o.seed).Fork(kStreamEyeEvents);
  const double period = plan.SamplePeriodMs();
  auto samples = [&](double ms) { return std::max<int64_t>(2, static_cast<int64_t>(std::llround(ms / period))); };
  auto nextBlinkGap = [&]() { return -o.blinkIntervalMs * std::log(1.0 - rng.Uniform()); };
  double nextBlinkMs = plan.SampleTime(0) + (o.blinkIntervalMs > 0.0 ? nextBlinkGap() : 0.0);

  for (const RecordingBlock& block : plan.Blocks()) {
    const int64_t end = block.EndSample() - 2;  // leave the block's last samples without an open event
    int64_t k = block.firstSample + 2;
    while (k < end) {
      EyeEvent fix{EyeEventKind::Fixation, k, k + samples(rng.Uniform(150.0, 450.0)) - 1};
      if (fix.last >= end) break;
      myEvents.push_back(fix);
      k = fix.last + 1;
      if (o.blinkIntervalMs > 0.0 && plan.SampleTime(k) >= nextBlinkMs) {
        nextBlinkMs = plan.SampleTime(k) + nextBlinkGap();
        const bool falseBlink = rng.Uniform() < o.falseBlinkFraction;
        const int64_t length = falseBlink ? 1 + rng.Below(3) : samples(rng.Uniform(60.0, 200.0));
        EyeEvent blink{EyeEventKind::Blink, k + 2, k + 1 + length};
        EyeEvent sacc{EyeEventKind::Saccade, k, blink.last + 2};
        if (sacc.last >= end) break;
        myEvents.push_back(sacc);
        myEvents.push_back(blink);
        myBlinks.push_back(blink);
        k = sacc.last + 1;
      } else {
        EyeEvent sacc{EyeEventKind::Saccade, k, k + samples(rng.Uniform(20.0, 60.0)) - 1};
        if (sacc.last >= end) break;
        myEvents.push_back(sacc);
        k = sacc.last + 1;
      }
    }
  }
}
