#pragma once
// Every knob of the simulator, with the defaults that make `tolmera-sim --out DIR --name S01` write a
// small valid pair, and the command-line parser that fills them.

#include <cstdint>
#include <string>

enum class SampleType { Int16, Float32, Float64 };
enum class EyeSetup { Left, Right, Both };
enum class CodePattern { Random, Repeat, Adjacent };

struct SimOptions {
  std::string outDir = ".";
  std::string name = "S01";
  uint64_t seed = 1;
  double durationSec = 60.0;          ///< eye-tracker span from the first block start to the last block end

  // EEG
  double eegRateHz = 500.0;
  uint32_t channels = 8;              ///< all channels, the last one being the true-time channel
  SampleType sampleType = SampleType::Int16;

  // Eye tracker
  uint32_t gazeRateHz = 500;          ///< 250, 500, 1000 or 2000
  EyeSetup eyes = EyeSetup::Both;
  bool velocity = false;
  bool pupilDiameter = false;         ///< PUPIL DIAMETER instead of AREA
  bool ascCrlf = false;               ///< CR LF line ends in the .asc (EDF2ASC on Windows)
  uint32_t blocks = 2;                ///< START ... END recording blocks
  double blockGapMs = 1500.0;

  // Clocks
  double driftPpm = 15.0;             ///< the EEG clock runs fast by this much against true time
  double offsetMs = -2000.0;          ///< EEG start relative to the first eye-tracker block start

  // EEG interruptions
  uint32_t segments = 1;              ///< New Segments from pauses (1: no pause)
  double segmentLossMs = 500.0;       ///< recording time lost at each pause
  double overflowLossMs = 0.0;        ///< a buffer overflow losing this much; 0: none
  double overflowAtSec = -1.0;        ///< its time after the first block start; < 0: mid-recording

  // Triggers
  double triggerIntervalMs = 1000.0;  ///< mean spacing, jittered by +-40 %
  CodePattern pattern = CodePattern::Random;
  uint32_t codeMax = 255;
  uint32_t repeatCycle = 3;
  uint32_t adjacentEvery = 5;
  double pulseMs = 5.0;
  bool coincident = false;
  double coincideTolerance = 0.001;   ///< in EEG samples
  bool ttlFile = false;

  // Eye events and experiment structure
  bool eyeEvents = true;
  double blinkIntervalMs = 4000.0;    ///< mean spacing of blinks; 0: none
  double falseBlinkFraction = 0.3;
  bool structure = false;

  // Imperfections of real sessions; each is off by default and then draws nothing
  double dateErrorMs = 0.0;           ///< each New Segment date off by a uniform error in +-this
  bool halfMsTimestamps = false;      ///< at 2000 Hz the second sample of a ms is written "T.5", not "T" again
  bool trackerGrid = false;           ///< INPUT lines at the first tracker sample at or after the edge
  uint32_t outliers = 0;              ///< triggers one device misses or registers twice
  uint32_t eegStartLate = 0;          ///< the EEG starts after this many triggers
  uint32_t eegStopEarly = 0;          ///< the EEG stops before the last this many triggers
  uint32_t trackerStartLate = 0;
  uint32_t trackerStopEarly = 0;

  // Triggers as messages from the stimulus program; off while messageKeyword is empty
  std::string messageKeyword;         ///< "MSG <stamp> <keyword> <code>" for each trigger the tracker records
  double messageDelayMs = 0.0;        ///< constant network delay of a message after its TTL
  double messageJitterMs = 0.0;       ///< latency on top of the delay, uniform in [0, this)
  bool messageOffset = false;         ///< EyeLink's offset field between the stamp and the keyword
  uint32_t messageNoise = 0;          ///< extra keyword messages whose text is no code
  bool trackerInputs = true;          ///< false: no INPUT lines at all (the port is not wired)
};

/// Fills options from the arguments. False with a reason in error on a bad argument; help is set by
/// --help (the caller prints SimHelpText and stops).
bool ParseSimOptions(int argc, const char* const* argv, SimOptions& options, bool& help, std::string& error);
std::string SimHelpText();
