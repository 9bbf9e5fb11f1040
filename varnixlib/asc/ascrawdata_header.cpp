// AscRawData: the header scan and the time grid.

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <sstream>
#include <string>

#include "varnixlib/asc/asclineahead.h"
#include "varnixlib/asc/ascrawdata.h"
#include "varnixlib/asc/asctokens.h"
#include "varnixlib/support/report.h"

namespace {

uint16_t U16(int64_t v) { return static_cast<uint16_t>(v); }

/// The sample period in microseconds of a rate in Hz; 0 for a rate the grid does not hold. The
/// tracker samples at 250, 500, 1000 or 2000 Hz; a file stating anything else has been edited or
/// resampled, and its timestamps would not fall on any grid of whole microseconds.
uint32_t PeriodOfRate(double rate) {
  for (const uint32_t hz : {250u, 500u, 1000u, 2000u}) {
    if (std::fabs(rate - hz) < 0.01) return 1000000u / hz;
  }
  return 0;
}

/// Threshold in samples, bounded to the field: a negative -f means no threshold.
uint16_t FalseBlinkSamples(int64_t msec, uint32_t periodUs) {
  if (periodUs == 0 || msec <= 0) return 0;
  return static_cast<uint16_t>(std::min<int64_t>(msec * 1000 / periodUs, 65535));
}

}  // namespace

