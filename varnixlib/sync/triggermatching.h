#pragma once
// Pairs the triggers two devices recorded of one experiment, finds the first list's triggers lost
// in an EEG buffer overflow and, for the eye-tracker/EEG pairing, models the two clocks: one drift
// over the recording and one whole-sample shift per EEG segment.
//
// The matcher reads its lists and returns what it found; it changes neither list. The owners of
// the lists apply the results (RemoveOverflowTriggers, BrainampVmrk::ShiftSegment), and the caller
// reports them (matchingreport.h).

#include <cstdint>
#include <string>
#include <vector>

#include "varnixlib/cmarker.h"
#include "varnixlib/matchedpair.h"
#include "varnixlib/matchsummary.h"
#include "varnixlib/synchroparams.h"
#include "varnixlib/sync/clockmodel.h"

/// The lists one matching reads.
struct MatchingInput {
  const std::vector<CMarker>* first = nullptr;   ///< reference side (LCS rows)
  const std::vector<CMarker>* second = nullptr;  ///< other device (LCS columns)
  double rateRatio = 1.0;  ///< nominal second-list samples per first-list sample
  /// The "New Segment" markers of the second list (EEG), or none: then no clock is modelled.
  const std::vector<CMarker*>* segmentList = nullptr;
  /// Nominal second-list samples per millisecond of the first list's trigger times, when the first
  /// list carries them (the tracker's): the overflow repair then finds the lost stretch by time.
  double secondSamplesPerMs = 0.0;
};

/// Where the second list's first buffer overflow falls in the first list.
struct OverflowRepair {
  bool found = false;          ///< the second list holds a "Buffer Overflow" marker
  bool located = false;        ///< both boundaries were found: the triggers between are lost
  int32_t overflowStart = -1;  ///< first-list position of the first trigger lost in the overflow
  int32_t overflowEnd = -1;    ///< first-list position of the first trigger kept after it
  uint64_t removeFrom = 0;     ///< first-list index of the first lost trigger
  uint64_t removeCount = 0;    ///< lost triggers to remove from the first list
  bool byTime = false;         ///< the segment dates and the clocks found the stretch, not the codes
  double lostFromMs = 0.0;     ///< by time: the lost stretch on the first list's clock
  double lostToMs = 0.0;
  std::string failure;         ///< why the stretch could not be found, when it was not
};

/// The clock model of one EEG segment.
struct SegmentFit {
  uint64_t marker = 0;           ///< index of its "New Segment" marker in the second list
  bool holdsPairs = false;       ///< at least one pair fell into the segment
  uint32_t firstPair = 0;        ///< its first and last pair, when it holds any
  uint32_t lastPair = 0;
  double slope = 0.0;            ///< EEG samples per first-list sample over its own pairs (log only)
  uint32_t samplesInserted = 0;  ///< samples lost before the segment, its correction included
  int32_t correction = 0;        ///< whole-sample shift found by the model
};

/// One row of the alignment table of the modelled pairs, in first-list samples.
struct AlignmentRow {
  uint16_t code = 0;
  double withShifts = 0.0;     ///< final drift line, segment shifts in place
  double withoutShifts = 0.0;  ///< the shifts taken back out
  double asRecorded = 0.0;     ///< every frame inserted before the segment taken back out too
};

/// What one matching found.
struct MatchingResult {
  OverflowRepair overflow;
  double rateRatio = 1.0;
  double matchingSlope = 1.0;  ///< starts as rateRatio; the clock model replaces it
  /// Indices into the first list (after RemoveOverflowTriggers) and the second list.
  std::vector<MatchedPair> pairs;
  std::vector<uint16_t> codes;             ///< code of every pair
  std::vector<uint32_t> firstPositions;    ///< first-list position of every pair
  std::vector<uint32_t> secondPositions;   ///< second-list position, after the segment shifts
  // The clock model (eye-tracker/EEG matching only).
  std::vector<SegmentFit> segments;  ///< one per "New Segment" marker
  uint64_t firstSegment = 0;
  uint64_t endSegment = 0;           ///< one past the last modelled segment
  std::vector<AlignmentRow> alignment;  ///< pairs of the modelled segments, in order
  double rSquared = 0.0;             ///< of the alignment's first column against the drift line

