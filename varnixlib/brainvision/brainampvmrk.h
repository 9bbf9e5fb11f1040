#pragma once
// The BrainVision marker file (.vmrk): segment starts, stimulus codes and buffer-overflow notices,
// with the bookkeeping of the samples lost between segments.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "varnixlib/cmarker.h"

class BrainampVhdr;

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
  uint64_t mergedCount = 0;         ///< adjacent stimuli merged into one position
  std::string fileName;             ///< the marker file read, for messages

 private:
  void AddSegment(const std::vector<std::string_view>& fields, const std::string& key, const std::string& text);
  void AddStimulus(const std::vector<std::string_view>& fields, const std::string& key, const std::string& text,
                   bool overflow);
  void MergeLastTwo();
  /// The 0-based position of a 1-based field; 0, counted for one warning, for the invalid 0.
  uint32_t FirstBased(uint64_t position);

  uint64_t myZeroPositions = 0;  ///< markers of the file read with position field 0
};