bool AscRawData::ParseHeader(AscHeader& header, uint64_t& firstDataLine, uint32_t& startTimestamp,
                             uint32_t& endTimestamp, int64_t falseBlinkMsec) {
  const uint64_t lines = NbLines();
  AscTokens t;
  bool startFound = false;
  bool sawEventsOrOtherSamples = false;
  bool samplesOnly = false;  // a block recorded with samples and without events
  bool eventsOnly = false;
  myHeaderProblem.clear();
  for (uint64_t line = 0; line < lines; ++line) {
    t.Split(LineText(line));
    const size_t n = t.Count();
    if (n < 2) continue;
    if (t[0] == "**") {
      if (t[1] == "CONVERTED") {
        for (size_t k = 2; k < std::min(n, AscTokens::kMaxTokens); ++k) {
          if (AscTokens::Contains(t[k], "edf")) {
            const std::string_view path = t[k];
            const size_t sep = path.find_last_of("/\\");
            header.fileName = std::string(sep == std::string_view::npos ? path : path.substr(sep + 1));
            break;
          }
        }
      }
      continue;
    }
    const std::string_view last = t.Last();
    if (t.LineContains("SOFTWARE NAME")) { header.softwareName = std::string(last); continue; }
    if (t.LineContains("SOFTWARE VERSION")) { header.softwareVersion = std::string(last); continue; }
    if (t.LineContains("SUBJECT NAME")) { header.subjectName = std::string(last); continue; }
    if (t.LineContains("EXPERIMENT NAME")) { header.experimentName = std::string(last); continue; }
    if (t.LineContains("GUIDING EYE")) { header.guidingEye = std::string(last); continue; }
    if (t.LineContains("SUBJECT SESSION")) { header.subjectSession = U16(AscTokens::IntValue(last)); continue; }
    if (t.LineContains("SCREEN WIDTH")) { header.screenWidth = U16(AscTokens::IntValue(last)); continue; }
    if (t.LineContains("SCREEN HEIGHT")) { header.screenHeight = U16(AscTokens::IntValue(last)); continue; }
    if (t.LineContains("SCREEN PHYS DIMX MM")) { header.screenDimXmm = U16(AscTokens::IntValue(last)); continue; }
    if (t.LineContains("SCREEN PHYS DIMY MM")) { header.screenDimYmm = U16(AscTokens::IntValue(last)); continue; }
    if (t.LineContains("SCREEN DISTANCE")) { header.screenDistance = U16(AscTokens::IntValue(last)); continue; }
    if (t.LineContains("FRAMERATE")) {
      if (n == 5 || n == 4) header.frameRate = U16(AscTokens::IntValue(t[3]));
      continue;
    }
    if (t.LineContains("DISPLAY_COORDS")) {
      // EyeLink writes the first and the last pixel, both inclusive ("0 0 1919 1079" for a
      // 1920 x 1080 screen), where "SCREEN WIDTH" gives the pixel count itself.
      // Bounded first: a garbled coordinate saturates at the int64 limits, where + 1 would overflow.
      const auto bound = [](std::string_view token) {
        return std::clamp<int64_t>(AscTokens::IntValue(token), -(int64_t{1} << 40), int64_t{1} << 40);
      };
      const int64_t left = n >= 7 ? bound(t[n - 4]) : 0;
      const int64_t top = n >= 7 ? bound(t[n - 3]) : 0;
      header.screenWidth = U16(bound(t.NextToLast()) - left + 1);
      header.screenHeight = U16(bound(last) - top + 1);
      continue;
    }
    if (!startFound) {
      const bool marker =
          t.LineContains("START CALIBRATION INITIAL") || t.LineContains("BEGIN CALIBRATION INITIAL") ||
          (n == 3 && t[0] == "INPUT") ||
          (n >= 4 && t[0] == "MSG" && t[2] == "!CAL" && t[3] == "Calibration" && last == "points:") ||
          (n >= 3 && t[0] == "START" && last == "EVENTS" && t.NextToLast() == "SAMPLES");
      if (marker) {
        startFound = true;
        firstDataLine = line;
        startTimestamp = static_cast<uint32_t>(AscTokens::IntValue(t[1]));
      }
    }
    if (t[0] == "START" && last == "SAMPLES") samplesOnly = true;
    if (t[0] == "START" && last == "EVENTS" && t.NextToLast() != "SAMPLES") eventsOnly = true;
    if (t[0] == "SAMPLES" && (t[1] == "GAZE" || t[1] == "HREF")) {
      double rate = 0.0;
      header.sampleKind = std::string(t[1]);
      header.velocityColumns = header.resolutionColumns = header.inputColumn = false;
      header.leftColumns = header.rightColumns = false;
      for (size_t k = 2; k < std::min(n, AscTokens::kMaxTokens); ++k) {
        if (t[k] == "RATE" && k + 1 < n) rate = AscTokens::DoubleValue(t[k + 1]);
        if (t[k] == "LEFT") header.leftColumns = true;
        if (t[k] == "RIGHT") header.rightColumns = true;
        if (t[k] == "VEL") header.velocityColumns = true;
        if (t[k] == "RES") header.resolutionColumns = true;
        if (t[k] == "INPUT") header.inputColumn = true;
      }
      header.statedRate = rate;
      header.samplePeriodUs = PeriodOfRate(rate);
      header.falseBlinkSamples = FalseBlinkSamples(falseBlinkMsec, header.samplePeriodUs);
      if (startFound) break;
    } else if (t[0] == "SAMPLES" || t[0] == "EVENTS") {
      sawEventsOrOtherSamples = true;
    }
  }

  bool endFound = false;
  for (uint64_t line = lines; line-- > 0 && !endFound;) {
    t.Split(LineText(line));
    const size_t n = t.Count();
    if (n == 0) continue;
    const std::string_view first = t[0];
    if ((n >= 2 && AscTokens::Contains(first, "MSG")) ||
        (n >= 3 && AscTokens::Contains(first, "CMD") && AscTokens::Contains(t[2], "close_data_file")) ||
        (n >= 2 && AscTokens::Contains(first, "INPUT")) ||
        (n >= 4 && AscTokens::Contains(first, "END") && AscTokens::Contains(t[2], "SAMPLES") &&
         AscTokens::Contains(t[3], "EVENTS"))) {
      endTimestamp = static_cast<uint32_t>(AscTokens::IntValue(t[1]));
      endFound = true;
    } else if (AscTokens::IsDigits(first)) {
      endTimestamp = static_cast<uint32_t>(AscTokens::IntValue(first));
      endFound = true;
    }
  }
  if (!endFound) {
    myHeaderProblem = "the file holds no timestamped line";
    return false;
  }
  // EDF2ASC exports samples only (-s) or events only (-e) on request; the merge needs both: the
  // samples are the gaze channels, and the events carry the INPUT triggers it aligns on.
  if (samplesOnly) {
    myHeaderProblem = "the file holds samples without events (no INPUT triggers, fixations or blinks): "
                      "export it again with samples and events";
  } else if (eventsOnly || (header.sampleKind.empty() && sawEventsOrOtherSamples)) {
    myHeaderProblem = "the file holds events without gaze samples (no SAMPLES GAZE or SAMPLES HREF line): "
                      "export it again with samples and events";
  } else if (header.sampleKind.empty()) {
    myHeaderProblem = "the file has no SAMPLES line: it is not an EDF2ASC export with samples";
  } else if (!startFound) {
    myHeaderProblem = "no recording start (calibration, INPUT or START line) found";
  }
  if (!myHeaderProblem.empty()) {
    Warn(kNoPosition, "Invalid ASC header: " + myHeaderProblem);
    return false;
  }
  // EDF2ASC closes every block with an END line. A file copied or exported only in part ends
  // inside its last block: it is still read, up to its last line, but the user must know that the
  // rest of the recording is missing.
  for (uint64_t line = lines; line-- > 0;) {
    const std::string_view text = LineText(line);
    if (text.starts_with("END")) break;
    if (text.starts_with("START")) {
      Warning("AscRawData::ParseHeader : the last recording block has no END line; the file looks cut short",
              myAscFileName);
      break;
    }
  }
  return true;
}

