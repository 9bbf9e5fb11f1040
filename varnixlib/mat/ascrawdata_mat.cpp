// The ASC MAT export (-m): the parsed recording as the structure "EyetrackerAcq".

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "varnixlib/asc/ascrawdata.h"
#include "varnixlib/mat/ascrawdata_mat.h"
#include "varnixlib/mat/recordmat.h"
#include "varnixlib/asc/eventtypes.h"
#include "varnixlib/mat/mateventlist.h"
#include "varnixlib/mat/matfile.h"
#include "varnixlib/support/paths.h"
#include "varnixlib/support/report.h"
#include "varnixlib/asc/stimulationmap.h"
#include "varnixlib/synchroparams.h"

namespace {

template <typename T>
std::vector<const T*> Pointers(const std::vector<std::unique_ptr<T>>& list) {
  std::vector<const T*> pointers;
  pointers.reserve(list.size());
  for (const auto& item : list) pointers.push_back(item.get());
  return pointers;
}

template <typename T>
MatEventList EntriesOf(const std::vector<T>& list) {
  MatEventList entries;
  entries.Reserve(list.size());
  for (const auto& item : list) entries.Add(*item);
  return entries;
}

/// A structure of uint16 code scalars, in the order given.
MatVariable CodeTable(const std::string& name,
                      std::initializer_list<std::pair<const char*, uint16_t>> codes) {
  MatComponents table;
  for (const auto& [field, code] : codes) {
    if (!table.AddScalar(field, code)) return {};
  }
  return table.MakeStructure(name);
}

/// Appends a structure built elsewhere; a missing one was reported where it failed.
bool AppendBuilt(MatComponents& components, MatVariable variable) {
  return variable && components.Append(std::move(variable));
}

/// The list as a structure when it has entries; an empty list adds no field and is no failure.
template <typename T, typename Extra>
bool AddList(MatComponents& events, const char* name, const std::vector<std::unique_ptr<T>>& list,
             Extra extra) {
  if (list.empty()) return true;
  const std::vector<const T*> items = Pointers(list);
  return AppendBuilt(events, EntriesOf(list).MakeStructure(name, [&](MatComponents& c) {
                       return extra(c, items);
                     }));
}

template <typename T>
bool AddList(MatComponents& events, const char* name, const std::vector<std::unique_ptr<T>>& list) {
  if (list.empty()) return true;
  return AppendBuilt(events, EntriesOf(list).MakeStructure(name));
}

/// The kind-specific fields of a list, for AddList.
constexpr auto kFields = [](MatComponents& c, const auto& items) { return AddMatFields(c, items); };

}  // namespace

std::string AscMatExport::EventFileNameOf(const std::string& matFileName) {
  const PathParts parts = SplitPath(matFileName);
  return MakePath(parts.directory, parts.base, "event.txt");
}

bool AscMatExport::AddMatCodeTables(MatComponents& c) {
  bool ok = AppendBuilt(c, CodeTable("BinaryFormat", {{"tInt16", 0}, {"tFloat32", 1}, {"tFloat64", 2}}));
  ok = AppendBuilt(c, CodeTable("DataOrientation", {{"MULTIPLEXED", 0}, {"VECTORIZED", 1}})) && ok;
  ok = AppendBuilt(c, CodeTable("DataType", {{"FREQUENCYDOMAIN", 0}, {"TIMEDOMAIN", 1}})) && ok;
  ok = AppendBuilt(c, CodeTable("SegmentationType", {{"NOSEGMENTED", 0}, {"MARKERBASED", 1}})) && ok;
  return ok;
}

bool AscMatExport::AddMatLineOffsets(MatComponents& c) {
  const AscRawData& a = myAsc;
  const uint64_t lines = a.NbLines();
  // Offsets are ascending: the last line start decides whether 32 bits hold them all.
  if (lines > 0 && a.myLineOffsets[lines - 1] > std::numeric_limits<uint32_t>::max()) {
    Warning("AscRawData::AddMatLineOffsets : file over 4 GiB, fseek written as double", a.myAscFileName);
    std::vector<double> wide(a.myLineOffsets.begin(), a.myLineOffsets.begin() + lines);
    return c.AddVector("fseek", wide);
  }
  myMatLineOffsets.assign(a.myLineOffsets.begin(), a.myLineOffsets.begin() + lines);
  return c.AddVector("fseek", myMatLineOffsets, true);
}

