#pragma once

#include "varnixlib/asc/event.h"

/// A TTL code received by the eye tracker (or read from a reference TTL file); start = end.
class Trigger : public Event {
 public:
  Trigger() = default;
  Trigger(uint16_t value, uint32_t sample, uint32_t line, double timestamp = 0.0)
      : Event(value, sample, sample, line), timestamp(timestamp) {}

  /// The tracker's own time of the trigger, ms: finer than the sample grid below 1000 Hz, and what
  /// the clock model is fitted to (with EDF2ASC's half milliseconds at 2000 Hz).
  double timestamp = 0.0;
};
