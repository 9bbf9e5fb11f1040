#pragma once
// A merged recording as written by tolmera, read back independently of the program's own readers,
// and the alignment of its two streams measured on the simulator's time-coded channels.

#include <cstdint>
#include <string>
#include <vector>

namespace mergetest {

struct MergedMarker {
  std::string type;
  std::string description;
  int64_t position = 0;  ///< 1-based, as in the file
  int64_t size = 0;
};

struct MergedRecording {
  std::vector<std::string> names;
  std::vector<double> resolutions;
  std::string binaryFormat;  ///< INT_16, IEEE_FLOAT_32 or IEEE_FLOAT_64
  double intervalUs = 0.0;
  int64_t dataPoints = -1;   ///< -1 when the header has none
  uint64_t frames = 0;
  std::vector<double> values;  ///< frames x names.size(), stored units (before resolution)
  std::vector<MergedMarker> markers;

  /// Reads base + ".vhdr", ".vmrk" and ".eeg"; false (with a gtest failure) when malformed.
  bool Load(const std::string& base);
  int Channel(const std::string& name) const;  ///< -1 when absent
  double At(uint64_t frame, int channel) const { return values[frame * names.size() + channel]; }
  bool Missing(uint64_t frame, int channel) const;
};

/// Misalignment between the EEG "TrueTime" channel and the gaze x of one eye, per valid frame.
struct Alignment {
  uint64_t valid = 0;        ///< frames where both streams carry a value away from the cycle's wrap
  double meanAbs = 0.0;      ///< in output samples
  double mean = 0.0;         ///< signed, in output samples (EEG ahead of gaze is positive)
  double largest = 0.0;      ///< largest absolute error, output samples
  double withinOne = 0.0;    ///< share of valid frames within one output sample
  double withinBound = 0.0;  ///< share within one output sample plus the time code's quantum
  uint64_t firstBad = 0;     ///< first frame beyond that bound (frames when none)
  std::string Text() const;
};

/// quantumMs: how coarsely the recording can carry the time code itself (16-bit gaze holds whole
/// pixels, 2 ms of the code, and interpolation truncates them): added to the one-sample bound.
Alignment MeasureAlignment(const MergedRecording& merged, double quantumMs);

}  // namespace mergetest
