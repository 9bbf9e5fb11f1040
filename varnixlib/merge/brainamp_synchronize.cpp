// The synchronisation of one recording with its eye-tracker recording: the trigger matchings, the
// clock model applied to the EEG markers, then the merge.
#include <chrono>
#include <cstdint>
#include <vector>

#include "varnixlib/asc/ascrawdata.h"
#include "varnixlib/brainvision/brainamp.h"
#include "varnixlib/merge/syncrecord.h"
#include "varnixlib/support/logdirectory.h"
#include "varnixlib/support/report.h"
#include "varnixlib/support/rounding.h"
#include "varnixlib/sync/clockmatching.h"
#include "varnixlib/sync/errorhistogram.h"
#include "varnixlib/sync/matchingreport.h"
#include "varnixlib/sync/triggermatching.h"

template <typename T>
bool Brainamp::Synchronize(SynchroParams& params, const std::string& outputName,
                           AscRawData& gaze, const std::vector<Trigger>& ttl,
                           const SetWritten& afterEachSet, SyncRecord* record) {
  const auto start = std::chrono::steady_clock::now();

  std::vector<CMarker> eyeTriggers;
  std::vector<CMarker> eyeEvents;
  gaze.GetTriggerMarkers(eyeTriggers);
  gaze.GetEventMarkers(eyeEvents);

  if (gaze.SamplePeriod() == 0 || !(myVhdr.samplingInterval > 0.0)) {
    return Error("Brainamp::Synchronize : a sampling rate is unknown",
                 "eye-tracker period " + std::to_string(gaze.SamplePeriod()) + " ms");
  }
  const double eegRate = 1e6 / myVhdr.samplingInterval;
  const double gazeRate = 1000.0 / gaze.SamplePeriod();

  // The reference file counts milliseconds; on the tracker's sample grid it compares with the
  // tracker's triggers as they are and with the EEG's through the same rate ratio as they do.
  std::vector<CMarker> reference;
  reference.reserve(ttl.size());
  for (const Trigger& trigger : ttl) {
    CMarker marker;
    marker.type = Stimulus;
    marker.code = trigger.type;
    marker.position = static_cast<uint32_t>(RoundHalfAway(trigger.start / static_cast<double>(gaze.SamplePeriod())));
    reference.push_back(marker);
  }
  if (!reference.empty()) {
    // The reference only checks the devices: a file that does not fit is reported, not fatal.
    MatchingResult referenceEeg;
    if (!MatchAndReport(params, "Match TTLreference with EEGtriggers", reference, myVmrk.markers,
                        eegRate / gazeRate, nullptr, referenceEeg, true, ArticleRecord::kReferenceEeg)) {
      Warning("Brainamp::Synchronize : the reference TTL file does not match the EEG triggers; the merge goes on",
              "");
    }
    MatchingResult referenceEye;
    if (!MatchAndReport(params, "Match TTLreference with ETtriggers", reference, eyeTriggers, 1.0, nullptr,
                        referenceEye, true, ArticleRecord::kReferenceTracker)) {
      Warning("Brainamp::Synchronize : the reference TTL file does not match the eye-tracker triggers; the merge "
              "goes on",
              "");
    }
  }
  const std::vector<CMarker> trackerTriggers = eyeTriggers;
  MatchingResult eyeEeg;
  const bool matched = MatchAndReport(params, "Match ETtriggers with EEGtriggers", eyeTriggers, myVmrk.markers,
                                      eegRate / gazeRate, &myVmrk.segments, eyeEeg, params.twoPointModel, ArticleRecord::kTrackerEeg,
                                      eegRate / 1000.0);
  // Whatever happens from here on, the report shows what the matching found.
  struct Keep {
    SyncRecord* record;
    const Brainamp& eeg;
    const std::vector<CMarker>& before;
    const std::vector<CMarker>& after;
    const MatchingResult& matching;
    bool matched;
    ~Keep() {
      if (!record) return;
      record->matched = matched;
      record->trackerTriggers = after;
      record->removedTriggers.clear();
      if (matching.overflow.located) {
        const auto from = before.begin() + static_cast<std::ptrdiff_t>(matching.overflow.removeFrom);
        record->removedTriggers.assign(from, from + static_cast<std::ptrdiff_t>(matching.overflow.removeCount));
      }
      record->eegMarkers = eeg.myVmrk.markers;
      record->segmentMarkers.clear();
      for (const CMarker* segment : eeg.myVmrk.segments) {
        record->segmentMarkers.push_back(static_cast<uint64_t>(segment - eeg.myVmrk.markers.data()));
      }
      record->matching = matching;
    }
  } keep{record, *this, trackerTriggers, eyeTriggers, eyeEeg, matched};
  if (record) {
    record->eegRate = eegRate;
    record->gazeRate = gazeRate;
    record->trackerPeriodMs = gaze.SamplePeriod();
    record->trackerStartMs = gaze.StartTimestamp();
  }
  if (!matched) return false;
  if (!params.twoPointModel) {
    const double period = gaze.SamplePeriod();
    FitClocks(eyeTriggers, myVmrk.markers, myVmrk.segments, period,
              ClockSettingsFor(eegRate, period, eyeTriggers), eyeEeg);
    PrintClockModel(eyeEeg);
    if (!eyeEeg.clockFitted) {
      return Error("Brainamp::Synchronize : the clocks cannot be modelled:", eyeEeg.verdict.reason);
    }
    if (!eyeEeg.verdict.accepted) {
      if (!params.forceMerge) {
        return Error("Brainamp::Synchronize : the recordings do not belong together:", eyeEeg.verdict.reason);
      }
      Warning("Brainamp::Synchronize : merged as asked (-F) although the recordings do not seem to belong together:",
              eyeEeg.verdict.reason);
    }
  }
  // The EEG markers take the segment shifts the model found; the statistics show the model.
  for (uint64_t s = 0; s < eyeEeg.segments.size(); ++s) {
    myVmrk.ShiftSegment(s, eyeEeg.segments[s].correction);
  }
  WriteAlignmentStatistics(eyeEeg, gLogDirectory);
  if (record) record->statisticsWritten = true;
  params.quality.rSquared = eyeEeg.rSquared;
  {
    std::vector<double> errors;
    errors.reserve(eyeEeg.alignment.size());
    for (const AlignmentRow& row : eyeEeg.alignment) errors.push_back(row.withShifts);
    const ErrorHistogram merged = BuildHistogram(errors);
    params.quality.histogram.assign(merged.counts.begin(), merged.counts.end());
  }

  return MergeStreams<T>(params, outputName, gaze, eyeEeg, eyeTriggers, eyeEvents, start,
                         afterEachSet, record);
}

template bool Brainamp::Synchronize<int16_t>(SynchroParams&, const std::string&, AscRawData&,
                                             const std::vector<Trigger>&,
                                             const Brainamp::SetWritten&, SyncRecord*);
template bool Brainamp::Synchronize<float>(SynchroParams&, const std::string&, AscRawData&,
                                           const std::vector<Trigger>&,
                                             const Brainamp::SetWritten&, SyncRecord*);
template bool Brainamp::Synchronize<double>(SynchroParams&, const std::string&, AscRawData&,
                                            const std::vector<Trigger>&,
                                             const Brainamp::SetWritten&, SyncRecord*);
