#pragma once

#include <vector>

#include "varnixlib/asc/event.h"

/// A fixation (types 1016, 1017) or a saccade (1018, 1019) of one eye, from its EFIX or ESACC line.
/// Fields that do not apply to the kind stay 0.0.
class FixationSaccade : public Event {
 public:
  FixationSaccade() = default;
  FixationSaccade(uint16_t type, uint32_t start, uint32_t end, uint32_t line)
      : Event(type, start, end, line) {}


  double startX = 0.0;
  double startY = 0.0;
  double endX = 0.0;
  double endY = 0.0;
  double averagePupilSizeFixation = 0.0;
  double amplitudeSaccade = 0.0;
  double peakVelocitySaccade = 0.0;
};