bool AscRawData::BuildGrid(uint32_t startTimestamp, uint32_t endTimestamp) {
  const uint32_t periodUs = myHeader.samplePeriodUs;
  if (periodUs == 0) {
    std::ostringstream rate;
    rate << myHeader.statedRate;
    myHeaderProblem = myHeader.statedRate > 0.0
                          ? "the sampling rate " + rate.str() + " Hz is not one of 250, 500, 1000 and 2000 Hz"
                          : "the SAMPLES line states no sampling rate (RATE)";
    Warn(kNoPosition, "Invalid ASC header: " + myHeaderProblem);
    return false;
  }
  if (endTimestamp < startTimestamp) {
    // A file cut inside its last sample line ends with a short number; clocks that wrapped too.
    myHeaderProblem = "the last timestamp " + std::to_string(endTimestamp) + " is before the first " +
                      std::to_string(startTimestamp);
    Warn(kNoPosition, "Invalid ASC header: " + myHeaderProblem);
    return false;
  }
  uint64_t start = startTimestamp;
  uint64_t end = static_cast<uint64_t>(endTimestamp) + 1;
  if (periodUs >= 1000) {
    // Whole milliseconds per sample: the grid keeps the layout every earlier output was made on.
    const uint64_t period = periodUs / 1000;
    start = startTimestamp - startTimestamp % period;
    end = (static_cast<uint64_t>(endTimestamp) / period + period) * period;
  }
  const uint64_t samples = (end - start) * 1000 / periodUs;
  if (end > std::numeric_limits<uint32_t>::max() || end - start > theGridLimit) {
    myHeaderProblem = "the recording from " + std::to_string(startTimestamp) + " to " +
                      std::to_string(endTimestamp) + " spans more than " +
                      std::to_string(theGridLimit / 3600000) + " hours";
    Warn(kNoPosition, "Invalid ASC header: " + myHeaderProblem);
    return false;
  }
  myStartTimestamp = static_cast<uint32_t>(start);
  myEndTimestamp = static_cast<uint32_t>(end);
  myNbSamples = static_cast<uint32_t>(samples);
  return true;
}

bool AscRawData::LayOutMatrix(bool velocityWanted) {
  // Pupil and velocity columns that can never reach the finished matrix are left out: on an
  // hour-long recording each is tens of megabytes of pages to fault in.
  const uint32_t n = myNbSamples;
  myData = Matrix();
  mySlot.fill(-1);
  myStride = 0;
  ColumnSet wanted{};
  for (const bool left : {true, false}) {
    if (!(left ? myHeader.leftColumns : myHeader.rightColumns)) continue;
    const size_t x = left ? kLx : kRx;
    const size_t xVel = left ? kLxVel : kRxVel;
    wanted[x] = wanted[x + 1] = true;
    wanted[x + 2] = myPupilWanted;
    wanted[xVel] = wanted[xVel + 1] = velocityWanted && myHeader.velocityColumns;
  }
  wanted[kBlinkColumn] = true;
  bool listed = true;
  try {
    myStatus.assign(n, 0);
    myFrameAdvances.assign(n, 0);
    myTriggerValues.assign(n, 0);
  } catch (const std::bad_alloc&) {
    listed = false;
  }
  if (!listed || !Relayout(wanted)) {
    Warn(kNoPosition, "Not enough memory for a grid of " + std::to_string(myNbSamples) + " samples");
    return false;
  }
  return true;
}

AscRawData::ColumnSet AscRawData::ColumnsInMatrix() const {
  ColumnSet in{};
  for (size_t c = 0; c < kMatrixColumns; ++c) in[c] = mySlot[c] >= 0;
  return in;
}

bool AscRawData::AddEyeColumns(bool left, bool velocity) {
  const size_t x = left ? kLx : kRx;
  const size_t xVel = left ? kLxVel : kRxVel;
  ColumnSet wanted = ColumnsInMatrix();
  wanted[x] = wanted[x + 1] = true;
  wanted[x + 2] = wanted[x + 2] || myPupilWanted;
  if (velocity) wanted[xVel] = wanted[xVel + 1] = true;
  return Relayout(wanted);
}

