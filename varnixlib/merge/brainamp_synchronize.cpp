// The synchronisation of one recording with its eye-tracker recording: the trigger matchings.
#include <chrono>
#include <cstdint>
#include <vector>

#include "varnixlib/asc/ascrawdata.h"
#include "varnixlib/brainvision/brainamp.h"
#include "varnixlib/support/report.h"
#include "varnixlib/sync/triggermatching.h"

namespace {

// One matching as the synchronisation runs it; false when it fails.
bool RunMatching(TriggerMatching& matching, SynchroParams& params, const std::string& title,
                 std::vector<CMarker>& first, std::vector<CMarker>& second, double rateRatio,
                 const std::vector<CMarker*>* segments) {
  matching.firstList = &first;
  matching.secondList = &second;
  matching.rateRatio = rateRatio;
  matching.matchingSlope = rateRatio;
  matching.firstSegment = 0;
  matching.endSegment = segments != nullptr ? segments->size() : 0;
  matching.overflowStart = -1;
  matching.overflowEnd = -1;
  matching.segmentList = segments;
  return matching.Match(params, title);
}

}  // namespace

template <typename T>
bool Brainamp::Synchronize(SynchroParams& params, const std::string& outputName,
                           AscRawData& gaze, const std::vector<Trigger>& ttl) {
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
    TriggerMatching referenceEeg;
    if (!RunMatching(referenceEeg, params, "Match TTLreference with EEGtriggers", reference,
                     myVmrk.markers, eegRate / gazeRate, nullptr)) {
      return false;
    }
    TriggerMatching referenceEye;
    if (!RunMatching(referenceEye, params, "Match TTLreference with ETtriggers", reference,
                     eyeTriggers, 1.0, nullptr)) {
      return false;
    }
  }
  TriggerMatching eyeEeg;
  if (!RunMatching(eyeEeg, params, "Match ETtriggers with EEGtriggers", eyeTriggers,
                   myVmrk.markers, eegRate / gazeRate, &myVmrk.segments)) {
    return false;
  }

  return MergeStreams<T>(params, outputName, gaze, eyeEeg, eyeEvents, start);
}

template bool Brainamp::Synchronize<int16_t>(SynchroParams&, const std::string&, AscRawData&,
                                             const std::vector<Trigger>&);
template bool Brainamp::Synchronize<float>(SynchroParams&, const std::string&, AscRawData&,
                                           const std::vector<Trigger>&);
template bool Brainamp::Synchronize<double>(SynchroParams&, const std::string&, AscRawData&,
                                            const std::vector<Trigger>&);
