// The synchronisation of one recording with its eye-tracker recording: the trigger matchings, the
// clock model applied to the EEG markers, then the merge.
#include <chrono>
#include <cstdint>
#include <vector>

#include "varnixlib/asc/ascrawdata.h"
#include "varnixlib/brainvision/brainamp.h"
#include "varnixlib/support/logdirectory.h"
#include "varnixlib/support/report.h"
#include "varnixlib/sync/clockmatching.h"
#include "varnixlib/sync/matchingreport.h"
#include "varnixlib/sync/triggermatching.h"

template <typename T>
bool Brainamp::Synchronize(SynchroParams& params, const std::string& outputName,
                           AscRawData& gaze, const std::vector<Trigger>& ttl,
                           const SetWritten& afterEachSet) {
  const auto start = std::chrono::steady_clock::now();

  std::vector<CMarker> reference;
  reference.reserve(ttl.size());
  for (const Trigger& trigger : ttl) {
    CMarker marker;
    marker.type = Stimulus;
    marker.code = trigger.type;
    marker.position = trigger.start;
    reference.push_back(marker);
  }
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

  if (!reference.empty()) {
    MatchingResult referenceEeg;
    if (!MatchAndReport(params, "Match TTLreference with EEGtriggers", reference, myVmrk.markers,
                     eegRate / gazeRate, nullptr, referenceEeg)) {
      return false;
    }
    MatchingResult referenceEye;
    if (!MatchAndReport(params, "Match TTLreference with ETtriggers", reference, eyeTriggers, 1.0,
                     nullptr, referenceEye)) {
      return false;
    }
  }
  MatchingResult eyeEeg;
  if (!MatchAndReport(params, "Match ETtriggers with EEGtriggers", eyeTriggers, myVmrk.markers,
                      eegRate / gazeRate, &myVmrk.segments, eyeEeg, params.twoPointModel)) {
    return false;
  }
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
  params.quality.rSquared = eyeEeg.rSquared;

  return MergeStreams<T>(params, outputName, gaze, eyeEeg, eyeTriggers, eyeEvents, start,
                         afterEachSet);
}

template bool Brainamp::Synchronize<int16_t>(SynchroParams&, const std::string&, AscRawData&,
                                             const std::vector<Trigger>&,
                                             const Brainamp::SetWritten&);
template bool Brainamp::Synchronize<float>(SynchroParams&, const std::string&, AscRawData&,
                                           const std::vector<Trigger>&,
                                             const Brainamp::SetWritten&);
template bool Brainamp::Synchronize<double>(SynchroParams&, const std::string&, AscRawData&,
                                            const std::vector<Trigger>&,
                                             const Brainamp::SetWritten&);
