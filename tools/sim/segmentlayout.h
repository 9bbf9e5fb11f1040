#pragma once
// The EEG recording's segments on the gap-filled time line: where each interruption (a pause or a
// buffer overflow) lost samples, where each segment's samples sit in the .eeg file, and the New
// Segment date of each. Dates follow the EEG's nominal clock, so the clock difference of two segment
// starts, in samples and rounded, is the recorded samples between them plus the samples lost.

#include <cstdint>
#include <string>
#include <vector>

enum class SegmentKind { Start, Pause, Overflow };

struct Interruption {
  uint64_t gapStart = 0;  ///< first lost sample on the gap-filled line (0-based)
  uint64_t lost = 0;      ///< samples lost
  SegmentKind kind = SegmentKind::Pause;
};

struct EegSegment {
  SegmentKind kind = SegmentKind::Start;
  uint64_t gapFilledStart = 0;  ///< first recorded sample on the gap-filled line (0-based)
  uint64_t fileStart = 0;       ///< the same sample in the .eeg file (0-based)
  uint64_t recorded = 0;        ///< samples recorded in this segment
  uint64_t lostBefore = 0;      ///< samples lost just before it
  std::string date;             ///< New Segment date, 20 digits YYYYMMDDhhmmssuuuuuu, as in the .vmrk
  std::string trueDate;         ///< the date of the EEG's nominal clock, which `date` equals unless stamped with an error
  int64_t dateErrorUs = 0;      ///< date - trueDate
};

/// Wall-clock start of the recording: a civil date and the microsecond of that day.
struct RecordingDate {
  int year = 2026, month = 3, day = 16;
  int64_t microsecondOfDay = 0;
  /// Date and time of day `offsetUs` later, as the 20 digits of a New Segment.
  std::string Digits(int64_t offsetUs) const;
  /// "Mon Mar 16 10:15:30 2026", the form of an EDF2ASC DATE line, `offsetUs` later.
  std::string AscText(int64_t offsetUs) const;
  /// "10:15:30", `offsetUs` later.
  std::string TimeText(int64_t offsetUs) const;
};

class SegmentLayout {
 public:
  /// Builds the segments of totalSamples gap-filled samples cut by the interruptions (sorted and
  /// disjoint, each inside the recording). False with a reason when they are not.
  bool Build(uint64_t totalSamples, std::vector<Interruption> interruptions, double rateHz,
             const RecordingDate& date, std::string& error);

  const std::vector<EegSegment>& Segments() const { return mySegments; }
  const std::vector<Interruption>& Interruptions() const { return myInterruptions; }
  uint64_t TotalSamples() const { return myTotal; }
  uint64_t RecordedSamples() const;

  /// File position (0-based) of gap-filled sample n, or -1 when the sample was not recorded (lost in an
  /// interruption, or outside the recording).
  int64_t FilePosition(int64_t n) const;
  /// Index of the segment holding gap-filled sample n, or -1 when the sample was not recorded.
  int SegmentOf(int64_t n) const;

  /// Restamps each segment's date as the recording PC's clock wrote it: its true date plus the
  /// segment's error (one per segment, in microseconds).
  void StampDateErrors(const std::vector<int64_t>& errorsUs, double rateHz, const RecordingDate& date);

 private:
  uint64_t myTotal = 0;
  std::vector<Interruption> myInterruptions;
  std::vector<EegSegment> mySegments;
};
