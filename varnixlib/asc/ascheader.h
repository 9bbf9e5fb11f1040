#pragma once

#include <cstdint>
#include <string>


/// The facts that the stimulus program and the tracker wrote into the head of an ASC file.
class AscHeader {
 public:

  /// Microseconds: 4000, 2000, 1000 or 500 (250 to 2000 Hz); 0 when the file gives no rate this
  /// program reads. Whole microseconds keep the grid arithmetic integral at 2000 Hz too.
  uint32_t samplePeriodUs = 0;
  /// The rate the SAMPLES line states (Hz), also when it is one the grid cannot hold.
  double statedRate = 0.0;
  /// What the samples hold: "GAZE" (screen pixels) or "HREF" (head-referenced angles); empty
  /// when the file has no SAMPLES line.
  std::string sampleKind;
  /// What a SAMPLES line says is in each sample line, to check the columns against.
  bool velocityColumns = false;
  bool resolutionColumns = false;
  bool inputColumn = false;
  /// The eyes that SAMPLES line names: the gaze channels the matrix will most likely hold.
  bool leftColumns = false;
  bool rightColumns = false;
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
