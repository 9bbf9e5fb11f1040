#pragma once
// Resamples one multiplexed stream onto the output time base, one output frame at a time, so the
// merged recording can be produced in blocks of frames instead of one whole output vector.

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>
#include <vector>

/// A stretch of a stream's frames on the line the merge samples: recorded frames read from the
/// source from sourceFrame on, or frames that were lost and read as missing (their sourceFrame is
/// the first recorded frame after them).
struct FramePiece {
  uint64_t begin = 0;   ///< first frame on the sampled line
  uint64_t frames = 0;
  uint64_t sourceFrame = 0;
  bool lost = false;
};

/// The line of frames a recording makes once its lost stretches are put back: gaps lists, in
/// order, (recorded frame, count) with count frames lost before that frame, or with a negative
/// count the -count recorded frames before it dropped. The counts must have been checked (no drop
/// reaches before the previous gap's frame, no frame beyond frames).
std::vector<FramePiece> PiecesWithGaps(const std::vector<std::pair<uint64_t, int64_t>>& gaps, uint64_t frames);

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

  /// Samples the line these pieces make of the source instead of the source itself: lost stretches
  /// are read as missing without copying the recorded frames around them. The pieces follow each
  /// other without a hole from frame 0; sourceFrames then counts the frames of the line.
  void SetPieces(std::vector<FramePiece> pieces);
  /// The first source frame that line frame index or any later one can read: what lies before it
  /// is done with once the sampling has passed index.
  uint64_t SourceFrameAt(uint64_t index) const;

  /// Moves the cursor on by stride values per frame instead of this stream's channels: with the
  /// cursor starting at this stream's first channel of a frame, two streams can then fill their
  /// parts of the same frames separately (and at the same time).
  void SetStride(uint32_t stride) { myStride = stride; }
  /// Writes through another cursor from now on (a copy of a sampler for another thread).
  void SetCursor(Output** cursor) { myCursor = cursor; }

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
  /// The values of line frame index (the row of missing values inside a lost stretch).
  const Source* Frame(uint64_t index);
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
  uint32_t myStride;
  std::vector<FramePiece> myPieces;
  size_t myPiece = 0;                 ///< the piece the last frame was found in
  std::vector<Source> myMissingFrame;  ///< one frame of missing values
};

extern template class FrameSampler<int16_t, int16_t>;
extern template class FrameSampler<float, float>;
extern template class FrameSampler<double, double>;
extern template class FrameSampler<double, int16_t>;
extern template class FrameSampler<double, float>;
