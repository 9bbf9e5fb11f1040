#pragma once
// The BrainVision marker file (.vmrk): segment starts, stimulus codes and buffer-overflow notices,
// with the bookkeeping of the samples lost between segments.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "varnixlib/cmarker.h"

class BrainampVhdr;

/// One line of a merged marker file, in BrainVision's own terms.
struct MergedMarker {
  std::string type;         ///< "Stimulus", "Response", "Comment", "Bad Interval", ...
  std::string description;  ///< "S  7", "unmatched EEG trigger S140", ...
  uint64_t position = 0;    ///< 0-based frame of the merged recording
  uint64_t length = 1;      ///< in frames
  std::string channel = "0";
  std::string rest;         ///< any fields after the channel, with their leading comma
};

class BrainampVmrk {
 public:
  BrainampVmrk() = default;
  // segments points into markers: a copy would point into the original.
  BrainampVmrk(const BrainampVmrk&) = delete;
  BrainampVmrk& operator=(const BrainampVmrk&) = delete;
  BrainampVmrk(BrainampVmrk&&) = default;
  BrainampVmrk& operator=(BrainampVmrk&&) = default;

  /// Reads the marker file. A missing file is reported and gives no markers; always true.
  bool Process(const std::string& fileName);
  /// Reads the markers from the bytes of a marker file; fileName only names it in warnings.
  void ProcessContent(std::string_view content, const std::string& fileName);

  /// Writes outputName + ".vmrk" for a merged recording: the recording's marker file
  /// (dataFileName itself when it names a .vmrk, else the .vmrk beside it) up to its first marker, then one Stimulus line per marker of list (positions
  /// 0-based on the output time base). Reads nothing of this object.
  static bool SaveVarnix(const std::string& dataFileName, const std::string& outputName,
                         const std::vector<CMarker>& list, bool singleSampleMarkers);
  /// The same with the lines given whole. A firstDate of 20 digits replaces the date of the
  /// recording's first New Segment (the merged recording starts later than the EEG did).
  static bool SaveVarnix(const std::string& dataFileName, const std::string& outputName,
                         const std::vector<MergedMarker>& list, const std::string& firstDate);

  /// A New Segment date (YYYYMMDDhhmmss and six digits of microseconds) moved on by microseconds
  /// (rounded to whole ones), across days, months and years; empty when date is not a calendar date
  /// with a time of day or the result leaves the years 1 to 9999.
  static std::string DateAfter(const std::string& date, double microseconds);

  /// Sets header.nbOfSamples from the value count, works out the samples lost before each
  /// segment from the segment clocks and moves the stimuli onto the gap-filled time line. False,
  /// reported, when the segments cannot be placed in the data (out of order, past its end,
  /// unreadable dates, or gaps beyond what a recording can hold).
  bool ProcessDataSegments(BrainampVhdr& header, uint64_t valueCount);
  /// Applies a whole-sample shift found by the clock model to segment s: its lost-sample count
  /// grows by shift (it is recorded as the segment's correction) and every marker from the
  /// segment on, but the segment markers, moves by shift.
  void ShiftSegment(uint64_t s, int32_t shift);
  /// The same on any marker list holding segment.
  static void ShiftMarkers(std::vector<CMarker>& markers, CMarker& segment, int32_t shift);

  std::vector<CMarker> markers;     ///< in file order, each segment start before the markers at its position
  std::vector<CMarker*> segments;   ///< the New Segment markers inside markers, in file order
  /// The markers the alignment has no use for (responses, comments, non-numeric stimuli, any other
  /// type): text holds the whole line after "Mk<n>=", position the recorded 0-based sample (not
  /// moved onto the gap-filled time line; see GapFilledPosition).
  std::vector<CMarker> otherMarkers;
  /// Where a recorded position lies on the time line with the lost samples put back (and the
  /// clock model's shifts applied): the losses of every segment that starts at or before it.
  int64_t GapFilledPosition(uint32_t recorded) const;
  uint64_t mergedCount = 0;         ///< adjacent stimuli merged into one position
  std::string fileName;             ///< the marker file read, for messages

 private:
  void AddSegment(const std::vector<std::string_view>& fields, const std::string& key, const std::string& text);
  void AddStimulus(const std::vector<std::string_view>& fields, const std::string& key, const std::string& text,
                   bool overflow);
  void AddOther(const std::vector<std::string_view>& fields, const std::string& text);
  void MergeLastTwo();
  /// The 0-based position of a 1-based field; 0, counted for one warning, for the invalid 0.
  uint32_t FirstBased(uint64_t position);

  uint64_t myZeroPositions = 0;  ///< markers of the file read with position field 0
};
