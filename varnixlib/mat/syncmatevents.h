#pragma once
// The "Events" structure of a merged output set's MAT file: the gaze markers of the set, each
// standing for an eye-tracker event or a trigger, sorted into the event lists on the merged time
// base, after the event types read back from the set's event-type file.

#include <functional>
#include <string>
#include <vector>

#include "varnixlib/cmarker.h"
#include "varnixlib/mat/matcomponents.h"

class Event;

class SyncMatEvents {
 public:
  /// The eye-tracker event a marker stands for, or null for a trigger marker.
  using EventOf = std::function<const Event*(const CMarker&)>;

  /// Builds "Events": EventTypes when eventTypeFile exists and reads back, then every non-empty
  /// list of AcqPhases, RecordSteps, Sequences, Displayables, Frames, Transitions,
  /// FixationSaccadesLeft/Right, BlinksLeft/Right, Segments, Triggers, AllEvents. An entry takes its
  /// position and duration from the marker and its line from the event (a trigger: the marker's
  /// extra). Empty (reported) when a part could not be built.
  static MatVariable Make(const std::vector<CMarker>& markers, const EventOf& eventOf,
                          const std::string& eventTypeFile);
};
