#pragma once
// The tracker's eye events: fixations and saccades in turn through every block, and blinks inside
// some saccades (as EyeLink reports them), a share of them one to three samples long, short enough
// to be false blinks. During a blink the tracker has no gaze for either eye.

#include <cstdint>
#include <vector>

#include "experimentplan.h"

enum class EyeEventKind { Fixation, Saccade, Blink };

struct EyeEvent {
  EyeEventKind kind = EyeEventKind::Fixation;
  int64_t first = 0;  ///< global tracker sample index of the first sample
  int64_t last = 0;   ///< of the last sample (inclusive)
};

class EyeEventPlan {
 public:
  void Build(const ExperimentPlan& plan);

  /// Sorted by first sample (a blink follows the saccade that holds it).
  const std::vector<EyeEvent>& Events() const { return myEvents; }
  /// The blinks' sample spans, sorted: samples without gaze.
  const std::vector<EyeEvent>& Blinks() const { return myBlinks; }

 private:
  std::vector<EyeEvent> myEvents;
  std::vector<EyeEvent> myBlinks;
};
