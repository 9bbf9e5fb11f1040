#pragma once

#include <cstdint>
#include <string>


/// The facts that the stimulus program and the tracker wrote into the head of an ASC file.
class AscHeader {
 public:

  uint16_t samplePeriod = 0;  ///< milliseconds; 0 when the file gives no usable RATE
  std::string fileName;       ///< the EDF file named on the "** CONVERTED FROM" line
  std::string softwareName;
  std::string softwareVersion;
  std::string subjectName;
  uint16_t subjectSession = 0;
  std::string experimentName;
  uint16_t screenWidth = 0;
  uint16_t screenHeight = 0;
  uint16_t screenDimXmm = 0;
  uint16_t screenDimYmm = 0;
  uint16_t screenDistance = 0;
  uint16_t frameRate = 0;
  uint16_t falseBlinkSamples = 0;  ///< false-blink threshold in samples
  std::string guidingEye;
};
