#pragma once

#include <cmath>

/// Round half away from zero: 2.5 -> 3, -2.5 -> -3. Kept as a double so callers choose the width.
inline double RoundHalfAway(double x) { return x >= 0.0 ? std::trunc(x + 0.5) : std::trunc(x - 0.5); }
