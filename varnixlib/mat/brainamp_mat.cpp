// The MAT file of one merged output set (-m): both recordings' descriptions, the alignment summary
// and the event lists on the merged time base, as the structure "EegAcq".

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "varnixlib/asc/ascrawdata.h"
#include "varnixlib/brainvision/brainamp.h"
#include "varnixlib/mat/ascrawdata_mat.h"
#include "varnixlib/mat/brainamp_mat.h"
#include "varnixlib/mat/matfile.h"
#include "varnixlib/mat/recordmat.h"
#include "varnixlib/support/paths.h"
#include "varnixlib/support/report.h"
#include "varnixlib/syncinfo.h"
#include "varnixlib/mat/syncmatevents.h"

namespace {

/// Signed record fields go into the uint32 variables bit for bit.
uint32_t Bits(int32_t value) {
  uint32_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

MatVariable MakeSynchro(const SyncInfo& info) {
  const MatchSummary& s = info.summary;
  MatComponents c;
  bool ok = c.AddScalar("gazeReferenceAsc", Bits(info.gazeStart));
  ok = c.AddScalar("gazeReference", info.towardGaze) && ok;
  ok = c.AddScalar("trueSamplingRate", Bits(info.outputRateInteger)) && ok;
  ok = c.AddScalar("eegSamplingRate", Bits(info.eegRate)) && ok;
  ok = c.AddScalar("gazeSamplingRate", Bits(info.gazeRate)) && ok;
  ok = c.AddScalar("eegOnGazeSamplingRatio", info.rateRatio) && ok;
  ok = c.AddScalar("nbOfChannels", info.outputChannels) && ok;
  ok = c.AddScalar("eegNbChannels", info.eegChannels) && ok;
  ok = c.AddScalar("gazeNbChannels", info.gazeChannels) && ok;
  ok = c.AddScalar("nbOfSamples", info.outputSamples) && ok;
  ok = c.AddScalar("eegNbSamples", Bits(info.eegWindowSamples)) && ok;
  ok = c.AddScalar("gazeNbSamples", Bits(info.gazeWindowSamples)) && ok;
  ok = c.AddScalar("nbOfSegments", info.segments) && ok;
  ok = c.AddScalar("nbOfTriggers", Bits(info.pairs)) && ok;
  ok = c.AddScalar("nbOfExtraTriggers", Bits(info.mergedTriggers)) && ok;
  ok = c.AddScalar("firstTrigger", info.firstCode) && ok;
  ok = c.AddScalar("lastTrigger", info.lastCode) && ok;
  // The offsets are signed in the record and exported as uint32, bit for bit: same width, so the
  // arrays are referred to as they are.
  static_assert(sizeof(int32_t) == sizeof(uint32_t));
  ok = c.AddVector("triggerValues", s.codes, true) && ok;
  ok = c.AddArray("triggerGazeOffset", 1, s.firstOffsets.size(),
                  reinterpret_cast<const uint32_t*>(s.firstOffsets.data()), true) && ok;
  ok = c.AddArray("triggerEegOffset", 1, s.secondOffsets.size(),
                  reinterpret_cast<const uint32_t*>(s.secondOffsets.data()), true) && ok;
  ok = c.AddVector("diffs", s.roundedErrors, true) && ok;
  ok = c.AddScalar("gazeFirst", Bits(s.x0)) && ok;
  ok = c.AddScalar("eegFirst", Bits(s.y0)) && ok;
  ok = c.AddScalar("R2", s.R2) && ok;
  if (!ok) return {};
  return c.MakeStructure("Synchro");
}

bool AppendBuilt(MatComponents& components, MatVariable variable) {
  return variable && components.Append(std::move(variable));
}

}  // namespace

bool SaveMatFile(const Brainamp& eeg, const AscRawData& asc, const SyncInfo& info,
                 const std::string& prefix) {
  const std::string fileName = ReplaceExtension(prefix, "asc.eeg.mat");

  AscMatExport gaze(asc);
  MatVariable eyetracker = gaze.MakeMatEyetracker();
  MatComponents data;
  bool dataOk = AppendBuilt(data, MakeSynchro(info));
  dataOk = AscMatExport::AddMatCodeTables(data) && dataOk;
  SyncOutputDescription merged;
  merged.nbOfSamples = info.outputSamples;
  merged.nbOfChannels = info.outputChannels;
  merged.samplingRate = info.outputRate;
  merged.addedChannelNames = asc.ChannelNames();
  const double eegNaN = eeg.myEEG ? eeg.myEEG->GetNaN() : 0.0;
  dataOk = AppendBuilt(data, AddMatParams(eeg.myVhdr, eegNaN, &merged)) && dataOk;
  MatVariable dataStructure = dataOk ? data.MakeStructure("Data") : MatVariable{};
  if (!dataStructure) return Error("Brainamp::SaveMatFile dataComponents = 0", "");

  MatVariable events = SyncMatEvents::Make(
      info.gazeMarkers, [](const CMarker& m) { return m.event; }, info.eventFileName);
  if (!events) return Error("Brainamp::SaveMatFile eventComponents = 0", "");

  MatComponents top;
  bool ok = AppendBuilt(top, std::move(eyetracker));
  ok = AppendBuilt(top, std::move(dataStructure)) && ok;
  ok = AppendBuilt(top, std::move(events)) && ok;
  MatVariable acquisition = ok ? top.MakeStructure("EegAcq") : MatVariable{};
  if (!acquisition) return Error("Brainamp::SaveMatFile : structure incomplete", fileName);

  MatFile file;
  if (!file.Create(fileName)) return Error("Brainamp::SaveMatFile can not create MAT file", fileName);
  bool written = file.Write(std::move(acquisition));
  written = file.Close() && written;
  return written;
}
