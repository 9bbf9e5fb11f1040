#pragma once

#include <cstdint>

/// One trigger common to two lists: its index in the first list and that of its partner in the second.
struct MatchedPair {
  uint64_t first = 0;
  uint64_t second = 0;
};
