#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "varnixlib/asc/event.h"

/// A sequence of the experiment flow (type 1015), from BEGIN SEQUENCE to END SEQUENCE.
class CSequence : public Event {
 public:
  CSequence() = default;
  /// From the number and name tokens of a BEGIN SEQUENCE message at sample m.
  CSequence(std::string_view numberToken, std::string_view nameToken, uint32_t m, uint32_t line);
  /// Made by hand, as the "unknown" sequence of an END SEQUENCE without its begin.
  CSequence(uint16_t type, uint32_t start, uint32_t line, uint16_t index, std::string name);


  uint16_t index = 0;
  std::string name;
};
