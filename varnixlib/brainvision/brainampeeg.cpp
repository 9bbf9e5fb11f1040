#include "varnixlib/brainvision/brainampeeg.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#include "varnixlib/brainvision/brainampvhdr.h"
#include "varnixlib/brainvision/brainampvmrk.h"
#include "varnixlib/support/file.h"
#include "varnixlib/support/paths.h"
#include "varnixlib/support/report.h"

template <>
int16_t BrainampEEG<int16_t>::MissingValue() {
  return -32768;
}
template <>
float BrainampEEG<float>::MissingValue() {
  return std::bit_cast<float>(UINT32_MAX);
}
template <>
double BrainampEEG<double>::MissingValue() {
  return std::bit_cast<double>(UINT64_MAX);
}

template <typename T>
BrainampEEG<T>::BrainampEEG() : valNaN(MissingValue()) {}

template <typename T>
bool BrainampEEG<T>::Process(const std::string& name) {
  fileName = name;
  dataChanged = false;
  const int64_t size = Varnix::File::Size(name);
  if (size < 0) return Error("BrainampEEG::Process::File::Exists", name);
  if (static_cast<uint64_t>(size) % sizeof(T) != 0) {
    // A partial value at the end means a cut file or a header that names the wrong sample type.
    return Error("BrainampEEG::Process : the data file's " + std::to_string(size) +
                     " bytes are not a whole number of " + std::to_string(sizeof(T)) +
                     "-byte values (truncated, or not of the header's BinaryFormat)",
                 name);
  }
  samples = SampleVector();
  // Mapped, not read: hours of EEG are then never zeroed and copied into fresh memory, and the
  // merge reads each frame straight from the system's cache of the file.
  if (myMapping.Open(name) != 0) return Error("BrainampEEG::Process::File::Read", name);
  return true;
}

template <typename T>
bool BrainampEEG<T>::Editable() {
  if (!IsMapped()) return true;
  const uint64_t count = NbValues();
  try {
    samples.resize(count);
  } catch (const std::exception&) {
    samples = SampleVector();
    return Error("BrainampEEG::Process : not enough memory to load the data file", fileName);
  }
  if (count != 0) std::memcpy(samples.data(), myMapping.Data(), count * sizeof(T));
  myMapping.Close();
  return true;
}

template <typename T>
void BrainampEEG<T>::ReleaseBefore(uint64_t index) {
  if (IsMapped()) myMapping.Release(0, std::min<uint64_t>(index, NbValues()) * sizeof(T));
}

template <typename T>
bool BrainampEEG<T>::FillGaps(const BrainampVmrk& markers, const BrainampVhdr& header) {
  dataChanged = false;
  if (header.segmentationType != BrainampVhdr::NOSEGMENTED || markers.segments.size() < 2) return true;
  const uint64_t channels = header.nbChannels;
  // Products in 64 bits: a long gap on many channels overflows 32.
  uint64_t inserted = 0;
  uint64_t previous = 0;
  for (const CMarker* segment : markers.segments) {
    const uint64_t at = static_cast<uint64_t>(segment->position) * channels;
    if (at > NbValues() || at < previous) {
      return Error("BrainampEEG::FillGaps : segment at sample " + std::to_string(segment->position) +
                       " lies outside the loaded samples or before the segment preceding it",
                   fileName);
    }
    previous = at;
    inserted += static_cast<uint64_t>(segment->samplesInserted) * channels;
  }
  if (inserted == 0) return true;
  if (!Editable()) return false;

  const size_t oldSize = samples.size();
  try {
    samples.resize(oldSize + inserted);
  } catch (const std::exception&) {
    return Error("BrainampEEG::FillGaps : not enough memory for the lost samples", fileName);
  }
  // One pass from the end: each recorded stretch moves right by the fill inserted before it.
  size_t sourceEnd = oldSize;
  size_t targetEnd = samples.size();
  for (auto it = markers.segments.rbegin(); it != markers.segments.rend(); ++it) {
    const size_t at = static_cast<size_t>((*it)->position) * channels;
    const size_t fill = static_cast<size_t>((*it)->samplesInserted) * channels;
    std::move_backward(samples.begin() + at, samples.begin() + sourceEnd, samples.begin() + targetEnd);
    targetEnd -= sourceEnd - at;
    std::fill(samples.begin() + (targetEnd - fill), samples.begin() + targetEnd, valNaN);
    targetEnd -= fill;
    sourceEnd = at;
  }
  dataChanged = true;
  return true;
}

template <typename T>
bool BrainampEEG<T>::CheckSize(int32_t nbSamples, uint16_t nbChannels) const {
  if (nbSamples < 0) return false;
  return static_cast<uint64_t>(nbSamples) * nbChannels == NbValues();
}

template <typename T>
bool BrainampEEG<T>::SaveRaw() {
  const std::string raw = ReplaceExtension(fileName, "raw");
  if (NormalizeSeparators(raw) == NormalizeSeparators(fileName)) {
    return Error("BrainampEEG::SaveRaw : the data file itself has the extension raw", fileName);
  }
  if (!Varnix::File::Remove(raw)) return false;
  return dataChanged ? Write(raw) : true;
}

template <typename T>
bool BrainampEEG<T>::SaveAs(const std::string& baseName) {
  return Write(baseName + ".eeg");
}

template <typename T>
bool BrainampEEG<T>::SaveTo(const std::string& path) {
  return Write(path);
}

template <typename T>
bool BrainampEEG<T>::Write(const std::string& path) const {
  if (!fileName.empty() && NormalizeSeparators(path) == NormalizeSeparators(fileName)) {
    return Error("BrainampEEG::Save : the data file it was loaded from is never overwritten", path);
  }
  // The byte count is 64-bit all the way down, so arrays of 4 GiB and more are written whole.
  const uint64_t bytes = NbValues() * sizeof(T);
  if (!Varnix::File::Write(path, Values(), bytes)) return Error("BrainampEEG::Save::File::Write", path);
  return true;
}

template class BrainampEEG<int16_t>;
template class BrainampEEG<float>;
template class BrainampEEG<double>;
