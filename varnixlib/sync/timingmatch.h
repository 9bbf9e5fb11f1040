#pragma once
// Pairing by the triggers' timing, for the sessions whose codes cannot tell the triggers apart
// (one code for everything, a short repeating cycle) or leave stray pairs: among the pairings the
// codes allow, the one in which the most triggers fall on one straight clock line.

#include <cstdint>
#include <vector>

#include "varnixlib/cmarker.h"
#include "varnixlib/matchedpair.h"

struct TimingMatchSettings {
  double samplesPerMs = 1.0;  ///< nominal EEG samples per tracker millisecond
  double windowMs = 15.0;     ///< how far from the predicted place a partner may lie
  double maxDriftPpm = 500.0; ///< the clocks may run apart by at most this much
};

/// Pairs tracker triggers (time: their ms) with EEG triggers (position on the gap-filled line) of
/// the same code, each used once, in increasing order of both. Segment and overflow markers of the
/// EEG list take no part. Empty when no two triggers agree.
std::vector<MatchedPair> MatchByTiming(const std::vector<CMarker>& tracker, const std::vector<CMarker>& eeg,
                                       const TimingMatchSettings& settings);
