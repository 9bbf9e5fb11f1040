#include "varnixlib/cmarker.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include "varnixlib/support/rounding.h"

namespace {

// The leading number of a piece of the date, 0 when there is none.
double PieceValue(const std::string& text, size_t from, size_t count) {
  if (from >= text.size()) return 0.0;
  const size_t len = std::min(count, text.size() - from);
  double value = 0.0;
  std::from_chars(text.data() + from, text.data() + from + len, value);
  return value;
}

}  // namespace

int32_t CMarker::ComputeClock(double rateHz) {
  const double hours = PieceValue(dateText, 8, 2);
  const double minutes = PieceValue(dateText, 10, 2);
  const double seconds = PieceValue(dateText, 12, 2);
  const double micros = PieceValue(dateText, 14, std::string::npos);
  const double microsOfDay = ((hours * 60.0 + minutes) * 60.0 + seconds) * 1e6 + micros;
  clockSample = microsOfDay * rateHz / 1e6;
  // A high rate or a malformed date gives a clock beyond 32 bits (or no number at all): the
  // rounded value saturates, where a plain conversion would be undefined.
  const double rounded = RoundHalfAway(clockSample);
  if (!(rounded == rounded)) return 0;
  if (rounded >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (rounded <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(rounded);
}
