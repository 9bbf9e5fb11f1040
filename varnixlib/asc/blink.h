#pragma once

#include "varnixlib/asc/event.h"

/// A blink of one eye (1020 left, 1021 right), from its EBLINK line.
class Blink : public Event {
 public:
  Blink() = default;
  Blink(uint16_t type, uint32_t start, uint32_t end, uint32_t line) : Event(type, start, end, line) {}
};
