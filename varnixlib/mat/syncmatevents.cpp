#include "varnixlib/mat/syncmatevents.h"

#include "varnixlib/mat/recordmat.h"

#include <utility>

#include "varnixlib/asc/acqphase.h"
#include "varnixlib/asc/blink.h"
#include "varnixlib/asc/csequence.h"
#include "varnixlib/asc/ctransition.h"
#include "varnixlib/asc/displayable.h"
#include "varnixlib/asc/eventtypes.h"
#include "varnixlib/support/file.h"
#include "varnixlib/asc/fixationsaccade.h"
#include "varnixlib/mat/mateventlist.h"
#include "varnixlib/support/report.h"
#include "varnixlib/asc/stimulationmap.h"

namespace {

/// One list being filled: its entries and, for the classes with fields of their own, the objects.
template <typename T>
struct Collected {
  MatEventList entries;
  std::vector<const T*> items;
  void Add(const CMarker& m, const T& event) {
    entries.Add(event.type, m.position, m.size, event.line);
    items.push_back(&event);
  }
};

/// Files an event under its class list when it really is of that class.
template <typename T>
void AddAs(Collected<T>& list, const CMarker& m, const Event& event) {
  if (const auto* typed = dynamic_cast<const T*>(&event)) list.Add(m, *typed);
}

template <typename T>
bool AddList(MatComponents& events, const char* name, const Collected<T>& list,
             bool (*extra)(MatComponents&, const std::vector<const T*>&) = nullptr) {
  if (list.entries.Empty()) return true;
  MatVariable structure = list.entries.MakeStructure(name, [&](MatComponents& c) {
    return extra ? extra(c, list.items) : true;
  });
  return structure && events.Append(std::move(structure));
}

bool AddPlain(MatComponents& events, const char* name, const MatEventList& list) {
  if (list.Empty()) return true;
  MatVariable structure = list.MakeStructure(name);
  return structure && events.Append(std::move(structure));
}

}  // namespace

MatVariable SyncMatEvents::Make(const std::vector<CMarker>& markers, const EventOf& eventOf,
                                const std::string& eventTypeFile) {
  Collected<AcqPhase> phases;
  Collected<Event> records, frames, blinksLeft, blinksRight;
  Collected<CSequence> sequences;
  Collected<Displayable> displayables;
  Collected<CTransition> transitions;
  Collected<FixationSaccade> fixLeft, fixRight;
  MatEventList segments, triggers, all;

  for (const CMarker& m : markers) {
    const Event* event = eventOf ? eventOf(m) : nullptr;
    if (!event) {
      if (m.position == 0) {
        segments.Add(SEGMENT_CODE, 0, 1, m.extra);
        all.Add(SEGMENT_CODE, 0, 1, m.extra);
      }
      triggers.Add(m.code, m.position, 1, m.extra);
      all.Add(m.code, m.position, 1, m.extra);
      continue;
    }
    all.Add(event->type, m.position, m.size, event->line);
    const uint16_t t = event->type;
    if (t <= EventTypes::displayableVideoNoSound && t >= EventTypes::displayableSpecial) {
      AddAs(displayables, m, *event);
    } else if (t == EventTypes::displayableFrame) {
      frames.Add(m, *event);
    } else if (t >= EventTypes::transitionTime && t <= EventTypes::transitionSpecial) {
      AddAs(transitions, m, *event);
    } else if (t == EventTypes::flowSequence) {
      AddAs(sequences, m, *event);
    } else if (t == EventTypes::flowFixationLeft || t == EventTypes::flowSaccadeLeft) {
      AddAs(fixLeft, m, *event);
    } else if (t == EventTypes::flowFixationRight || t == EventTypes::flowSaccadeRight) {
      AddAs(fixRight, m, *event);
    } else if (t == EventTypes::flowBlinkLeft) {
      blinksLeft.Add(m, *event);
    } else if (t == EventTypes::flowBlinkRight) {
      blinksRight.Add(m, *event);
    } else if (t == EventTypes::phaseLearning || t == EventTypes::phaseTesting) {
      AddAs(phases, m, *event);
    } else if (t == EventTypes::recordStep) {
      records.Add(m, *event);
    }
  }

  MatComponents events;
  bool ok = true;
  // A set whose event-type file is missing simply has no EventTypes.
  if (Varnix::File::Exists(eventTypeFile)) {
    StimulationMap types;
    ok = types.Read(eventTypeFile);
    MatVariable table = ok ? MakeMatStructure(types, "EventTypes") : MatVariable{};
    ok = table && events.Append(std::move(table));
  }
  ok = AddList(events, "AcqPhases", phases) && ok;
  ok = AddList(events, "RecordSteps", records) && ok;
  ok = AddList(events, "Sequences", sequences, AddMatFields) && ok;
  ok = AddList(events, "Displayables", displayables, AddMatFields) && ok;
  ok = AddList(events, "Frames", frames) && ok;
  ok = AddList(events, "Transitions", transitions, AddMatFields) && ok;
  ok = AddList(events, "FixationSaccadesLeft", fixLeft, AddMatFields) && ok;
  ok = AddList(events, "FixationSaccadesRight", fixRight, AddMatFields) && ok;
  ok = AddList(events, "BlinksLeft", blinksLeft) && ok;
  ok = AddList(events, "BlinksRight", blinksRight) && ok;
  ok = AddPlain(events, "Segments", segments) && ok;
  ok = AddPlain(events, "Triggers", triggers) && ok;
  ok = AddPlain(events, "AllEvents", all) && ok;
  if (!ok) {
    Error("SyncMatEvents::Make : event list missing", eventTypeFile);
    return {};
  }
  return events.MakeStructure("Events");
}
