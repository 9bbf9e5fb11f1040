#pragma once
// The EEG recording: header, markers and samples of one BrainVision recording.

#include <cstdint>
#include <memory>
#include <chrono>
#include <string>
#include <vector>

#include "varnixlib/brainvision/brainampeeg.h"
#include "varnixlib/brainvision/brainampeegvirt.h"
#include "varnixlib/brainvision/brainampvhdr.h"
#include "varnixlib/brainvision/brainampvmrk.h"
#include "varnixlib/cmarker.h"
#include "varnixlib/synchroparams.h"
#include "varnixlib/trigger.h"

class AscRawData;
class TriggerMatching;

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

  /// Inserts, before each later segment of the matching's segment list, the frames lost there
  /// (filled with missing), and prints the segment table. False, reported, when a segment lies
  /// outside the data or a shift would remove more than the segment before it holds.
  template <typename T>
  static bool InsertSegmentGaps(const TriggerMatching& matching,
                                typename BrainampEEG<T>::SampleVector& samples,
                                uint16_t nbChannels, T missing);
  /// The stretch of both streams from the first matched trigger of the first modelled segment to
  /// the last of the last, and the gaze markers (triggers and eye events) inside it.
  static bool SelectSyncWindow(const TriggerMatching& matching,
                               const std::vector<CMarker>& triggers,
                               const std::vector<CMarker>& eyeEvents,
                               const std::vector<CMarker>& eegMarkers,
                               std::vector<CMarker>& gazeMarkers, uint64_t& gazeStart,
                               uint64_t& gazeCount, uint64_t& eegStart, uint64_t& eegCount);
  /// Resamples the window onto the reference time base and writes one merged output set: data,
  /// header, markers and event file.
  template <typename T>
  bool SynchronizeVarnix(SynchroParams& params, const TriggerMatching& matching,
                         uint64_t gazeStart, uint64_t gazeCount, uint64_t eegStart,
                         uint64_t eegCount, const std::string& outputName, AscRawData& gaze,
                         T missing, bool drift);
  /// With -m, the MAT file of one output set: "EegAcq" in prefix with the extension "asc.eeg.mat",
  /// from the set's SyncInfo held by asc. True when the file was written whole.
  bool SaveMatFile(AscRawData& asc, const std::string& prefix);
  /// What follows the eye-tracker/EEG matching: the lost frames, the window, then the output sets
  /// (drift corrected, and with -N without drift). start: when the synchronisation began.
  template <typename T>
  bool MergeStreams(SynchroParams& params, const std::string& outputName, AscRawData& gaze,
                    const TriggerMatching& matching, const std::vector<CMarker>& eyeEvents,
                    std::chrono::steady_clock::time_point start);
  /// The output name of the set without drift correction: the "synchro_" that begins the base
  /// name becomes "synchrono_".
  static std::string NoDriftName(const std::string& outputName);

  BrainampVhdr myVhdr;
  BrainampVmrk myVmrk;
  std::unique_ptr<BrainampEegVirt> myEEG;  ///< a BrainampEEG<T> once Process has run
};
