#pragma once
// The run parameters: filled by the driver from the command line, read by every stage. Also carries
// the per-run diagnostic records into which stages put their times and histograms.

#include <cstdint>
#include <string>
#include <vector>

/// Figures of one run for the quality line (-Q).
struct QualityRecord {
  bool enabled = false;
  std::string baseName;            ///< base name of the ASC file
  double ascProcessingTime = 0.0;  ///< seconds
  double syncOutputTime = 0.0;     ///< seconds spent writing the merged outputs
  double matchingTime = 0.0;       ///< seconds spent matching triggers
  double rSquared = 0.0;           ///< of the drift fit
  /// The merge's alignment errors (eye-tracker samples, bins -5..5), as in HistoGlobalError.txt.
  std::vector<int32_t> histogram = std::vector<int32_t>(11, 0);
};

/// Alignment-error histograms of the run's trigger matchings for the article line (-A).
struct ArticleRecord {
  /// Each matching's fixed block on the line: a run without a reference file leaves the
  /// reference blocks at 0 instead of moving the eye-tracker/EEG block.
  enum Block : uint64_t { kTrackerEeg = 0, kReferenceEeg = 1, kReferenceTracker = 2 };
  bool enabled = false;
  std::string baseName;
  std::vector<int32_t> histograms = std::vector<int32_t>(33, 0);  ///< three 11-bin blocks, by Block
};

struct SynchroParams {
  int64_t falseBlinkMsec = 0;        ///< -f: false-blink threshold in milliseconds
  bool pupilSize = false;            ///< -p: pupil channels are processed and exported
  std::string extFileName;           ///< companion "<asc name>.ext" when it exists
  std::string triggersFileName;      ///< -t, else "<asc name>.trig.txt" when it exists
  std::string outputPath;            ///< -h, else the directory of the ASC file
  std::string ascFileName;
  std::string ascMatFileName;        ///< (ext file or asc file) + ".mat", moved into outputPath by -h
  std::string eegFileName;
  std::string eegMatFileName;        ///< eeg file + ".mat", moved into outputPath by -h
  std::string eventFileName;         ///< event-type text file written with the ASC MAT file
  bool singleSampleMarkers = true;   ///< -1 clears: markers of code >= 256 keep their duration
  bool interpolateTowardEeg = false; ///< -e: the EEG time base is the reference
  bool framesInEvents = false;       ///< -v: frame events join the combined event list
  bool alsoWithoutDrift = false;     ///< -N: a second output set without drift correction
  bool pauseAtEnd = false;           ///< -P: pause after a successful run too
  bool cacheWanted = false;          ///< -G: parse cache (.dbg)
  bool matOutput = false;            ///< -m: MAT files
  bool makeTtlFile = false;          ///< -T: write a simulated TTL file from the ASC triggers
  bool classicLcs = false;           ///< -L: classic LCS tie-break
  bool twoPointModel = false;        ///< -O: the drift line through the first and last pair, shift walk
  bool forceMerge = false;           ///< -F: merge a pair the verdict refuses
  std::string triggerMessage;        ///< -M: the tracker's triggers come from messages with this keyword
  bool velocityChannels = false;     ///< set by the driver after parsing, always
  bool roundGaze = false;            ///< set by the driver for 16-bit EEG: gaze rounded to integers
  QualityRecord quality;
  ArticleRecord article;
};
