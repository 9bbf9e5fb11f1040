#pragma once
// The samples of a BrainVision data file (.eeg) in their stored type, multiplexed: the value of
// channel c at sample s is Values()[s * nbChannels + c].

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "varnixlib/brainvision/brainampeegvirt.h"
#include "varnixlib/support/defaultinitallocator.h"
#include "varnixlib/support/platform.h"

// The data files are little-endian and are loaded byte for byte, without conversion; this is the
// one place that relies on it.
static_assert(std::endian::native == std::endian::little,
              "BrainVision data files are little-endian and are read without byte swapping");

template <typename T>
class BrainampEEG : public BrainampEegVirt {
 public:
  /// The editable sample store: sized for the whole file and filled by one copy, never zeroed first.
  using SampleVector = std::vector<T, DefaultInitAllocator<T>>;

  BrainampEEG();

  bool Process(const std::string& fileName) override;
  uint64_t GetNbValues() const override { return NbValues(); }
  /// The values as loaded (or as edited, once Editable was called).
  const T* Values() const { return IsMapped() ? reinterpret_cast<const T*>(myMapping.Data()) : samples.data(); }
  uint64_t NbValues() const { return IsMapped() ? myMapping.Size() / sizeof(T) : samples.size(); }
  /// The values to edit: the file's mapping is copied into samples the first time. False when
  /// memory is short.
  bool Editable();
  /// The values before value index will not be read again: their memory may go back to the
  /// system (only while they are the file's mapping; edited values stay).
  void ReleaseBefore(uint64_t index);
  bool FillGaps(const BrainampVmrk& markers, const BrainampVhdr& header) override;
  bool CheckSize(int32_t nbSamples, uint16_t nbChannels) const override;
  bool SaveRaw() override;
  bool SaveAs(const std::string& baseName) override;
  bool SaveTo(const std::string& path) override;
  double GetNaN() const override { return static_cast<double>(valNaN); }

  /// The fill value of type T: -32768 for 16-bit integers, the all-ones NaN for floats.
  static T MissingValue();

  std::string fileName;       ///< the data file loaded
  bool dataChanged = false;   ///< FillGaps has inserted values
  SampleVector samples;       ///< all values in file order, once editable (empty while mapped)
  T valNaN;                   ///< fill value of missing samples

 private:
  bool IsMapped() const { return myMapping.IsOpen(); }
  bool Write(const std::string& path) const;

  /// The file itself, read where it lies until something edits the values.
  Varnix::Platform::MappedFile myMapping;
};

template <>
int16_t BrainampEEG<int16_t>::MissingValue();
template <>
float BrainampEEG<float>::MissingValue();
template <>
double BrainampEEG<double>::MissingValue();

extern template class BrainampEEG<int16_t>;
extern template class BrainampEEG<float>;
extern template class BrainampEEG<double>;