  // The clock model fitted to every pair (the default); without it the two-point line and the
  // shift walk above describe the clocks.
  bool clockFitted = false;
  ClockModel clock;         ///< over the pairs above, in their order
  PairVerdict verdict;
  bool timingDecided = false;  ///< the pairs come from the triggers' timing, not from the codes
  uint64_t codePairs = 0;      ///< pairs the codes gave (when the timing decided)
  uint64_t firstTriggers = 0;  ///< length of the two trigger lists that were matched
  uint64_t secondTriggers = 0;

  uint32_t X(uint64_t p) const { return firstPositions[p]; }
  uint32_t Y(uint64_t p) const { return secondPositions[p]; }
};

class TriggerMatching {
 public:
  enum class OverflowSide { Before, After };

  explicit TriggerMatching(const MatchingInput& input) : myInput(input) {}
  TriggerMatching(const TriggerMatching&) = delete;
  TriggerMatching& operator=(const TriggerMatching&) = delete;
  virtual ~TriggerMatching() = default;

  /// Where the first list's triggers lost in the second list's first buffer overflow lie.
  OverflowRepair CorrectBufferOverflow() const;
  /// First-list index of the last trigger before (Before) or the first after (After) the overflow
  /// at second-list index overflow, found by matching up to ten neighbouring codes; -1 when none.
  static int64_t FindOverflowBoundary(const std::vector<uint16_t>& first,
                                      const std::vector<uint16_t>& second, uint64_t overflow,
                                      OverflowSide side, int16_t ceiling);

  /// The LCS over the codes of the two lists, with the tie-break chosen by classicLcs: fills the
  /// pairs of result (and starts its clock model at the nominal ratio). False when it cannot run.
  bool MatchCodes(const SynchroParams& params, MatchingResult& result) const;
  /// Adds the pairs' alignment to the given 11-bin block of the article histograms: each side's
  /// offset from the first pair in first-list units, rounded, the second side through the rate
  /// ratio.
  static void CountAlignment(const MatchingResult& result, ArticleRecord& article, ArticleRecord::Block block);

  /// Drift line, segment shifts, the alignment table and R². Without a segment list it does
  /// nothing; false (after an error line) when no segment holds two pairs.
  bool ModelDrift(MatchingResult& result) const;
  /// Whole EEG-sample shift that brings the segment's pairs closest to the line of that slope
  /// through (x0, y0): the trial with the smallest summed signed distance, searched both ways.
  static int32_t FindSegmentShift(const MatchingResult& result, const SegmentFit& segment, double x0,
                                  double y0, double slope);
  /// Offsets and end-to-end errors of all pairs; print writes the unrounded errors to the console.
  static void Summarize(const MatchingResult& result, MatchSummary& summary, bool print);

 private:
  bool AssignPairsToSegments(MatchingResult& result) const;
  /// Whether the segment's offset from the least-squares line of the placed pairs (given by their
  /// count, means and spreads relative to x0, y0) stands clear of the sampling jitter.
  static bool ShiftIsSupported(const MatchingResult& result, const SegmentFit& segment, uint32_t x0,
                               uint32_t y0, double count, double meanX, double meanY,
                               double spreadXX, double spreadXY, double spreadYY, int32_t shift);
  void ApplyShift(MatchingResult& result, uint64_t segment, int32_t shift) const;
  static void TabulateAlignment(MatchingResult& result);

  MatchingInput myInput;
};

/// Removes from the first list the triggers that the repair found lost in the overflow.
void RemoveOverflowTriggers(std::vector<CMarker>& first, const OverflowRepair& repair);
