#pragma once
// The clock model of an eye-tracker/EEG pair, fitted to every matched trigger:
//
//     EEG position on the gap-filled line + c_k = a + b · tracker time
//
// where b is the EEG's samples per tracker millisecond (the drift), a the offset and c_k the whole
// number of EEG samples by which the dates of the recording PC misplaced segment k and every
// segment before it (c = 0 for the first segment with triggers). A pure computation: pairs and the
// segment table in, the model, the residuals and the verdict on the pair out.

#include <cstdint>
#include <string>
#include <vector>

/// One matched trigger as the model sees it.
struct ClockPair {
  double time = 0.0;      ///< the tracker's time of the trigger, ms
  double position = 0.0;  ///< its EEG position on the gap-filled line (date-derived gaps), samples
  uint32_t segment = 0;   ///< the EEG segment it lies in
};

struct ClockModelSettings {
  double eegRate = 0.0;          ///< nominal EEG rate, Hz
  double trackerDelayMs = 0.5;   ///< mean delay with which the tracker registers an edge, ms
  double trackerJitterMs = 1.0;  ///< width of that delay's spread, ms (its grid step, or 1 ms)
  double maxDriftPpm = 500.0;    ///< the verdict's bound on how far the clocks may run apart
  double minShare = 0.5;         ///< matched triggers: at least this share of the shorter list ...
  uint64_t minPairs = 5;         ///< ... and at least this many
  double minWithinShare = 0.8;   ///< of the matched, at least this share within the tolerance
};

struct ClockModel {
  bool fitted = false;
  double origin = 0.0;  ///< tracker time subtracted before fitting, ms (keeps the sums well scaled)
  double offset = 0.0;  ///< a: EEG position at the origin, samples
  double slope = 0.0;   ///< b: EEG samples per tracker millisecond
  /// Mean registration delay of the EEG (half a sample) less the tracker's, in EEG samples: what
  /// the triggers cannot show and the merge takes off the fitted line.
  double delayCompensation = 0.0;
  double trackerDelayMs = 0.0;  ///< the tracker's mean registration delay it assumes, ms
  bool exactRegistration = false;  ///< the residuals show no registration jitter: no delay to take off
  double tolerance = 0.0;  ///< residual bound of a kept pair, EEG samples (the registration jitter)
  std::vector<int32_t> corrections;    ///< per segment: whole samples added to its date-derived gap
  std::vector<uint32_t> keptPerSegment;
  std::vector<double> residuals;       ///< per pair: position + c_k - (a + b · time), EEG samples
  std::vector<uint8_t> kept;           ///< per pair: 1 when it is within the tolerance
  uint64_t keptCount = 0;
  double rms = 0.0;      ///< of the kept residuals, EEG samples
  double largest = 0.0;  ///< largest kept |residual|, EEG samples
  double driftPpm = 0.0; ///< b against the nominal rate
  std::string failure;   ///< why no model could be fitted

  /// The EEG position (gap-filled, fitted corrections in place) at which the EEG sampled the
  /// instant the tracker stamps with time.
  double EegPosition(double time) const { return offset + slope * (time - origin) - delayCompensation; }
  /// The inverse: the tracker time of EEG position position.
  double TrackerTime(double position) const {
    return origin + (position + delayCompensation - offset) / slope;
  }
};

/// Fits the model. lostBefore: the date-derived samples lost before each segment (a correction
/// never makes one negative). Outliers (residual beyond the registration jitter after a robust
/// first fit) are left out of the final fit. fitted is false, with the reason, when no segment
/// holds two pairs at distinct times.
ClockModel FitClockModel(const std::vector<ClockPair>& pairs, const std::vector<uint32_t>& lostBefore,
                         const ClockModelSettings& settings);

/// Whether the two recordings belong together, by the model of their matched triggers.
struct PairVerdict {
  bool accepted = false;
  std::string reason;  ///< for a refusal: what failed, in numbers, and what to check
};

/// trackerTriggers and eegTriggers: the lengths of the two trigger lists that were matched.
PairVerdict JudgePair(const ClockModel& model, uint64_t pairs, uint64_t trackerTriggers,
                      uint64_t eegTriggers, const ClockModelSettings& settings);
