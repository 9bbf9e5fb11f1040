#pragma once
// One imagined experiment on one true time line: the eye tracker's recording blocks, the EEG's
// clock and segments, and every trigger with where each device registered it. The writers and the
// ground truth only read this plan, so the two recordings and the truth cannot disagree.

#include <cstdint>
#include <string>
#include <vector>

#include "clockmodel.h"
#include "segmentlayout.h"
#include "simoptions.h"

/// A START ... END block of the eye tracker, in global tracker sample indices (sample k is taken at
/// true time TrackerStartMs + k * SamplePeriodMs).
struct RecordingBlock {
  int64_t firstSample = 0;
  int64_t sampleCount = 0;
  int64_t EndSample() const { return firstSample + sampleCount; }  ///< one past the last
};

struct TriggerTruth {
  uint16_t code = 0;
  double trueMs = 0.0;            ///< the edge, true time (= tracker clock) in ms
  int64_t trackerTimestamp = 0;   ///< timestamp of the INPUT line with the code
  int64_t releaseTimestamp = -1;  ///< timestamp of the INPUT line back to 0; -1 when the next code follows directly
  int64_t eegGapFilled = 0;       ///< 0-based EEG sample registering the edge, on the gap-filled line
  int64_t eegFile = -1;           ///< 0-based sample in the .eeg file; -1 when the EEG lost the trigger
  bool adjacent = false;          ///< follows the previous trigger one EEG sample later
  bool coincident = false;        ///< the edge lies on a tracker sample and (within tolerance) an EEG sample
  bool EegLost() const { return eegFile < 0; }
};

class ExperimentPlan {
 public:
  bool Build(const SimOptions& options, std::string& error);

  const SimOptions& Options() const { return myOptions; }
  double SamplePeriodMs() const { return myPeriodMs; }
  int64_t TrackerStartMs() const { return myTrackerStartMs; }
  double SampleTime(int64_t k) const { return static_cast<double>(myTrackerStartMs) + static_cast<double>(k) * myPeriodMs; }
  /// Whole-millisecond timestamp EDF2ASC prints for sample k (two samples share one at 2000 Hz).
  int64_t SampleTimestamp(int64_t k) const;
  const std::vector<RecordingBlock>& Blocks() const { return myBlocks; }
  const ClockModel& Clock() const { return myClock; }
  const SegmentLayout& Layout() const { return myLayout; }
  const RecordingDate& Date() const { return myDate; }
  const std::vector<TriggerTruth>& Triggers() const { return myTriggers; }
  /// True time at which the EEG's wall clock reads the recording date (its gap-filled sample 0).
  double EegStartMs() const { return myClock.EegStartMs(); }

 private:
  bool PlanBlocks(std::string& error);
  bool PlanEeg(std::string& error);
  void PlanTriggers();
  double FindCoincidentEdge(double plannedMs, double limitMs, bool& found) const;
  void Register(TriggerTruth& trigger) const;

  SimOptions myOptions;
  double myPeriodMs = 2.0;
  int64_t myTrackerStartMs = 0;
  std::vector<RecordingBlock> myBlocks;
  ClockModel myClock{0.0, 0.0, 500.0};
  SegmentLayout myLayout;
  RecordingDate myDate;
  std::vector<TriggerTruth> myTriggers;
};
