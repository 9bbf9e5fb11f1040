// The ASC MAT export (-m): the parsed recording as the structure "EyetrackerAcq".

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "varnixlib/asc/ascrawdata.h"
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

}  // namespace

std::string AscRawData::EventFileNameOf(const std::string& matFileName) {
  const PathParts parts = SplitPath(matFileName);
  return MakePath(parts.directory, parts.base, "event.txt");
}

bool AscRawData::AddMatCodeTables(MatComponents& c) {
  bool ok = AppendBuilt(c, CodeTable("BinaryFormat", {{"tInt16", 0}, {"tFloat32", 1}, {"tFloat64", 2}}));
  ok = AppendBuilt(c, CodeTable("DataOrientation", {{"MULTIPLEXED", 0}, {"VECTORIZED", 1}})) && ok;
  ok = AppendBuilt(c, CodeTable("DataType", {{"FREQUENCYDOMAIN", 0}, {"TIMEDOMAIN", 1}})) && ok;
  ok = AppendBuilt(c, CodeTable("SegmentationType", {{"NOSEGMENTED", 0}, {"MARKERBASED", 1}})) && ok;
  return ok;
}

bool AscRawData::AddMatLineOffsets(MatComponents& c) {
  const uint64_t lines = NbLines();
  // Offsets are ascending: the last line start decides whether 32 bits hold them all.
  if (lines > 0 && myLineOffsets[lines - 1] > std::numeric_limits<uint32_t>::max()) {
    Warning("AscRawData::AddMatLineOffsets : file over 4 GiB, fseek written as double", myAscFileName);
    std::vector<double> wide(myLineOffsets.begin(), myLineOffsets.begin() + lines);
    return c.AddVector("fseek", wide);
  }
  myMatLineOffsets.assign(myLineOffsets.begin(), myLineOffsets.begin() + lines);
  return c.AddVector("fseek", myMatLineOffsets, true);
}

MatVariable AscRawData::MakeMatParams(bool withChannelNames) const {
  const uint16_t period = myHeader.samplePeriod;
  const double rate = period == 0 ? 0.0 : static_cast<double>(1000 / period);
  MatComponents p;
  bool ok = p.AddScalar("binaryFormat", uint16_t{2});
  ok = p.AddScalar("dataOrientation", uint16_t{0}) && ok;
  // Gaze samples are a time series: TIMEDOMAIN in the DataType table written beside it.
  ok = p.AddScalar("dataType", uint16_t{1}) && ok;
  ok = p.AddScalar("segmentationType", uint16_t{0}) && ok;
  ok = p.AddScalar("segmentDataPoints", uint32_t{0}) && ok;
  ok = p.AddScalar("samplingRate", rate) && ok;
  ok = p.AddScalar("nbOfChannels", myNbChannels) && ok;
  ok = p.AddScalar("nbOfSamples", myNbSamples) && ok;
  ok = p.AddScalar("valNaN", myNaNValue) && ok;
  ok = p.AddScalar("startTimestamp", myStartTimestamp) && ok;
  ok = p.AddScalar("endTimestamp", myEndTimestamp) && ok;
  if (withChannelNames) {
    ok = p.AddChannelNames("channelNames", myChannelNames, myChannelNames.size()) && ok;
  }
  if (!ok) {
    Error("AscRawData::MakeMatParams : field missing", myAscFileName);
    return {};
  }
  return p.MakeStructure("Params");
}

MatVariable AscRawData::MakeMatData() {
  MatComponents data;
  bool ok = AddMatCodeTables(data);
  ok = AddMatLineOffsets(data) && ok;
  ok = AppendBuilt(data, MakeMatParams(true)) && ok;
  // Sample-major with the channels inside a sample: column-major for channels-by-samples. The
  // variable reads the matrix in place, so its size is checked first.
  if (myData.size() != static_cast<uint64_t>(myNbChannels) * myNbSamples) {
    ok = Error("AscRawData::MakeMatData : matrix size", std::to_string(myData.size()));
  } else {
    ok = data.AddArray("raw", myNbChannels, myNbSamples, myData.data(), true) && ok;
  }
  if (!ok) return {};
  return data.MakeStructure("Data");
}

MatVariable AscRawData::MakeMatEyetracker() {
  MatComponents offsets;
  bool ok = AddMatLineOffsets(offsets);
  MatComponents eyetracker;
  ok = AppendBuilt(eyetracker, myHeader.MakeMatStructure()) && ok;
  ok = AppendBuilt(eyetracker, MakeMatParams(false)) && ok;
  ok = ok && AppendBuilt(eyetracker, offsets.MakeStructure("Data"));
  if (!ok) return {};
  return eyetracker.MakeStructure("Eyetracker");
}

MatVariable AscRawData::MakeMatEvents(const std::string& eventFileName) const {
  StimulationMap types;
  for (const auto& trigger : myTriggers) {
    const auto name = myTriggerNames.find(trigger->type);
    types.Add(trigger->type, name == myTriggerNames.end() ? std::string() : name->second);
  }
  for (const Event* event : myAllEvents) types.Add(event->type, std::string(EventTypes::Name(event->type)));
  bool ok = types.Write(eventFileName);

  MatComponents events;
  ok = AppendBuilt(events, types.MakeMatStructure("EventTypes")) && ok;
  ok = AddList(events, "AcqPhases", myAcqPhases) && ok;
  ok = AddList(events, "RecordSteps", myRecords) && ok;
  ok = AddList(events, "Sequences", mySequences, CSequence::AddMatFields) && ok;
  ok = AddList(events, "Displayables", myDisplayables, Displayable::AddMatFields) && ok;
  if (myFramesInEvents) ok = AddList(events, "Frames", myFrames) && ok;
  ok = AddList(events, "Transitions", myTransitions, CTransition::AddMatFields) && ok;
  ok = AddList(events, "FixationSaccadesLeft", myFixSaccLeft, FixationSaccade::AddMatFields) && ok;
  ok = AddList(events, "FixationSaccadesRight", myFixSaccRight, FixationSaccade::AddMatFields) && ok;
  ok = AddList(events, "BlinksLeft", myBlinksLeft) && ok;
  ok = AddList(events, "BlinksRight", myBlinksRight) && ok;
  ok = AddList(events, "Triggers", myTriggers) && ok;
  if (!myAllEvents.empty()) ok = AppendBuilt(events, EntriesOf(myAllEvents).MakeStructure("AllEvents")) && ok;
  if (!ok) return {};
  return events.MakeStructure("Events");
}

bool AscRawData::SaveMatFile(SynchroParams& params) {
  MatFile file;
  if (!file.Create(params.ascMatFileName)) {
    return Error("AscRawData::SaveMatFile creating MAT file", params.ascMatFileName);
  }
  params.eventFileName = EventFileNameOf(params.ascMatFileName);

  MatComponents top;
  bool ok = AppendBuilt(top, myHeader.MakeMatStructure());
  ok = AppendBuilt(top, MakeMatData()) && ok;
  ok = AppendBuilt(top, MakeMatEvents(params.eventFileName)) && ok;
  MatVariable acquisition = ok ? top.MakeStructure("EyetrackerAcq") : MatVariable{};
  // The file is finished either way; a structure with a part missing is not written.
  ok = acquisition && file.Write(std::move(acquisition)) && ok;
  ok = file.Close() && ok;
  if (!ok) return Error("AscRawData::SaveMatFile writing MAT file", params.ascMatFileName);
  return true;
}
