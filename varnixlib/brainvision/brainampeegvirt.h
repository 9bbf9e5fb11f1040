#pragma once
// The samples of a BrainVision recording behind one interface, whatever their stored type, so
// that the recording holds them through one pointer.

#include <cstdint>
#include <string>

class BrainampVhdr;
class BrainampVmrk;

class BrainampEegVirt {
 public:
  virtual ~BrainampEegVirt() = default;

  /// Loads the data file whole.
  virtual bool Process(const std::string& fileName) = 0;
  /// Number of values held (samples x channels).
  virtual uint64_t GetNbValues() const = 0;
  /// Inserts fill values for the samples lost before each segment.
  virtual bool FillGaps(const BrainampVmrk& markers, const BrainampVhdr& header) = 0;
  /// Whether the value count equals samples x channels.
  virtual bool CheckSize(int32_t samples, uint16_t channels) const = 0;
  /// Writes the gap-filled array beside the data file, with the extension "raw".
  virtual bool SaveRaw() = 0;
  /// Writes the array to baseName + ".eeg".
  virtual bool SaveAs(const std::string& baseName) = 0;
  /// Writes the array to path.
  virtual bool SaveTo(const std::string& path) = 0;
  /// The fill value of missing samples, as a double.
  virtual double GetNaN() const = 0;
};
