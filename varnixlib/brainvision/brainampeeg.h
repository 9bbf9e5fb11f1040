#pragma once
// The samples of a BrainVision data file (.eeg) in their stored type, multiplexed: the value of
// channel c at sample s is samples[s * nbChannels + c].

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "varnixlib/brainvision/brainampeegvirt.h"
#include "varnixlib/support/defaultinitallocator.h"

// The data files are little-endian and are loaded byte for byte, without conversion; this is the
// one place that relies on it.
static_assert(std::endian::native == std::endian::little,
              "BrainVision data files are little-endian and are read without byte swapping");

template <typename T>
class BrainampEEG : public BrainampEegVirt {
 public:
  /// The sample store: sized for the whole file and filled by one read, never zeroed first.
  using SampleVector = std::vector<T, DefaultInitAllocator<T>>;

  BrainampEEG();

  bool Process(const std::string& fileName) override;
  uint64_t GetNbValues() const override { return samples.size(); }
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
  SampleVector samples;       ///< all values in file order
  T valNaN;                   ///< fill value of missing samples

 private:
  bool Write(const std::string& path) const;
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
