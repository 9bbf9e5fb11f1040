#pragma once
// The fitted clock model of the eye-tracker/EEG matching: from the pairs the codes gave (or, when
// those are poor, the pairs the triggers' timing gives) to the model, the segment table that the
// statistics and the merge read, and the verdict on the pair.

#include <vector>

#include "varnixlib/cmarker.h"
#include "varnixlib/sync/clockmodel.h"
#include "varnixlib/sync/triggermatching.h"

/// The settings for a pair of recordings: the nominal EEG rate, and how the tracker registered
/// its triggers (on its own sample grid when every trigger time falls on it, else to the ms).
ClockModelSettings ClockSettingsFor(double eegRate, double trackerPeriodMs, const std::vector<CMarker>& tracker);

/// Fits the model to result's pairs (tracker: the first list, eeg: the second with its "New
/// Segment" markers), replaces them by the timing's pairs when those keep more triggers, fills
/// the segment table, the alignment table and R², and judges the pair. The marker lists are not
/// changed: the corrections are for their owner to apply.
void FitClocks(const std::vector<CMarker>& tracker, const std::vector<CMarker>& eeg,
               const std::vector<CMarker*>& segments, double trackerPeriodMs,
               const ClockModelSettings& settings, MatchingResult& result);
