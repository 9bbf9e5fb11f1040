#include "varnixlib/brainvision/brainampvhdr.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "varnixlib/support/inireader.h"
#include "varnixlib/support/report.h"
#include "varnixlib/support/rounding.h"

namespace {

constexpr std::string_view kCommon = "Common Infos";
constexpr std::string_view kBinary = "Binary Infos";
constexpr std::string_view kChannels = "Channel Infos";

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool BeginsWithNumber(std::string_view text) {
  text = IniTrimBlanks(text);
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) text.remove_prefix(1);
  if (!text.empty() && text[0] == '.') text.remove_prefix(1);
  return !text.empty() && text[0] >= '0' && text[0] <= '9';
}

}  // namespace

int32_t BrainampVhdr::ReadBinaryFormat(const std::string& fileName) {
  IniReader reader;
  reader.Load(fileName);
  return ReadBinaryFormat(reader);
}

int32_t BrainampVhdr::ReadBinaryFormat(const IniReader& reader) {
  binaryFormat = tUnknown;
  binaryFormatText = reader.Value(kBinary, "BinaryFormat", "INT_16");
  if (StartsWith(binaryFormatText, "INT_16")) {
    binaryFormat = tInt16;
  } else if (StartsWith(binaryFormatText, "IEEE_FLOAT_32")) {
    binaryFormat = tFloat32;
  } else if (StartsWith(binaryFormatText, "IEEE_FLOAT_64")) {
    binaryFormat = tFloat64;
  }
  return binaryFormat;
}

bool BrainampVhdr::Process(const std::string& fileName) {
  IniReader reader;
  reader.Load(fileName);
  if (reader.Empty()) {
    // Every key would read as empty and the recording would be refused for want of channels;
    // say what is really wrong.
    return Error("BrainampVhdr::Process : the header file is empty or cannot be read", fileName);
  }

  if (reader.Value(kCommon, "Codepage", "CP_UNCKNOWN") == "UTF-8") codepage = 0;
  if (reader.Value(kCommon, "DataFormat", "BINARY") == "BINARY") dataFormat = 0;

  const std::string orientation = reader.Value(kCommon, "DataOrientation", "MULTIPLEXED");
  if (orientation == "MULTIPLEXED") {
    dataOrientation = MULTIPLEXED;
  } else if (orientation == "VECTORIZED") {
    dataOrientation = VECTORIZED;
    return Error(
        "Only Brainamp eeg in format MULTIPLEXED is supported. The provided EEG file is in format "
        "VECTORIZED.",
        "");
  }

  // BrainVision Recorder writes no DataType line: its recordings are time series.
  const std::string type = reader.Value(kCommon, "DataType", "TIMEDOMAIN");
  if (type == "FREQUENCYDOMAIN") {
    dataType = FREQUENCYDOMAIN;
  } else if (type == "TIMEDOMAIN") {
    dataType = TIMEDOMAIN;
  }

  const int32_t channels = IniTextToInt(reader.Value(kCommon, "NumberOfChannels", "0"));
  nbChannels = static_cast<uint16_t>(channels);
  if (nbChannels == 0 || channels < 1) return Error("BrainampEEG::Process nbChannels < 1", "");
  if (channels > 0xFFFF) {
    // Taken modulo 65536 the count would be a small, wrong one that every data file satisfies.
    return Error("BrainampVhdr::Process NumberOfChannels=" + std::to_string(channels) +
                     " is not a channel count from 1 to 65535",
                 fileName);
  }

  dataPoints = IniTextToInt(reader.Value(kCommon, "DataPoints", "0"));
  samplingInterval = IniTextToDouble(reader.Value(kCommon, "SamplingInterval", IniDoubleToText(0.0)));
  if (reader.Value(kCommon, "SegmentationType", "ST_NOSEGMENTED") == "MARKERBASED") {
    segmentationType = MARKERBASED;
  }
  segmentDataPoints = IniTextToInt(reader.Value(kCommon, "SegmentDataPoints", "0"));
  ReadBinaryFormat(reader);
  bigEndian = reader.Value(kBinary, "UseBigEndianOrder", "NO") == "YES";

  return ReadChannels(reader, fileName);
}

bool BrainampVhdr::ReadChannels(const IniReader& reader, const std::string& fileName) {
  channelNames.clear();
  channelGains.clear();
  channelNames.reserve(nbChannels);
  channelGains.reserve(nbChannels);
  const std::vector<std::string> values = reader.NumberedValues(kChannels, "Ch", nbChannels, "");
  std::string missing;
  size_t missingCount = 0;
  for (uint32_t i = 1; i <= nbChannels; ++i) {
    const std::string key = "Ch" + std::to_string(i);
    const std::string& value = values[i - 1];
    const std::vector<std::string_view> fields = IniCommaFields(value);
    std::string name(fields[0]);
    if (name.empty()) {
      // A channel without a name still needs one in the merged header and the MAT file.
      name = key;
      if (missingCount++ < 8) missing += (missing.empty() ? "" : " ") + key;
    }
    channelNames.push_back(name);

    // An omitted resolution means 1 (the stored value is already in the unit).
    double gain = 1.0;
    if (fields.size() >= 3 && !IniTrimBlanks(fields[2]).empty()) {
      if (BeginsWithNumber(fields[2])) {
        gain = IniTextToDouble(fields[2]);
      } else {
        Warning("BrainampVhdr::Process " + key + " resolution '" + std::string(fields[2]) +
                    "' is not a number; 1 is used",
                fileName);
      }
    }
    channelGains.push_back(gain);
  }
  if (missingCount > 0) {
    Warning("BrainampVhdr::Process " + std::to_string(missingCount) +
                " channel line(s) missing or without a name, named by their key: " + missing +
                (missingCount > 8 ? " ..." : ""),
            fileName);
  }
  return true;
}

