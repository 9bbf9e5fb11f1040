// The BrainVision header's MAT parameters.
#include <algorithm>
#include <cmath>

#include "varnixlib/brainvision/brainampvhdr.h"
#include "varnixlib/mat/recordmat.h"
#include "varnixlib/support/rounding.h"

MatVariable AddMatParams(const BrainampVhdr& header, double valNaN, const SyncOutputDescription* sync) {
  using H = BrainampVhdr;
  MatComponents params;
  bool ok = params.AddScalar("binaryFormat", static_cast<uint16_t>(header.binaryFormat));
  ok = params.AddScalar("dataOrientation", static_cast<uint16_t>(header.dataOrientation)) && ok;
  ok = params.AddScalar("dataType", static_cast<uint16_t>(header.dataType)) && ok;
  ok = params.AddScalar("segmentationType", static_cast<uint16_t>(header.segmentationType)) && ok;
  ok = params.AddScalar("segmentDataPoints", static_cast<uint32_t>(header.segmentDataPoints)) && ok;
  const double rate = sync ? sync->samplingRate : RoundHalfAway(1e6 / header.samplingInterval);
  ok = params.AddScalar("samplingRate", rate) && ok;
  ok = params.AddScalar("nbOfChannels", sync ? sync->nbOfChannels : static_cast<uint32_t>(header.nbChannels)) && ok;
  ok = params.AddScalar("nbOfSamples", sync ? sync->nbOfSamples : header.nbOfSamples) && ok;
  switch (header.binaryFormat) {
    case H::tInt16:
      // The conversion is bounded: a NaN or out-of-range fill must not be undefined behaviour.
      ok = params.AddScalar("valNaN", static_cast<int16_t>(std::isnan(valNaN) ? -32768.0
                                                           : std::clamp(valNaN, -32768.0, 32767.0))) &&
           ok;
      break;
    case H::tFloat32:
      ok = params.AddScalar("valNaN", static_cast<float>(valNaN)) && ok;
      break;
    case H::tFloat64:
      ok = params.AddScalar("valNaN", valNaN) && ok;
      break;
    default:
      break;
  }

  // Names longer than a row are cut to it by the collector, with a warning; the header record
  // and the merged header keep them whole.
  std::vector<std::string> names = header.channelNames;
  std::vector<double> gains = header.channelGains;
  size_t rows = header.channelNames.size();
  if (sync) {
    names.insert(names.end(), sync->addedChannelNames.begin(), sync->addedChannelNames.end());
    rows = sync->nbOfChannels;
    // The merged header gives the added channels resolution 1.0: the gaze is stored in pixels
    // (and the blink flag as 0 or 1), one unit per step.
    while (gains.size() < sync->nbOfChannels) gains.push_back(1.0);
  }
  ok = params.AddChannelNames("channelNames", names, rows) && ok;
  ok = params.AddVector("channelGains", gains) && ok;
  if (!ok) return MatVariable();
  return params.MakeStructure("Params");
}
