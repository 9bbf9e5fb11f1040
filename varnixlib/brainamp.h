#pragma once
// The EEG recording: header, markers and samples of one BrainVision recording.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "varnixlib/brainampeegvirt.h"
#include "varnixlib/brainampvhdr.h"
#include "varnixlib/brainampvmrk.h"
#include "varnixlib/synchroparams.h"
#include "varnixlib/trigger.h"

class AscRawData;

class Brainamp {
 public:
  /// Reads header, markers and samples of params.eegFileName as sample type T (int16_t, float,
  /// double), then places the segments on the gap-filled time line. Every refusal is reported.
  template <typename T>
  bool Process(SynchroParams& params);

  /// The header's sample type: 0 INT_16, 1 IEEE_FLOAT_32, 2 IEEE_FLOAT_64, -1 unknown
  /// (forwards to the header record's own ReadBinaryFormat).
  int32_t ReadBinaryFormat(const std::string& vhdrPath);

  /// Synchronises this recording (after Process) with the eye-tracker recording: matches the
  /// reference TTL triggers (when there are any) with the EEG and the eye-tracker triggers, then
  /// the eye-tracker triggers with the EEG, which fits the clock model and writes the alignment
  /// statistics. outputName names the merged output set.
  template <typename T>
  bool Synchronize(SynchroParams& params, const std::string& outputName, AscRawData& gaze,
                   const std::vector<Trigger>& ttl);

  BrainampVhdr myVhdr;
  BrainampVmrk myVmrk;
  std::unique_ptr<BrainampEegVirt> myEEG;  ///< a BrainampEEG<T> once Process has run
};
