#pragma once
// Writes the EEG recording as BrainVision Recorder does: the .vhdr header (CR LF line ends, the usual
// sections and the amplifier-setup comment with its impedance block), the .vmrk markers (New Segment
// with its date, Stimulus, Buffer Overflow comments) and the multiplexed, little-endian .eeg samples
// of int16, float32 or float64. Only recorded samples reach the .eeg file; samples lost in an
// interruption exist only on the gap-filled time line.

#include <cstdint>
#include <string>
#include <vector>

#include "experimentplan.h"

class BrainVisionWriter {
 public:
  explicit BrainVisionWriter(const ExperimentPlan& plan);

  /// Writes <dir>/<name>.vhdr, .vmrk and .eeg.
  bool Write(const std::string& directory, const std::string& name);

  const std::vector<std::string>& ChannelNames() const { return myNames; }
  /// µV per stored unit, per channel.
  const std::vector<double>& Resolutions() const { return myResolutions; }

 private:
  bool WriteHeader(const std::string& path, const std::string& name);
  bool WriteMarkers(const std::string& path, const std::string& name);
  bool WriteSamples(const std::string& path);
  template <typename T>
  bool WriteSamplesAs(const std::string& path);

  const ExperimentPlan& myPlan;
  std::vector<std::string> myNames;
  std::vector<double> myResolutions;
};
