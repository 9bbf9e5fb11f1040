#pragma once
// What one synchronisation found, kept for the run's report whether the pair was merged or
// refused: the eye-tracker/EEG matching with its clock model, the two trigger lists it paired, the
// EEG's segments and the output sets written.

#include <cstdint>
#include <string>
#include <vector>

#include "varnixlib/cmarker.h"
#include "varnixlib/syncinfo.h"
#include "varnixlib/sync/triggermatching.h"

struct SyncRecord {
  bool matched = false;          ///< the eye-tracker/EEG matching ran to its end (pairs exist)
  bool statisticsWritten = false;  ///< "GlobalError.txt" and the histograms were written in this run
  double eegRate = 0.0;          ///< nominal, Hz
  double gazeRate = 0.0;         ///< nominal, Hz
  double trackerPeriodMs = 0.0;  ///< the tracker's sample period
  double trackerStartMs = 0.0;   ///< the tracker's first timestamp (its grid's origin)
  /// The tracker's triggers as matched (the overflow repair's removals taken out; time: ms) and
  /// those the repair removed.
  std::vector<CMarker> trackerTriggers;
  std::vector<CMarker> removedTriggers;
  /// The EEG's markers (positions on the line with the lost samples put back, shifts applied) and
  /// its "New Segment" markers, as indices into them.
  std::vector<CMarker> eegMarkers;
  std::vector<uint64_t> segmentMarkers;
  MatchingResult matching;       ///< pairs index trackerTriggers and eegMarkers
  std::vector<SyncInfo> sets;    ///< each output set written, in order
};
