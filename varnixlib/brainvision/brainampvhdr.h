#pragma once
// The BrainVision header record (.vhdr): channel count, layout, sample type, sampling interval and
// each channel's name and gain.

#include <cstdint>
#include <string>
#include <vector>


class IniReader;

class BrainampVhdr {
 public:
  /// Codes of binaryFormat; the names are those under which the MAT export reports them.
  enum BinaryFormat : int32_t { tUnknown = -1, tInt16 = 0, tFloat32 = 1, tFloat64 = 2 };
  enum DataOrientation : int32_t { MULTIPLEXED = 0, VECTORIZED = 1 };
  enum DataType : int32_t { FREQUENCYDOMAIN = 0, TIMEDOMAIN = 1 };
  enum SegmentationType : int32_t { NOSEGMENTED = 0, MARKERBASED = 1 };

  /// Reads BinaryFormat of "Binary Infos" (absent means INT_16); sets and returns binaryFormat.
  int32_t ReadBinaryFormat(const std::string& fileName);

  /// Reads the whole header. False when the header is empty or unreadable, VECTORIZED, or has no
  /// channel; each refusal is reported.
  bool Process(const std::string& fileName);

  /// Writes outputName + ".vhdr" for a merged recording: this recording's header
  /// (dataFileName itself when it names a .vhdr, else the .vhdr beside it) patched in place for addedNames more channels, rate Hz and samples frames;
  /// everything else is copied byte for byte.
  bool SaveVarnix(const std::string& dataFileName, const std::string& outputName,
                  const std::vector<std::string>& addedNames, double rate, int32_t samples);


  uint32_t nbOfSamples = 0;        ///< samples per channel, set from the data by the marker reader
  int32_t codepage = -1;           ///< -1 unknown, 0 UTF-8
  int32_t dataFormat = -1;         ///< -1 unknown, 0 BINARY
  int32_t dataOrientation = -1;    ///< -1 unknown, DataOrientation
  int32_t dataType = -1;           ///< -1 unknown, DataType
  uint16_t nbChannels = 0;
  int32_t dataPoints = 0;          ///< as written; the sample count comes from the data file
  double samplingInterval = 0.0;   ///< microseconds; rate in Hz = 1e6 / samplingInterval
  int32_t segmentationType = NOSEGMENTED;
  int32_t segmentDataPoints = 0;
  int32_t binaryFormat = tInt16;   ///< BinaryFormat; tUnknown once read and not recognised
  std::vector<std::string> channelNames;
  std::vector<double> channelGains;  ///< physical units per stored unit, one per channel
  std::string binaryFormatText;    ///< BinaryFormat as written ("INT_16" when absent), for messages
  bool bigEndian = false;          ///< UseBigEndianOrder=YES: the data are not little-endian

 private:
  int32_t ReadBinaryFormat(const IniReader& reader);
  bool ReadChannels(const IniReader& reader, const std::string& fileName);
};
