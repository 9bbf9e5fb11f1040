#pragma once
// A merged recording as written by tolmera, read back independently of the program's own readers,
// and the alignment of its two streams measured on the simulator's time-coded channels. For the tests
// and benchmarks; the simulator never reads one.

#include <cstdint>
#include <string>
#include <vector>

namespace simcheck {

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
  std::string error;           ///< why Load failed

  /// Reads base + ".vhdr", ".vmrk" and ".eeg"; false (with the reason in error) when malformed.
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
  std::string error;         ///< set when the recording lacks the time-coded channels
  std::string Text() const;
};

/// The time-coded channels of a merged recording: the EEG's TrueTime and the gaze x of one eye.
struct TimeCode {
  int clock = -1, gazeX = -1;
  double gazeOffset = 100.0;  ///< pixels of gaze x at phase 0 (100 left eye, 120 right eye)
  bool Found() const { return clock >= 0 && gazeX >= 0; }
};
TimeCode FindTimeCode(const MergedRecording& merged);

/// Misalignment at one frame in ms (EEG phase minus gaze phase, EEG ahead positive); false when
/// either stream is missing there or a phase lies too near the cycle's wrap to be trusted.
bool FrameError(const MergedRecording& merged, const TimeCode& code, uint64_t frame, double& errorMs);

/// quantumMs: how coarsely the recording can carry the time code itself (16-bit gaze holds whole
/// pixels, 2 ms of the code, and interpolation truncates them): added to the one-sample bound.
Alignment MeasureAlignment(const MergedRecording& merged, double quantumMs);

}  // namespace simcheck
