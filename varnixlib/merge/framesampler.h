#pragma once
// Resamples one multiplexed stream onto the output time base, one output frame at a time, so the
// merged recording can be produced in blocks of frames instead of one whole output vector.

#include <cstdint>
#include <type_traits>

/// Source is the stored type of the stream (int16, float or double EEG; double gaze), Output the
/// sample type of the merged recording. Each Sample call appends this stream's channels to the
/// frame under the cursor shared with the other stream's sampler, and moves that cursor on.
template <typename Source, typename Output>
class FrameSampler {
 public:
  /// source holds sourceFrames frames of channels values; sampling starts at startFrame and
  /// advances step source frames per output frame. A source value equal to missing (or any NaN of
  /// a floating source) is written as missingOut. With lastNearest the last channel (the blink flag)
  /// is taken from the nearer neighbour instead of being interpolated.
  FrameSampler(const Source* source, uint64_t sourceFrames, uint32_t channels, uint64_t startFrame,
               double step, Source missing, Output missingOut, bool lastNearest, Output** cursor);

  /// Moves every sampling point on by fraction of a source frame (0 to 1): the output's first
  /// frame then falls between two source frames.
  void SetStartFraction(double fraction) { myStartFraction = fraction; }

  /// Writes output frame index's channels at the cursor. False, with nothing written, when the
  /// frame would need the source's last frame or anything beyond it as its later neighbour.
  bool Sample(uint64_t index);

  uint32_t Channels() const { return myChannels; }

  /// The source frames that output frame index reads: the earlier neighbour and the later one
  /// (the same frame when the point falls on the earlier one, whose weight is then whole).
  void Neighbours(uint64_t index, uint64_t& first, uint64_t& last) const {
    const double t = myStartFraction + static_cast<double>(index) * myStep;
    const uint64_t k = static_cast<uint64_t>(t);
    first = myStartFrame + k;
    last = t - static_cast<double>(k) == 0.0 ? first : first + 1;
  }

 private:
  bool IsMissing(Source value) const;
  /// Truncated toward zero (and kept inside the type's range) for an integer output.
  static Output Convert(double value);

  const Source* mySource;
  uint64_t mySourceFrames;
  uint32_t myChannels;
  uint64_t myStartFrame;
  double myStep;
  double myStartFraction = 0.0;
  Source myMissing;
  Output myMissingOut;
  bool myLastNearest;
  Output** myCursor;
};

extern template class FrameSampler<int16_t, int16_t>;
extern template class FrameSampler<float, float>;
extern template class FrameSampler<double, double>;
extern template class FrameSampler<double, int16_t>;
extern template class FrameSampler<double, float>;
