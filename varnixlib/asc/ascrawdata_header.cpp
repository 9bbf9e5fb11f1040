// AscRawData: the header scan and the time grid.

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <string>

#include "varnixlib/asc/ascrawdata.h"
#include "varnixlib/asc/asctokens.h"
#include "varnixlib/support/report.h"

namespace {

uint16_t U16(int64_t v) { return static_cast<uint16_t>(v); }

/// The sample period in whole milliseconds of a rate in Hz; 0 when the rate gives none.
uint16_t PeriodOfRate(double rate) {
  if (!(rate > 0.0) || !std::isfinite(rate)) return 0;
  const double period = std::trunc(1000.0 / rate);
  return period >= 1.0 && period <= 65535.0 ? static_cast<uint16_t>(period) : 0;
}

/// Threshold in samples, bounded to the field: a negative -f means no threshold.
uint16_t FalseBlinkSamples(int64_t msec, uint16_t period) {
  if (period == 0 || msec <= 0) return 0;
  return static_cast<uint16_t>(std::min<int64_t>(msec / period, 65535));
}

}  // namespace

bool AscRawData::ParseHeader(AscHeader& header, uint64_t& firstDataLine, uint32_t& startTimestamp,
                             uint32_t& endTimestamp, int64_t falseBlinkMsec) {
  const uint64_t lines = NbLines();
  AscTokens t;
  bool startFound = false;
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
      const int64_t left = n >= 7 ? AscTokens::IntValue(t[n - 4]) : 0;
      const int64_t top = n >= 7 ? AscTokens::IntValue(t[n - 3]) : 0;
      header.screenWidth = U16(AscTokens::IntValue(t.NextToLast()) - left + 1);
      header.screenHeight = U16(AscTokens::IntValue(last) - top + 1);
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
    if (t[0] == "SAMPLES" && t[1] == "GAZE") {
      double rate = 0.0;
      for (size_t k = 2; k + 1 < std::min(n, AscTokens::kMaxTokens); ++k) {
        if (t[k] == "RATE") {
          rate = AscTokens::DoubleValue(t[k + 1]);
          break;
        }
      }
      header.samplePeriod = PeriodOfRate(rate);
      header.falseBlinkSamples = FalseBlinkSamples(falseBlinkMsec, header.samplePeriod);
      if (startFound) break;
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
  if (!endFound) return false;
  if (!startFound) {
    Warn(kNoPosition, "Invalid ASC header: no recording start (calibration, INPUT or START line) found");
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
  const uint16_t period = myHeader.samplePeriod;
  if (period == 0) {
    Warn(kNoPosition, "Invalid ASC header: no sampling rate of 1000 Hz or less (RATE) found");
    return false;
  }
  if (endTimestamp < startTimestamp) {
    // A file cut inside its last sample line ends with a short number; clocks that wrapped too.
    Warn(kNoPosition, "Invalid ASC header: the last timestamp " + std::to_string(endTimestamp) +
                          " is before the first " + std::to_string(startTimestamp));
    return false;
  }
  const uint64_t start = startTimestamp - startTimestamp % period;
  const uint64_t end = (static_cast<uint64_t>(endTimestamp) / period + period) * period;
  const uint64_t samples = (end - start) / period;
  if (end > std::numeric_limits<uint32_t>::max() || end - start > theGridLimit) {
    Warn(kNoPosition, "Invalid ASC header: the recording from " + std::to_string(startTimestamp) + " to " +
                          std::to_string(endTimestamp) + " spans more than " +
                          std::to_string(theGridLimit / 3600000) + " hours");
    return false;
  }
  myStartTimestamp = static_cast<uint32_t>(start);
  myEndTimestamp = static_cast<uint32_t>(end);
  myNbSamples = static_cast<uint32_t>(samples);
  return true;
}

bool AscRawData::AllocateColumns(bool velocityWanted) {
  // Pupil and velocity columns that can never reach the matrix are not laid out: on an hour-long
  // recording each column is tens of megabytes of pages to fault in.
  try {
    myStatus.assign(myNbSamples, 0);
    myFrameAdvances.assign(myNbSamples, 0);
    myTriggerValues.assign(myNbSamples, 0);
    for (std::vector<double>* column : {&eyeLx, &eyeLy, &eyeRx, &eyeRy}) column->assign(myNbSamples, myNaNValue);
    for (std::vector<double>* column : {&eyeLp, &eyeRp}) column->assign(myPupilWanted ? myNbSamples : 0, myNaNValue);
    for (std::vector<double>* column : {&eyeLxVel, &eyeLyVel, &eyeRxVel, &eyeRyVel}) {
      column->assign(velocityWanted ? myNbSamples : 0, myNaNValue);
    }
    myBlink.assign(myNbSamples, 0.0);
  } catch (const std::bad_alloc&) {
    Warn(kNoPosition, "Not enough memory for a grid of " + std::to_string(myNbSamples) + " samples");
    return false;
  }
  return true;
}

namespace {

/// The digits of a timestamp token; false when it holds anything else.
bool ReadTimestamp(std::string_view token, uint32_t& value) {
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
  return ReadTimestamp(token, value) ? value - myStartTimestamp : kNoIndex;
}

uint32_t AscRawData::SampleIndex(std::string_view token) const {
  uint32_t value = 0;
  if (!ReadTimestamp(token, value)) return kNoIndex;
  const uint32_t period = myHeader.samplePeriod ? myHeader.samplePeriod : 1;
  return (value - myStartTimestamp) / period;
}
