#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "varnixlib/asc/event.h"
#include "varnixlib/mat/matcomponents.h"

/// A sequence of the experiment flow (type 1015), from BEGIN SEQUENCE to END SEQUENCE.
class CSequence : public Event {
 public:
  CSequence() = default;
  /// From the number and name tokens of a BEGIN SEQUENCE message at sample m.
  CSequence(std::string_view numberToken, std::string_view nameToken, uint32_t m, uint32_t line);
  /// Made by hand, as the "unknown" sequence of an END SEQUENCE without its begin.
  CSequence(uint16_t type, uint32_t start, uint32_t line, uint16_t index, std::string name);

  /// The fields of the MAT list "Sequences" beside the common ones: index (1-by-N uint16) and
  /// name (N-by-W char).
  static bool AddMatFields(MatComponents& components, const std::vector<const CSequence*>& items);

  uint16_t index = 0;
  std::string name;
};
