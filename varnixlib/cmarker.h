#pragma once
// The one marker record of the system: EEG markers, eye-tracker triggers and events handed to the
// synchronisation, reference triggers and the markers written to the merged recording.

#include <cstdint>
#include <string>

class Event;

enum MarkerType : uint32_t { NewSegment = 0, Stimulus = 1 };

inline constexpr uint16_t SEGMENT_CODE = 256;   ///< code of a "New Segment" marker
inline constexpr uint16_t OVERFLOW_CODE = 257;  ///< code of a "Buffer Overflow" comment

class CMarker {
 public:
  CMarker() = default;
  CMarker(const CMarker&) = default;
  CMarker& operator=(const CMarker&) = default;
  virtual ~CMarker() = default;

  /// Sets clockSample from dateText (time of day in samples at rateHz) and returns it rounded.
  int32_t ComputeClock(double rateHz);

  uint32_t type = Stimulus;     ///< MarkerType
  uint8_t flag = 0;             ///< 1 on segments and on a stimulus superseded by its neighbour
  std::string text;             ///< the whole marker text after "Mk<n>="
  std::string label;
  uint16_t code = 0;            ///< TTL code, SEGMENT_CODE or OVERFLOW_CODE; >= 1000 eye events
  uint32_t position = 0;        ///< 0-based sample index on the marker's own stream
  uint32_t size = 0;            ///< length in samples; on segments the recorded segment length
  uint32_t extra = 0;
  const Event* event = nullptr; ///< eye-tracker event markers: the event, owned by AscRawData
  double time = 0.0;            ///< eye-tracker triggers: the tracker's time of the trigger, ms
  std::string dateText;         ///< New Segment date, 20 digits
  double clockSample = 0.0;     ///< segments: time of day of dateText in samples
  uint32_t samplesInserted = 0; ///< segments: samples lost just before this segment
  int32_t correction = 0;       ///< segments: whole-sample shift found by the drift model
  uint32_t gapStart = 0;        ///< segments: first lost sample on the gap-filled time line
  uint32_t gapEnd = 0;          ///< segments: gapStart + samplesInserted
  uint32_t segmentEnd = 0;      ///< segments: end of the recorded samples on the gap-filled line
  double slope = 0.0;           ///< segments: drift slope of the segment's pairs
  uint32_t firstPair = 0;
  uint32_t lastPair = 0;
};

/// A trigger code, as opposed to the segment and overflow bookkeeping of the EEG's list.
inline bool IsTriggerMarker(const CMarker& m) {
  return m.type != NewSegment && m.code != SEGMENT_CODE && m.code != OVERFLOW_CODE;
}
