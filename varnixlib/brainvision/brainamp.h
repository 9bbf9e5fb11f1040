#pragma once
// The EEG recording: header, markers and samples of one BrainVision recording.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "varnixlib/brainvision/brainampeeg.h"
#include "varnixlib/brainvision/brainampeegvirt.h"
#include "varnixlib/brainvision/brainampvhdr.h"
#include "varnixlib/brainvision/brainampvmrk.h"
#include "varnixlib/cmarker.h"
#include "varnixlib/synchroparams.h"
#include "varnixlib/asc/trigger.h"

class AscRawData;
struct MatchingResult;
struct SyncInfo;
struct SyncRecord;

class Brainamp {
 public:
  /// Reads header, markers and samples of params.eegFileName as sample type T (int16_t, float,
  /// double), then places the segments on the gap-filled time line. Every refusal is reported.
  template <typename T>
  bool Process(SynchroParams& params);

  /// The header's sample type: 0 INT_16, 1 IEEE_FLOAT_32, 2 IEEE_FLOAT_64, -1 unknown
  /// (forwards to the header record's own ReadBinaryFormat).
  int32_t ReadBinaryFormat(const std::string& vhdrPath);
  /// The header and marker files of the recording: those the input check found (the header's own
  /// DataFile= and MarkerFile= names), else the data file's name with the other extension.
  static std::string HeaderFileName(const SynchroParams& params);
  static std::string MarkerFileName(const SynchroParams& params);

  /// What follows each merged output set once it is written whole: the set's description and its
  /// output name (the driver's MAT export). False stops the synchronisation.
  using SetWritten = std::function<bool(const SyncInfo& info, const std::string& outputName)>;
  /// The EEG marker each matched eye-tracker trigger was paired with, by the trigger's ASC line
  /// and tracker time (what a copy of the trigger keeps).
  using TriggerPartners = std::map<std::pair<uint32_t, double>, uint64_t>;

  /// Synchronises this recording (after Process) with the eye-tracker recording: matches the
  /// reference TTL triggers (when there are any) with the EEG and the eye-tracker triggers, then
  /// the eye-tracker triggers with the EEG, which fits the clock model (applied to this
  /// recording's markers) and writes the alignment statistics, then merges the streams into the
  /// output set named outputName (and its no-drift twin with -N), calling afterEachSet after each.
  /// record, when given, receives what the synchronisation found, also when it fails.
  template <typename T>
  bool Synchronize(SynchroParams& params, const std::string& outputName, AscRawData& gaze,
                   const std::vector<Trigger>& ttl, const SetWritten& afterEachSet = {},
                   SyncRecord* record = nullptr);

  /// Checks the segments against frames recorded frames as InsertSegmentGaps does (the merge reads
  /// around the lost frames instead of inserting them, but refuses the same segments).
  static bool CheckSegmentGaps(const std::vector<CMarker*>& segments, uint64_t frames);
  /// Inserts, before each later segment, the frames lost there (filled with missing). False,
  /// reported, when a segment lies outside the data or a shift would remove more than the segment
  /// before it holds.
  template <typename T>
  static bool InsertSegmentGaps(const std::vector<CMarker*>& segments,
                                typename BrainampEEG<T>::SampleVector& samples,
                                uint16_t nbChannels, T missing);
  /// The console table of the segments as they were inserted.
  static void PrintSegmentTable(const std::vector<CMarker*>& segments);
  /// The stretch of both streams from the first matched trigger of the first modelled segment to
  /// the last of the last, and the gaze markers (triggers and eye events) inside it.
  static bool SelectSyncWindow(const MatchingResult& matching,
                               const std::vector<CMarker>& triggers,
                               const std::vector<CMarker>& eyeEvents,
                               const std::vector<CMarker>& eegMarkers,
                               std::vector<CMarker>& gazeMarkers, uint64_t& gazeStart,
                               uint64_t& gazeCount, uint64_t& eegStart, uint64_t& eegCount);
  /// Resamples the window onto the reference time base and writes one merged output set: data,
  /// header, markers and event file. gazeMarkers: the window's gaze markers, moved here onto the
  /// output time base. info describes the set written.
  template <typename T>
  bool SynchronizeVarnix(SynchroParams& params, const MatchingResult& matching,
                         uint64_t gazeStart, uint64_t gazeCount, uint64_t eegStart,
                         uint64_t eegCount, const std::string& outputName, const AscRawData& gaze,
                         std::vector<CMarker> gazeMarkers, const TriggerPartners& partners,
                         T missing, bool drift, SyncInfo& info);
  /// What follows the eye-tracker/EEG matching: the lost frames, the window, then the output sets
  /// (drift corrected, and with -N without drift). start: when the synchronisation began.
  template <typename T>
  bool MergeStreams(SynchroParams& params, const std::string& outputName, const AscRawData& gaze,
                    const MatchingResult& matching, const std::vector<CMarker>& eyeTriggers,
                    const std::vector<CMarker>& eyeEvents,
                    std::chrono::steady_clock::time_point start, const SetWritten& afterEachSet,
                    SyncRecord* record);
  /// The output name of the set without drift correction: the "synchro_" that begins the base
  /// name becomes "synchrono_".
  static std::string NoDriftName(const std::string& outputName);

  BrainampVhdr myVhdr;
  BrainampVmrk myVmrk;
  std::unique_ptr<BrainampEegVirt> myEEG;  ///< a BrainampEEG<T> once Process has run
};
