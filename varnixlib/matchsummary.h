#pragma once
// The final eye-tracker/EEG pairs condensed for the MAT export.

#include <cstdint>
#include <vector>

struct MatchSummary {
  std::vector<uint16_t> codes;          ///< eye-tracker code of every pair
  std::vector<int32_t> firstOffsets;    ///< x - x0, eye-tracker samples
  std::vector<int32_t> secondOffsets;   ///< y - y0, EEG samples after the segment shifts
  std::vector<int16_t> roundedErrors;   ///< against the end-to-end line, eye-tracker samples
  int32_t x0 = 0;                       ///< eye-tracker position of the first pair
  int32_t y0 = 0;                       ///< EEG position of the first pair
  double R2 = 0.0;                      ///< of the end-to-end line
};
