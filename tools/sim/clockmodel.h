#pragma once
// How the two devices see one true time line.
//
// True time is counted in milliseconds of the eye tracker's clock: the tracker is the reference, so a
// tracker timestamp is true time itself. The EEG amplifier samples at a nominal rate, but its clock
// runs fast by driftPpm parts per million and its first sample (sample 0 of the gap-filled time line,
// that is counting the samples lost in interruptions too) is taken at eegStartMs:
//
//   EEG position x(t) = (t - eegStartMs) * rate * (1 + driftPpm * 1e-6) / 1000
//
// A device registers a trigger edge at its first clock tick at or after the edge: the EEG at sample
// ceil(x(t)), the tracker's INPUT line at timestamp ceil(t) (whole milliseconds).

#include <cstdint>

class ClockModel {
 public:
  ClockModel(double eegStartMs, double driftPpm, double eegRateHz);

  double EegStartMs() const { return myEegStartMs; }
  double DriftPpm() const { return myDriftPpm; }
  double EegRateHz() const { return myEegRateHz; }

  /// Fractional gap-filled EEG position (0-based) of true time t.
  double EegPosition(double trueMs) const;
  /// True time at which the EEG takes its (gap-filled, 0-based, possibly fractional) sample n.
  double TrueTimeOfEegSample(double n) const;
  /// The gap-filled EEG sample (0-based) that registers an edge at true time t.
  int64_t RegisteredEegSample(double trueMs) const;
  /// The tracker timestamp of an INPUT line for an edge at true time t.
  static int64_t TrackerTimestamp(double trueMs);

 private:
  double myEegStartMs;
  double myDriftPpm;
  double myEegRateHz;
  double mySamplesPerMs;  ///< actual EEG samples per true millisecond
};
