// The event lists of a merged output set's MAT file, built from its gaze markers: class lists with
// their own fields, a trigger at position 0 preceded by its segment, EventTypes only from a file.

#include "varnixlib/mat/syncmatevents.h"

#include <gtest/gtest.h>
#include <matio.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "support/testsupport.h"
#include "varnixlib/asc/blink.h"
#include "varnixlib/asc/displayable.h"
#include "varnixlib/asc/fixationsaccade.h"
#include "varnixlib/asc/stimulationmap.h"

namespace {

using Strings = std::vector<std::string>;

Strings FieldNames(matvar_t* s) {
  Strings names;
  char* const* raw = Mat_VarGetStructFieldnames(s);
  for (unsigned i = 0; i < Mat_VarGetNumberOfFields(s); ++i) names.emplace_back(raw[i]);
  return names;
}

template <typename T>
std::vector<T> Values(matvar_t* s, const char* list, const char* name) {
  matvar_t* l = Mat_VarGetStructFieldByName(s, list, 0);
  matvar_t* v = l ? Mat_VarGetStructFieldByName(l, name, 0) : nullptr;
  EXPECT_NE(v, nullptr) << list << "." << name;
  if (!v) return {};
  std::vector<T> out(v->dims[0] * v->dims[1]);
  std::memcpy(out.data(), v->data, out.size() * sizeof(T));
  return out;
}

CMarker Marker(uint16_t code, uint32_t position, uint32_t size, uint32_t extra) {
  CMarker m;
  m.code = code;
  m.position = position;
  m.size = size;
  m.extra = extra;
  return m;
}

TEST(SyncMatEvents, MarkersFillTheListsOfTheirEventsOnTheMergedTimeBase) {
  Displayable image;
  image.type = 1001;
  image.line = 40;
  image.frameDuration = 17;
  image.name = "cat";
  FixationSaccade fixation(1017, 0, 0, 41);
  fixation.startX = 3.5;
  Blink blink(1020, 0, 0, 42);
  // Positions come from the markers (merged output), lines from the events.
  std::map<size_t, const Event*> byIndex = {{1, &image}, {2, &fixation}, {4, &blink}};
  std::vector<CMarker> markers = {Marker(7, 0, 0, 30), Marker(1001, 10, 5, 0), Marker(1017, 12, 2, 0),
                                  Marker(9, 20, 0, 31), Marker(1020, 25, 3, 0)};
  for (size_t i = 0; i < markers.size(); ++i) markers[i].flag = static_cast<uint8_t>(i);  // index for the lookup
  auto eventOf = [&](const CMarker& m) -> const Event* {
    const auto it = byIndex.find(m.flag);
    return it == byIndex.end() ? nullptr : it->second;
  };
  testsupport::TempDir dir;
  MatVariable events = SyncMatEvents::Make(markers, eventOf, dir / "missing.event.txt");
  ASSERT_NE(events, nullptr);
  // No event-type file: the lists come first.
  EXPECT_EQ(FieldNames(events.get()), (Strings{"Displayables", "FixationSaccadesRight", "BlinksLeft", "Segments",
                                               "Triggers", "AllEvents"}));
  EXPECT_EQ(Values<uint32_t>(events.get(), "Displayables", "time"), (std::vector<uint32_t>{11, 16}));
  EXPECT_EQ(Values<uint32_t>(events.get(), "Displayables", "fseek"), (std::vector<uint32_t>{41}));  // line 40, 1-based
  EXPECT_EQ(Values<uint16_t>(events.get(), "Displayables", "frameDuration"), (std::vector<uint16_t>{17}));
  EXPECT_EQ(Values<double>(events.get(), "FixationSaccadesRight", "startPos"), (std::vector<double>{3.5, 0.0}));
  EXPECT_EQ(Values<uint32_t>(events.get(), "BlinksLeft", "time"), (std::vector<uint32_t>{26, 29}));
  // The trigger at position 0 brings a segment entry (256, times 1 and 2) before it.
  EXPECT_EQ(Values<uint16_t>(events.get(), "Segments", "value"), (std::vector<uint16_t>{256}));
  EXPECT_EQ(Values<uint32_t>(events.get(), "Segments", "time"), (std::vector<uint32_t>{1, 2}));
  EXPECT_EQ(Values<uint16_t>(events.get(), "Triggers", "value"), (std::vector<uint16_t>{7, 9}));
  EXPECT_EQ(Values<uint32_t>(events.get(), "Triggers", "time"), (std::vector<uint32_t>{1, 2, 21, 22}));
  EXPECT_EQ(Values<uint32_t>(events.get(), "Triggers", "fseek"), (std::vector<uint32_t>{31, 32}));
  EXPECT_EQ(Values<uint16_t>(events.get(), "AllEvents", "value"),
            (std::vector<uint16_t>{256, 7, 1001, 1017, 9, 1020}));
}

TEST(SyncMatEvents, EventTypesComeFromTheSetsEventTypeFileWhenItExists) {
  testsupport::TempDir dir;
  StimulationMap written;
  written.Add(5, "trigger005");
  written.Add(5, "trigger005");
  written.Add(1016, "flowFixationLeft");
  ASSERT_TRUE(written.Write(dir / "set.event.txt"));
  MatVariable events = SyncMatEvents::Make({Marker(5, 3, 0, 1)}, {}, dir / "set.event.txt");
  ASSERT_NE(events, nullptr);
  EXPECT_EQ(FieldNames(events.get()), (Strings{"EventTypes", "Triggers", "AllEvents"}));
  EXPECT_EQ(Values<uint16_t>(events.get(), "EventTypes", "value"), (std::vector<uint16_t>{5, 1016}));
  EXPECT_EQ(Values<uint32_t>(events.get(), "EventTypes", "count"), (std::vector<uint32_t>{2, 1}));
}

}  // namespace
