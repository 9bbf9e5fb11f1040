#pragma once
// The EEG recording: header, markers and samples of one BrainVision recording.
// (Interface agreed for the driver; the EEG stage fills it in.)

#include <cstdint>
#include <memory>
#include <string>

#include "varnixlib/synchroparams.h"

class Brainamp {
 public:
  /// Reads header, markers and samples of params.eegFileName as sample type T
  /// (int16_t, float, double).
  template <typename T>
  bool Process(SynchroParams& params);

  /// The header's sample type: 0 INT_16, 1 IEEE_FLOAT_32, 2 IEEE_FLOAT_64, -1 unknown
  /// (forwards to the header record's own ReadBinaryFormat).
  int32_t ReadBinaryFormat(const std::string& vhdrPath);
};
