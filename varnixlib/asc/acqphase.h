#pragma once

#include <string_view>

#include "varnixlib/asc/event.h"

/// A phase of the experiment (1022 learning, 1023 testing), from BEGIN PHASE to END PHASE.
class AcqPhase : public Event {
 public:
  AcqPhase() = default;
  AcqPhase(uint16_t type, uint32_t start, uint32_t end, uint32_t line) : Event(type, start, end, line) {}
  /// From the phase token of a BEGIN PHASE message at sample m.
  AcqPhase(std::string_view phaseToken, uint32_t m, uint32_t line);
};
