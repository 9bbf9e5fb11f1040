#pragma once
// Pairs the triggers two devices recorded of one experiment, repairs the first list around an EEG
// buffer overflow and, for the eye-tracker/EEG pairing, models the two clocks: one drift over the
// recording and one whole-sample shift per EEG segment.

#include <cstdint>
#include <string>
#include <vector>

#include "varnixlib/cmarker.h"
#include "varnixlib/sync/lcs.h"
#include "varnixlib/matchsummary.h"
#include "varnixlib/synchroparams.h"

class TriggerMatching {
 public:
  enum class OverflowSide { Before, After };

  TriggerMatching() = default;
  TriggerMatching(const TriggerMatching&) = delete;
  TriggerMatching& operator=(const TriggerMatching&) = delete;
  virtual ~TriggerMatching() = default;

  /// Overflow repair, pairing, the console report, the alignment histogram and (with a segment
  /// list) the drift model. False when nothing could be paired or the clocks cannot be modelled.
  bool Match(SynchroParams& params, const std::string& title);
  /// The LCS over the codes of the two lists, with the tie-break chosen by classicLcs.
  bool MatchCodes(const SynchroParams& params);

  /// Removes from the first list the triggers lost in the second list's first buffer overflow.
  void CorrectBufferOverflow();
  /// First-list index of the last trigger before (Before) or the first after (After) the overflow
  /// at second-list index overflow, found by matching up to ten neighbouring codes; -1 when none.
  static int64_t FindOverflowBoundary(const std::vector<uint16_t>& first,
                                      const std::vector<uint16_t>& second, uint64_t overflow,
                                      OverflowSide side, int16_t ceiling);

  /// Drift line, segment shifts, "GlobalError.txt", histograms and R². Without a segment list it
  /// does nothing; false (after an error line) when no segment holds two pairs.
  bool ModelDrift(SynchroParams& params);
  /// Whole EEG-sample shift that brings the segment's pairs closest to the line of that slope
  /// through (x0, y0): the trial with the smallest summed signed distance, searched both ways.
  int32_t FindSegmentShift(const CMarker& segment, double x0, double y0, double slope) const;
  /// Offsets and end-to-end errors of all pairs; print writes the unrounded errors to the console.
  void Summarize(MatchSummary& summary, bool print) const;

  Lcs lcs;
  const std::vector<CMarker*>* segmentList = nullptr;  ///< EEG "New Segment" markers, or none
  std::vector<CMarker>* firstList = nullptr;           ///< reference side (LCS rows)
  std::vector<CMarker>* secondList = nullptr;          ///< other device (LCS columns)
  double rateRatio = 1.0;      ///< nominal second-list samples per first-list sample
  double matchingSlope = 1.0;  ///< starts as rateRatio; the drift model replaces it
  uint64_t firstSegment = 0;
  uint64_t endSegment = 0;     ///< one past the last modelled segment
  int32_t overflowStart = -1;  ///< first-list position of the first trigger lost in the overflow
  int32_t overflowEnd = -1;    ///< first-list position of the first trigger kept after it

 private:
  void CountAlignment(SynchroParams& params) const;
  bool AssignPairsToSegments();
  /// Whether the segment's offset from the least-squares line of the placed pairs (given by their
  /// count, means and spreads relative to x0, y0) stands clear of the sampling jitter.
  bool ShiftIsSupported(const CMarker& segment, uint32_t x0, uint32_t y0, double count,
                        double meanX, double meanY, double spreadXX, double spreadXY,
                        double spreadYY, int32_t shift) const;
  void ApplyShift(uint64_t segment, int32_t shift);
  void WriteGlobalError(SynchroParams& params);
  uint32_t X(uint64_t p) const { return (*firstList)[lcs.pairs[p].first].position; }
  uint32_t Y(uint64_t p) const { return (*secondList)[lcs.pairs[p].second].position; }
};
