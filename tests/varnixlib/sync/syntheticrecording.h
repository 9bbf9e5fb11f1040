#pragma once
// A pair of trigger lists with known truth: the eye tracker on its sample grid, and the EEG marker
// list as the marker reader leaves it after working out the lost samples from segment dates that
// may be off by whole samples. Each trigger's serial number is kept in `extra` on both sides.

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "varnixlib/cmarker.h"

namespace synthetic {

struct Layout {
  uint32_t etPeriodMs = 2;
  double eegRate = 1000.0;
  double drift = 60e-6;                        ///< EEG clock runs this much fast
  std::vector<uint32_t> triggers = {20, 20};   ///< triggers recorded in each segment
  std::vector<uint32_t> lost = {0, 2500};      ///< EEG samples lost before each segment
  std::vector<int32_t> dateError = {0, 0};     ///< error of each segment date, EEG samples
  int overflowBefore = -1;                     ///< segment preceded by a "Buffer Overflow"
  uint32_t seed = 1;
};

struct Recording {
  std::vector<CMarker> et;
  std::vector<CMarker> eeg;
  std::vector<CMarker*> segments;
  std::vector<uint32_t> truePosition;  ///< per EEG marker: its position on the true gap-filled line
  std::vector<uint32_t> lostSerials;   ///< serials of eye-tracker triggers the EEG never saw
  double trueSlope = 0.0;              ///< EEG samples per eye-tracker sample
};

inline Recording Make(const Layout& layout) {
  std::mt19937 rng(layout.seed);
  Recording r;
  const double eegPerMs = layout.eegRate / 1000.0 * (1.0 + layout.drift);
  r.trueSlope = eegPerMs * layout.etPeriodMs;
  const double eegLead = 3000.0;  // the EEG started this many samples before the tracker
  auto eegAt = [&](double ms) { return static_cast<uint32_t>(std::lround(eegLead + ms * eegPerMs)); };

  double ms = 500.0;
  uint32_t serial = 0;
  uint64_t lostSoFar = 0;
  auto addTrigger = [&](bool recorded, int32_t lineShift) {
    ms += 700.0 + static_cast<double>(rng() % 600) + static_cast<double>(rng() % 1000) / 1000.0;
    CMarker et;
    et.code = static_cast<uint16_t>(1 + rng() % 200);
    et.position = static_cast<uint32_t>(std::lround(ms / layout.etPeriodMs));
    et.time = std::ceil(ms);  // the tracker's INPUT stamp: the next whole millisecond
    et.extra = ++serial;
    r.et.push_back(et);
    if (!recorded) {
      r.lostSerials.push_back(serial);
      return;
    }
    CMarker eeg = et;
    eeg.position = eegAt(ms) + static_cast<uint32_t>(lineShift);
    r.eeg.push_back(eeg);
    r.truePosition.push_back(eegAt(ms));
  };
  for (size_t s = 0; s < layout.triggers.size(); ++s) {
    if (s > 0) {
      // The lost stretch: triggers sent then reach only the tracker.
      const double gapMs = layout.lost[s] / eegPerMs;
      const double gapEnd = ms + 400.0 + gapMs;
      if (static_cast<int>(s) == layout.overflowBefore) {
        CMarker overflow;
        overflow.code = OVERFLOW_CODE;
        overflow.position = eegAt(ms + 300.0);
        r.eeg.push_back(overflow);
        r.truePosition.push_back(overflow.position);
        while (ms + 1300.0 < gapEnd - 300.0) addTrigger(false, 0);
      }
      ms = gapEnd;
    }
    lostSoFar += s > 0 ? layout.lost[s] : 0;
    CMarker segment;
    segment.type = NewSegment;
    segment.code = SEGMENT_CODE;
    segment.flag = 1;
    const uint32_t start = eegAt(ms);
    // Segment markers keep their place in the data file, which holds no lost samples.
    segment.position = s == 0 ? 0 : start - static_cast<uint32_t>(lostSoFar);
    if (s > 0) {
      segment.samplesInserted = static_cast<uint32_t>(
          static_cast<int64_t>(layout.lost[s]) + layout.dateError[s] - layout.dateError[s - 1]);
    }
    r.eeg.push_back(segment);
    r.truePosition.push_back(segment.position);
    const int32_t lineShift = layout.dateError[s] - layout.dateError[0];
    for (uint32_t t = 0; t < layout.triggers[s]; ++t) addTrigger(true, lineShift);
    ms += 200.0;
  }
  for (CMarker& m : r.eeg) {
    if (m.type == NewSegment) r.segments.push_back(&m);
  }
  return r;
}

}  // namespace synthetic