MatVariable AscMatExport::MakeMatParams(bool withChannelNames) const {
  const AscRawData& a = myAsc;
  const uint32_t periodUs = a.myHeader.samplePeriodUs;
  const double rate = periodUs == 0 ? 0.0 : static_cast<double>(1000000 / periodUs);
  MatComponents p;
  bool ok = p.AddScalar("binaryFormat", uint16_t{2});
  ok = p.AddScalar("dataOrientation", uint16_t{0}) && ok;
  // Gaze samples are a time series: TIMEDOMAIN in the DataType table written beside it.
  ok = p.AddScalar("dataType", uint16_t{1}) && ok;
  ok = p.AddScalar("segmentationType", uint16_t{0}) && ok;
  ok = p.AddScalar("segmentDataPoints", uint32_t{0}) && ok;
  ok = p.AddScalar("samplingRate", rate) && ok;
  ok = p.AddScalar("nbOfChannels", a.myNbChannels) && ok;
  ok = p.AddScalar("nbOfSamples", a.myNbSamples) && ok;
  ok = p.AddScalar("valNaN", a.myNaNValue) && ok;
  ok = p.AddScalar("startTimestamp", a.myStartTimestamp) && ok;
  ok = p.AddScalar("endTimestamp", a.myEndTimestamp) && ok;
  // Head-referenced samples are angles, not screen pixels; gaze exports keep their fields as before.
  if (a.myHeader.sampleKind == "HREF") ok = p.AddString("sampleKind", a.myHeader.sampleKind) && ok;
  if (withChannelNames) {
    ok = p.AddChannelNames("channelNames", a.myChannelNames, a.myChannelNames.size()) && ok;
  }
  if (!ok) {
    Error("AscRawData::MakeMatParams : field missing", a.myAscFileName);
    return {};
  }
  return p.MakeStructure("Params");
}

MatVariable AscMatExport::MakeMatData() {
  const AscRawData& a = myAsc;
  MatComponents data;
  bool ok = AddMatCodeTables(data);
  ok = AddMatLineOffsets(data) && ok;
  ok = AppendBuilt(data, MakeMatParams(true)) && ok;
  // Sample-major with the channels inside a sample: column-major for channels-by-samples. The
  // variable reads the matrix in place, so its size is checked first.
  if (a.myData.size() != static_cast<uint64_t>(a.myNbChannels) * a.myNbSamples) {
    ok = Error("AscRawData::MakeMatData : matrix size", std::to_string(a.myData.size()));
  } else {
    ok = data.AddArray("raw", a.myNbChannels, a.myNbSamples, a.myData.data(), true) && ok;
  }
  if (!ok) return {};
  return data.MakeStructure("Data");
}

MatVariable AscMatExport::MakeMatEyetracker() {
  const AscRawData& a = myAsc;
  MatComponents offsets;
  bool ok = AddMatLineOffsets(offsets);
  MatComponents eyetracker;
  ok = AppendBuilt(eyetracker, MakeMatStructure(a.myHeader)) && ok;
  ok = AppendBuilt(eyetracker, MakeMatParams(false)) && ok;
  ok = ok && AppendBuilt(eyetracker, offsets.MakeStructure("Data"));
  if (!ok) return {};
  return eyetracker.MakeStructure("Eyetracker");
}

MatVariable AscMatExport::MakeMatEvents(const std::string& eventFileName) const {
  const AscRawData& a = myAsc;
  StimulationMap types;
  for (const auto& trigger : a.myTriggers) {
    const auto name = a.myTriggerNames.find(trigger->type);
    types.Add(trigger->type, name == a.myTriggerNames.end() ? std::string() : name->second);
  }
  for (const Event* event : a.myAllEvents) types.Add(event->type, std::string(EventTypes::Name(event->type)));
  bool ok = types.Write(eventFileName);

  MatComponents events;
  ok = AppendBuilt(events, MakeMatStructure(types, "EventTypes")) && ok;
  ok = AddList(events, "AcqPhases", a.myAcqPhases) && ok;
  ok = AddList(events, "RecordSteps", a.myRecords) && ok;
  ok = AddList(events, "Sequences", a.mySequences, kFields) && ok;
  ok = AddList(events, "Displayables", a.myDisplayables, kFields) && ok;
  if (a.myFramesInEvents) ok = AddList(events, "Frames", a.myFrames) && ok;
  ok = AddList(events, "Transitions", a.myTransitions, kFields) && ok;
  ok = AddList(events, "FixationSaccadesLeft", a.myFixSaccLeft, kFields) && ok;
  ok = AddList(events, "FixationSaccadesRight", a.myFixSaccRight, kFields) && ok;
  ok = AddList(events, "BlinksLeft", a.myBlinksLeft) && ok;
  ok = AddList(events, "BlinksRight", a.myBlinksRight) && ok;
  ok = AddList(events, "Triggers", a.myTriggers) && ok;
  if (!a.myAllEvents.empty()) ok = AppendBuilt(events, EntriesOf(a.myAllEvents).MakeStructure("AllEvents")) && ok;
  if (!ok) return {};
  return events.MakeStructure("Events");
}

bool AscMatExport::SaveMatFile(SynchroParams& params) {
  const AscRawData& a = myAsc;
  MatFile file;
  if (!file.Create(params.ascMatFileName)) {
    return Error("AscRawData::SaveMatFile creating MAT file", params.ascMatFileName);
  }
  params.eventFileName = EventFileNameOf(params.ascMatFileName);

  MatComponents top;
  bool ok = AppendBuilt(top, MakeMatStructure(a.myHeader));
  ok = AppendBuilt(top, MakeMatData()) && ok;
  ok = AppendBuilt(top, MakeMatEvents(params.eventFileName)) && ok;
  MatVariable acquisition = ok ? top.MakeStructure("EyetrackerAcq") : MatVariable{};
  // The file is finished either way; a structure with a part missing is not written.
  ok = acquisition && file.Write(std::move(acquisition)) && ok;
  ok = file.Close() && ok;
  if (!ok) return Error("AscRawData::SaveMatFile writing MAT file", params.ascMatFileName);
  return true;
}
