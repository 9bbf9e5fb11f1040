#pragma once

#include "varnixlib/asc/event.h"

/// A TTL code received by the eye tracker (or read from a reference TTL file); start = end.
class Trigger : public Event {
 public:
  Trigger() = default;
  Trigger(uint16_t value, uint32_t sample, uint32_t line) : Event(value, sample, sample, line) {}
};
