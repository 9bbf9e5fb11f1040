#pragma once
// What one merged output set was made of, for its MAT export: returned by the merge for each
// output set, and handed by the caller to that set's MAT export.

#include <cstdint>
#include <string>
#include <vector>

#include "varnixlib/cmarker.h"
#include "varnixlib/matchsummary.h"

struct SyncInfo {
  uint32_t outputSamples = 0;         ///< frames written
  uint32_t outputChannels = 0;        ///< EEG channels + gaze channels
  double outputRate = 0.0;            ///< rounded rate of the reference stream, Hz
  std::string eventFileName;          ///< the set's gaze event file
  bool drift = true;                  ///< true for the drift-corrected set
  std::vector<CMarker> gazeMarkers;   ///< the set's gaze markers on the output time base
  int32_t gazeStart = 0;              ///< first gaze sample of the window
  uint32_t towardGaze = 1;            ///< 1 when the gaze time base is the reference, else 0
  int32_t outputRateInteger = 0;      ///< outputRate truncated
  int32_t eegRate = 0;                ///< rounded EEG rate
  int32_t gazeRate = 0;               ///< rounded gaze rate
  double rateRatio = 0.0;             ///< nominal EEG samples per gaze sample of the matching
  uint32_t eegChannels = 0;
  uint32_t gazeChannels = 0;
  int32_t eegWindowSamples = 0;
  int32_t gazeWindowSamples = 0;
  uint32_t segments = 0;              ///< "New Segment" markers (0 when none)
  int32_t pairs = 0;                  ///< matched eye-tracker/EEG pairs
  int32_t mergedTriggers = 0;         ///< triggers merged by the marker reader
  uint32_t firstCode = 0;             ///< eye-tracker code of the first pair
  uint32_t lastCode = 0;              ///< eye-tracker code of the last pair
  MatchSummary summary;
};
