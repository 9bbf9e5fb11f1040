#include "varnixlib/merge/framesampler.h"

#include <cmath>
#include <limits>

template <typename Source, typename Output>
FrameSampler<Source, Output>::FrameSampler(const Source* source, uint64_t sourceFrames,
                                           uint32_t channels, uint64_t startFrame, double step,
                                           Source missing, Output missingOut, bool lastNearest,
                                           Output** cursor)
    : mySource(source),
      mySourceFrames(sourceFrames),
      myChannels(channels),
      myStartFrame(startFrame),
      myStep(step),
      myMissing(missing),
      myMissingOut(missingOut),
      myLastNearest(lastNearest && channels > 0),
      myCursor(cursor) {}

template <typename Source, typename Output>
bool FrameSampler<Source, Output>::IsMissing(Source value) const {
  if constexpr (std::is_floating_point_v<Source>) {
    return std::isnan(value) | (value == myMissing);
  } else {
    return value == myMissing;
  }
}

template <typename Source, typename Output>
Output FrameSampler<Source, Output>::Convert(double value) {
  if constexpr (std::is_integral_v<Output>) {
    // A value outside the type would be undefined behaviour when cast; clamp it instead.
    constexpr double lo = std::numeric_limits<Output>::min();
    constexpr double hi = std::numeric_limits<Output>::max();
    if (!(value >= lo)) return std::numeric_limits<Output>::min();
    if (value > hi) return std::numeric_limits<Output>::max();
    return static_cast<Output>(std::trunc(value));
  } else {
    return static_cast<Output>(value);
  }
}

template <typename Source, typename Output>
bool FrameSampler<Source, Output>::Sample(uint64_t index) {
  // 0 + x is x exactly: without a fraction the points are those of the step alone.
  const double t = myStartFraction + static_cast<double>(index) * myStep;
  const uint64_t k = static_cast<uint64_t>(t);
  const double f = t - static_cast<double>(k);
  // The later neighbour must start before the source's last frame.
  const uint64_t b = myStartFrame + k + 1;
  if (mySourceFrames == 0 || b < myStartFrame || b >= mySourceFrames - 1) return false;

  const Source* frameA = mySource + (b - 1) * myChannels;
  const Source* frameB = frameA + myChannels;
  Output* out = *myCursor;
  const uint32_t interpolated = myLastNearest ? myChannels - 1 : myChannels;
  // Both loops compute every channel and choose afterwards, without a branch per value, so that
  // the compiler can take several channels per instruction: this is the run's innermost loop.
  // The members are read into locals first, as out might otherwise alias them.
  const Source missing = myMissing;
  const Output missingOut = myMissingOut;
  auto isMissing = [missing](Source value) {
    if constexpr (std::is_floating_point_v<Source>) {
      return std::isnan(value) | (value == missing);
    } else {
      return value == missing;
    }
  };
  if (f == 0.0) {
    // Frame B has weight 0: it must not decide anything, missing or not.
    for (uint32_t c = 0; c < interpolated; ++c) {
      const Source a = frameA[c];
      const Output value = Convert(static_cast<double>(a));
      out[c] = isMissing(a) ? missingOut : value;
    }
  } else {
    for (uint32_t c = 0; c < interpolated; ++c) {
      const Source a = frameA[c];
      const Source bv = frameB[c];
      // A + (B - A)·f keeps two equal neighbours exactly equal, which A·(1-f) + B·f does not.
      const double da = static_cast<double>(a);
      const Output value = Convert(da + (static_cast<double>(bv) - da) * f);
      out[c] = (isMissing(a) | isMissing(bv)) ? missingOut : value;
    }
  }
  if (myLastNearest) {
    const Source v = f < 0.5 ? frameA[myChannels - 1] : frameB[myChannels - 1];
    out[myChannels - 1] = IsMissing(v) ? myMissingOut : Convert(static_cast<double>(v));
  }
  *myCursor = out + myChannels;
  return true;
}

template class FrameSampler<int16_t, int16_t>;
template class FrameSampler<float, float>;
template class FrameSampler<double, double>;
template class FrameSampler<double, int16_t>;
template class FrameSampler<double, float>;
