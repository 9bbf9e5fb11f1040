#include "varnixlib/brainvision/brainamp.h"

#include <cmath>
#include <limits>
#include <type_traits>

#include "varnixlib/brainvision/brainampeeg.h"
#include "varnixlib/support/paths.h"
#include "varnixlib/support/report.h"

namespace {

template <typename T>
constexpr int32_t FormatOf() {
  if constexpr (std::is_same_v<T, int16_t>) {
    return BrainampVhdr::tInt16;
  } else if constexpr (std::is_same_v<T, float>) {
    return BrainampVhdr::tFloat32;
  } else {
    static_assert(std::is_same_v<T, double>);
    return BrainampVhdr::tFloat64;
  }
}

// What the header says that this reader cannot take: each would make the samples read as
// something else than they are.
bool CheckHeader(const BrainampVhdr& header, int32_t wanted, const std::string& vhdrPath) {
  if (header.binaryFormat == BrainampVhdr::tUnknown) {
    return Error("Brainamp::Process : BinaryFormat '" + header.binaryFormatText +
                     "' is not read; the data must be INT_16, IEEE_FLOAT_32 or IEEE_FLOAT_64",
                 vhdrPath);
  }
  if (header.binaryFormat != wanted) {
    return Error("Brainamp::Process : the header's BinaryFormat '" + header.binaryFormatText +
                     "' is not the sample type being read",
                 vhdrPath);
  }
  if (header.dataFormat != 0) {
    return Error("Brainamp::Process : only DataFormat=BINARY data files are read", vhdrPath);
  }
  if (header.bigEndian) {
    return Error("Brainamp::Process : UseBigEndianOrder=YES; only little-endian data files are read", vhdrPath);
  }
  if (!(header.samplingInterval > 0.0) || !std::isfinite(header.samplingInterval)) {
    return Error("Brainamp::Process : SamplingInterval is missing or not a positive number of microseconds",
                 vhdrPath);
  }
  return true;
}

}  // namespace

template <typename T>
bool Brainamp::Process(SynchroParams& params) {
  myEEG.reset();
  auto eeg = std::make_unique<BrainampEEG<T>>();
  BrainampEEG<T>& data = *eeg;
  myEEG = std::move(eeg);
  myVhdr = BrainampVhdr();

  const std::string vhdrPath = HeaderFileName(params);
  const std::string vmrkPath = MarkerFileName(params);
  // The stage's own lines carry no detail: the failing reader has named its file already.
  if (!myVhdr.Process(vhdrPath)) return Error("Brainamp::Process::myVhdr.Process", "");
  if (!CheckHeader(myVhdr, FormatOf<T>(), vhdrPath)) return Error("Brainamp::Process::myVhdr.Process", "");
  if (!myVmrk.Process(vmrkPath)) return Error("Brainamp::Process::myVmrk.Process", "");
  if (!data.Process(params.eegFileName)) return Error("Brainamp::Process::myEEG.Process", "");

  const uint64_t values = data.GetNbValues();
  if (values == 0) {
    return Error("Brainamp::Process : the data file holds no samples", params.eegFileName);
  }
  if (values % myVhdr.nbChannels != 0) {
    // Reading on would shift every channel after the cut into its neighbour.
    return Error("Brainamp::Process : the data file's " + std::to_string(values) +
                     " values are not a whole number of samples of " + std::to_string(myVhdr.nbChannels) +
                     " channels (truncated, or the header's NumberOfChannels is wrong)",
                 params.eegFileName);
  }
  const uint64_t samples = values / myVhdr.nbChannels;
  if (myVhdr.dataPoints > 0 && static_cast<uint64_t>(myVhdr.dataPoints) != samples) {
    // Often harmless, but also the one sign of a NumberOfChannels that divides the data wrongly.
    Warning("Brainamp::Process : the header's DataPoints=" + std::to_string(myVhdr.dataPoints) +
                " differs from the " + std::to_string(samples) + " samples of " +
                std::to_string(myVhdr.nbChannels) + " channels in the data file",
            params.eegFileName);
  }
  if (!myVmrk.ProcessDataSegments(myVhdr, values)) {
    return Error("Brainamp::Process::ProcessDataSegments", "");
  }
  return true;
}

std::string Brainamp::HeaderFileName(const SynchroParams& params) {
  return params.vhdrFileName.empty() ? ReplaceExtension(params.eegFileName, "vhdr") : params.vhdrFileName;
}

std::string Brainamp::MarkerFileName(const SynchroParams& params) {
  return params.vmrkFileName.empty() ? ReplaceExtension(params.eegFileName, "vmrk") : params.vmrkFileName;
}

int32_t Brainamp::ReadBinaryFormat(const std::string& vhdrPath) { return myVhdr.ReadBinaryFormat(vhdrPath); }

template bool Brainamp::Process<int16_t>(SynchroParams&);
template bool Brainamp::Process<float>(SynchroParams&);
template bool Brainamp::Process<double>(SynchroParams&);