bool AscRawData::Relayout(const ColumnSet& wanted) {
  std::array<int32_t, kMatrixColumns> slot;
  uint32_t stride = 0;
  bool onlyFewer = true;  // no column is added
  for (size_t c = 0; c < kMatrixColumns; ++c) {
    slot[c] = wanted[c] ? static_cast<int32_t>(stride++) : -1;
    onlyFewer = onlyFewer && (!wanted[c] || mySlot[c] >= 0);
  }
  if (slot == mySlot) return true;
  // Per column of the new rows: where it is read in an old row, or -1 and the value it starts with.
  std::array<int32_t, kMatrixColumns> from{};
  std::array<double, kMatrixColumns> initial{};
  for (size_t c = 0; c < kMatrixColumns; ++c) {
    if (slot[c] < 0) continue;
    from[static_cast<size_t>(slot[c])] = mySlot[c];
    initial[static_cast<size_t>(slot[c])] = c == kBlinkColumn ? 0.0 : myNaNValue;
  }
  const uint64_t n = myNbSamples;
  const uint64_t oldStride = myStride;
  if (onlyFewer) {
    // The columns that stay keep their order, so every value moves to a place at or before the
    // one it is read from: nothing still to be read is overwritten.
    double* const d = myData.data();
    for (uint64_t s = 0; s < n; ++s) {
      for (uint64_t k = 0; k < stride; ++k) d[s * stride + k] = d[s * oldStride + static_cast<uint64_t>(from[k])];
    }
    myData.resize(n * stride);
  } else {
    Matrix wider;
    try {
      wider.resize(n * stride);  // not written here: each core faults in the pages of its own rows
    } catch (const std::bad_alloc&) {
      return false;
    }
    const double* const old = myData.data();
    auto fill = [&](uint64_t first, uint64_t last) {
      for (uint64_t s = first; s < last; ++s) {
        double* const row = wider.data() + s * stride;
        for (uint64_t k = 0; k < stride; ++k) {
          row[k] = from[k] < 0 ? initial[k] : old[s * oldStride + static_cast<uint64_t>(from[k])];
        }
      }
    };
    if (n >= kHalvedColumnSamples) {
      OnBothCores([&] { fill(0, n / 2); }, [&] { fill(n / 2, n); });
    } else {
      fill(0, n);
    }
    myData.swap(wider);
  }
  mySlot = slot;
  myStride = stride;
  return true;
}

namespace {

/// The digits of a timestamp token, with EDF2ASC's optional half-millisecond fraction (".0" or
/// ".5", written at 2000 Hz); false when it holds anything else.
bool ReadTimestamp(std::string_view token, uint32_t& value, bool& half) {
  half = false;
  if (token.size() > 2 && token[token.size() - 2] == '.') {
    const char fraction = token.back();
    if (fraction != '0' && fraction != '5') return false;
    half = fraction == '5';
    token.remove_suffix(2);
  }
  if (token.empty()) return false;
  value = 0;
  for (char c : token) {
    const unsigned digit = static_cast<unsigned char>(c) - static_cast<unsigned>('0');
    if (digit > 9) return false;
    value = value * 10u + digit;
  }
  return true;
}

}  // namespace

uint32_t AscRawData::TimestampOffset(std::string_view token) const {
  uint32_t value = 0;
  bool half = false;
  return ReadTimestamp(token, value, half) ? value - myStartTimestamp : kNoIndex;
}

double AscRawData::TimestampMs(std::string_view token) const {
  uint32_t value = 0;
  bool half = false;
  if (!ReadTimestamp(token, value, half)) return -1.0;
  return static_cast<double>(value) + (half ? 0.5 : 0.0);
}

uint32_t AscRawData::SampleIndex(std::string_view token) const {
  uint32_t value = 0;
  bool half = false;
  if (!ReadTimestamp(token, value, half)) return kNoIndex;
  const uint32_t periodUs = myHeader.samplePeriodUs ? myHeader.samplePeriodUs : 1000;
  if (periodUs >= 1000) {
    // Half a millisecond has no grid point of its own here: the grid point at or before it is the
    // sample's, as for any timestamp between two grid points, and the line is reported.
    if (half) ++myHalfOffGrid;
    return (value - myStartTimestamp) / (periodUs / 1000);
  }
  // Before the grid's start: far off the grid, as the unsigned arithmetic above puts it.
  if (value < myStartTimestamp) return kNoIndex - 1;
  const uint64_t index = (static_cast<uint64_t>(value - myStartTimestamp) * 1000 + (half ? 500 : 0)) / periodUs;
  return index >= kNoPosition ? kNoIndex - 1 : static_cast<uint32_t>(index);
}

std::string AscRawData::TimestampOfIndex(uint32_t index) const {
  const uint32_t periodUs = myHeader.samplePeriodUs ? myHeader.samplePeriodUs : 1000;
  const uint64_t us = static_cast<uint64_t>(myStartTimestamp) * 1000 + static_cast<uint64_t>(index) * periodUs;
  std::string text = std::to_string(us / 1000);
  if (us % 1000 != 0) text += "." + std::to_string(us % 1000 / 100);
  return text;
}
