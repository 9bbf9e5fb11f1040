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

/// A trigger that one device got wrong: it missed the edge, or registered it a second time a few ms
/// later (the same code again).
enum class Outlier { None, EegMissed, TrackerMissed, EegDouble, TrackerDouble };

struct TriggerTruth {
  uint16_t code = 0;
  double trueMs = 0.0;            ///< the edge, true time (= tracker clock) in ms
  int64_t trackerTimestamp = 0;   ///< timestamp of the INPUT line with the code
  int64_t releaseTimestamp = -1;  ///< timestamp of the INPUT line back to 0; -1 when the next code follows directly
  int64_t eegGapFilled = 0;       ///< 0-based EEG sample registering the edge, on the gap-filled line
  int64_t eegFile = -1;           ///< 0-based sample in the .eeg file; -1 when the EEG lost the trigger
  bool adjacent = false;          ///< follows the previous trigger one EEG sample later
  bool coincident = false;        ///< the edge lies on a tracker sample and (within tolerance) an EEG sample
  bool trackerRecording = true;   ///< false before the tracker's late start or after its early stop
  Outlier outlier = Outlier::None;
  double doubleMs = 0.0;               ///< a double's second edge, true time
  int64_t doubleEegFile = -1;          ///< EEG double: 0-based .eeg sample of the second marker
  int64_t doubleTimestamp = -1;        ///< tracker double: its second INPUT line with the code
  int64_t doubleReleaseTimestamp = -1; ///< tracker double: the INPUT line back to 0 after it
  /// The EEG was not recording at the edge: a pause, an overflow, or outside the recording.
  bool EegLost() const { return eegFile < 0; }
  bool InEeg() const { return !EegLost() && outlier != Outlier::EegMissed; }                ///< a .vmrk marker
  bool InTracker() const { return trackerRecording && outlier != Outlier::TrackerMissed; }  ///< an INPUT line
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
  /// Timestamp of the INPUT line for an edge at true time t: the next whole millisecond, or with
  /// --tracker-grid the first sample timestamp at or after it.
  int64_t TrackerRegistration(double trueMs) const;
  /// Any knob that takes triggers away from one device or doubles them.
  bool HasTriggerFaults() const;

 private:
  bool PlanBlocks(std::string& error);
  bool PlanEeg(double startMs, double endMs, std::string& error);
  void PlanTriggers();
  bool CutEeg(std::string& error);
  bool CutTracker(std::string& error);
  bool PlanOutliers(std::string& error);
  void StampDateErrors();
  /// True time between trigger i's pulse and trigger i + 1's edge, where a device may start or stop.
  bool TimeBetween(size_t i, const char* knob, double& ms, std::string& error) const;
  bool InsideTrackerBlock(int64_t timestamp) const;
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
