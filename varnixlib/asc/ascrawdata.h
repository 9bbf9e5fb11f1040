#pragma once
// One EyeLink recording read from its EDF2ASC text export: header facts, the sample grid (a row of
// gaze channels per sample, the channel matrix), a status byte per sample, and the lists of eye
// events, triggers and experiment-structure objects. After Process the channel matrix and marker
// lists feed the synchronisation and the MAT export.

#include <array>
#include <cstdint>
#include <fstream>
#include <map>
#include <memory>
#include "varnixlib/support/report.h"
#include <string>
#include <string_view>
#include <vector>

#include "varnixlib/asc/acqphase.h"
#include "varnixlib/asc/ascheader.h"
#include "varnixlib/asc/blink.h"
#include "varnixlib/cmarker.h"
#include "varnixlib/asc/csequence.h"
#include "varnixlib/asc/ctransition.h"
#include "varnixlib/asc/displayable.h"
#include "varnixlib/asc/fixationsaccade.h"
#include "varnixlib/asc/frame.h"
#include "varnixlib/asc/record.h"
#include "varnixlib/asc/trigger.h"
#include "varnixlib/support/defaultinitallocator.h"
#include "varnixlib/support/platform.h"

class AscTokens;
struct SampleFields;
struct SynchroParams;

class AscMatExport;
class AscCache;

class AscRawData {
 public:
  /// The parser's states; a mismatch (opening an open one, closing a closed one) is logged.
  enum State : int {
    InDisplayable, InRecord, InFixL, InFixR, InSaccL, InSaccR, InBlinkL, InBlinkR, InPhase, InSequence,
    kStateCount
  };

  /// Status bits of a sample.
  enum StatusBit : uint8_t {
    kInRecord = 1, kLeftEye = 2, kRightEye = 4, kStructureMessage = 8, kFrameStart = 16,
    kOffScreen = 32, kOutsideDisplayable = 64
  };

  /// The index of a timestamp token that is not a number (and of anything off the grid's start).
  static constexpr uint32_t kNoIndex = 0xFFFFFFFFu;
  /// Passed to Warn: the warning names no position.
  static constexpr uint32_t kNoPosition = 0xFFFFFFFDu;
  /// Stands for a missing value in every gaze column (a finite number, never an IEEE NaN).
  static constexpr double kMissing = -2000.0;
  /// Largest grid accepted by default: 24 hours of tracker time. Bounds every allocation sized by
  /// timestamps.
  static constexpr uint64_t kMaxGridMilliseconds = 24ull * 3600ull * 1000ull;
  /// The matrix covers the whole span, so a few corrupted digits in the last timestamp of a small
  /// file cost memory for hours of samples; the fuzz harness lowers the bound (for every object)
  /// so that such inputs take the same refusal path within the fuzzer's memory limit.
  static void SetGridLimitForTesting(uint64_t milliseconds) { theGridLimit = milliseconds; }

  /// How the line walk reads ahead: kAuto starts a second thread for files of at least four chunks
  /// when the machine has a second core. Tests force it on or off, with small chunks, to compare.
  enum class ReadAhead { kAuto, kOff, kOn };
  static void SetReadAheadForTesting(ReadAhead mode, uint64_t chunkLines) {
    theReadAhead = mode;
    theChunkLines = chunkLines == 0 ? kChunkLines : chunkLines;
  }
  /// From this many samples the matrix is laid out (and rounded) by both cores.
  static constexpr uint32_t kHalvedColumnSamples = 1u << 18;
  /// Lines per chunk of the read-ahead: a few megabytes of buffers, and few handovers per file.
  static constexpr uint64_t kChunkLines = 16384;

  /// Whether the last Process stopped on a malformed sample line (time running backwards or off
  /// the recording grid). The stage has then reported it on the console and in the log; the run
  /// cannot go on, and the caller ends it.
  bool StoppedOnCorruption() const { return myCorruptionStop; }

  AscRawData();
  ~AscRawData();
  AscRawData(const AscRawData&) = delete;
  AscRawData& operator=(const AscRawData&) = delete;

  /// Sets the ASC log file name and opens it for writing, truncated.
  bool OpenLog(const std::string& path);
  /// Takes over a log the caller has already opened under that name.
  void AdoptLog(const std::string& path, std::ofstream&& stream);
  const std::string& LogPath() const { return myLogPath; }
  /// The last line written to the log (the reason of a refusal, when the stage failed on one).
  const std::string& LastLogged() const { return myLastLogged; }

  /// The whole ASC stage: read, header scan, grid, line walk, sort and organise (or the cache).
  bool Process(const SynchroParams& params);

  /// Header scan over the line table of the file text: both passes. False when no end line exists.
  bool ParseHeader(AscHeader& header, uint64_t& firstDataLine, uint32_t& startTimestamp,
                   uint32_t& endTimestamp, int64_t falseBlinkMsec);
  /// (value - start) / period in unsigned 32-bit arithmetic; kNoIndex for a non-numeric token.
  /// A ".5" fraction is the second half of its millisecond (its own grid point at 2000 Hz).
  uint32_t SampleIndex(std::string_view token) const;
  /// The tracker time of a timestamp token, ms, with its fraction; -1 for a non-numeric token.
  double TimestampMs(std::string_view token) const;
  /// The tracker time of grid index i as the file writes it: "1234" or "1234.5".
  std::string TimestampOfIndex(uint32_t index) const;
  /// Why the header scan or the grid refused the file (empty when they did not).
  const std::string& HeaderProblem() const { return myHeaderProblem; }
  /// The milliseconds from the first timestamp to token (a timestamp already read as a sample index).
  uint32_t TimestampOffset(std::string_view token) const;

  /// Walks the lines from firstDataLine; ends with SortEvents(false).
  bool ParseLines(uint64_t firstDataLine, bool velocityChannels);
  bool ChangeState(State state, std::string_view name, bool expected, uint32_t index);
  void Warn(uint32_t index, std::string_view message);
  /// The fatal path of a malformed sample line: logs, prints, pauses and calls the exit hook.
  /// Returns (false) only when the hook returns.
  /// token is the line's timestamp as written, which the report names with the line number.
  bool StopOnCorruption(uint32_t index, std::string_view message, std::string_view token,
                        ReportLocation where = ReportLocation::current());
  /// Joins the words of a text item split by blanks so the transition line has 18 tokens.
  bool MergeTextTokens(AscTokens& tokens, std::string& storage) const;

  bool LoadTriggerNames(const std::string& triggersFileName);
  bool SortEvents(bool skipClosing);
  bool ProcessFrames();
  void GetTriggerMarkers(std::vector<CMarker>& markers) const;
  void GetEventMarkers(std::vector<CMarker>& markers) const;
  bool OrganizeData(const SynchroParams& params);
  /// The channels OrganizeData will make if the samples hold what the header announces.
  uint32_t ExpectedChannels(bool velocityChannels) const;
  bool WriteEventFile(const std::string& path, const std::vector<CMarker>& markers) const;


  /// The parse cache (-G): "<asc file>.dbg".
  static std::string CacheFileName(const std::string& ascFileName) { return ascFileName + ".dbg"; }
  /// A fast 64-bit content hash (not cryptographic): detects a changed or damaged file.

  // What the other stages read.
  const std::string& AscFileName() const { return myAscFileName; }
  const AscHeader& Header() const { return myHeader; }
  AscHeader& Header() { return myHeader; }
  /// Milliseconds per sample: 4, 2, 1 or 0.5; 0 before a rate was read.
  double SamplePeriod() const { return myHeader.samplePeriodUs / 1000.0; }
  uint32_t SamplePeriodUs() const { return myHeader.samplePeriodUs; }
  /// What the samples hold: "GAZE" or "HREF" (head-referenced); the channel names say which.
  const std::string& SampleKind() const { return myHeader.sampleKind; }
  double NaNValue() const { return myNaNValue; }
  uint32_t StartTimestamp() const { return myStartTimestamp; }
  uint32_t EndTimestamp() const { return myEndTimestamp; }
  uint32_t LastSampleIndex() const { return myLastSampleIndex; }
  uint32_t NbSamples() const { return myNbSamples; }
  uint32_t NbChannels() const { return myNbChannels; }
  /// Sample after sample, each row the channels of ChannelNames().
  using Matrix = std::vector<double, DefaultInitAllocator<double>>;
  const Matrix& Data() const { return myData; }
  const std::vector<std::string>& ChannelNames() const { return myChannelNames; }
  const std::vector<uint8_t>& Status() const { return myStatus; }
  const std::vector<uint16_t>& FrameAdvances() const { return myFrameAdvances; }
  const std::vector<uint16_t>& TriggerValues() const { return myTriggerValues; }
  bool LeftEyePresent() const { return myLeftEyePresent; }
  bool RightEyePresent() const { return myRightEyePresent; }
  bool VelocityInFile() const { return myVelocityInFile; }
  bool FramesInEvents() const { return myFramesInEvents; }
  bool WarningsWritten() const { return myWarningsWritten; }
  /// Byte offset of the start of every text line, in line order.
  using LineTable = std::vector<uint64_t, DefaultInitAllocator<uint64_t>>;
  const LineTable& LineOffsets() const { return myLineOffsets; }
  uint64_t NbLines() const { return myLineOffsets.empty() ? 0 : myLineOffsets.size() - 1; }

  const std::vector<std::unique_ptr<CSequence>>& Sequences() const { return mySequences; }
  const std::vector<std::unique_ptr<Displayable>>& Displayables() const { return myDisplayables; }
  const std::vector<std::unique_ptr<Frame>>& Frames() const { return myFrames; }
  const std::vector<std::unique_ptr<CTransition>>& Transitions() const { return myTransitions; }
  const std::vector<std::unique_ptr<FixationSaccade>>& FixationSaccadesLeft() const { return myFixSaccLeft; }
  const std::vector<std::unique_ptr<FixationSaccade>>& FixationSaccadesRight() const { return myFixSaccRight; }
  const std::vector<std::unique_ptr<Blink>>& BlinksLeft() const { return myBlinksLeft; }
  const std::vector<std::unique_ptr<Blink>>& BlinksRight() const { return myBlinksRight; }
  const std::vector<std::unique_ptr<AcqPhase>>& AcqPhases() const { return myAcqPhases; }
  const std::vector<std::unique_ptr<Record>>& Records() const { return myRecords; }
  /// Where the samples really lie: the grid puts a sample at the grid point at or before its
  /// timestamp, so a block whose timestamps are not multiples of the period sits that many ms
  /// past its grid points. One entry per change: (first grid index, ms past the grid point).
  const std::vector<std::pair<uint32_t, uint16_t>>& SamplePhases() const { return mySamplePhases; }
  /// The tracker time of grid index g, ms: its grid point plus the phase of its block.
  double SampleTime(double g) const;
  const std::vector<std::unique_ptr<Trigger>>& Triggers() const { return myTriggers; }
  const std::map<int, std::string>& TriggerNames() const { return myTriggerNames; }
  /// The combined, sorted list; refers to the objects of the lists above.
  const std::vector<Event*>& AllEvents() const { return myAllEvents; }

 private:
  // The exporter and the parse cache read the recording's lists as they are.
  friend class AscMatExport;
  friend class AscCache;

  static inline uint64_t theGridLimit = kMaxGridMilliseconds;
  static inline ReadAhead theReadAhead = ReadAhead::kAuto;
  static inline uint64_t theChunkLines = kChunkLines;
  bool ProcessStage(const SynchroParams& params);
  std::string_view LineText(uint64_t line) const;
  void BuildLineTable();
  bool BuildGrid(uint32_t startTimestamp, uint32_t endTimestamp);
  /// The walk writes every sample straight into its row of the channel matrix: these are its
  /// columns, in the order the finished matrix lists them. The header's SAMPLES line decides the
  /// first layout; a block with an eye or velocity it did not announce widens the matrix, and
  /// OrganizeData drops what no sample filled.
  enum MatrixColumn : uint8_t {
    kLx, kLy, kLp, kRx, kRy, kRp, kLxVel, kLyVel, kRxVel, kRyVel, kBlinkColumn, kMatrixColumns
  };
  using ColumnSet = std::array<bool, kMatrixColumns>;
  /// The matrix as the header announces it, every value missing (no blink).
  bool LayOutMatrix(bool velocityWanted);
  /// Makes the matrix hold exactly the wanted columns: those it had keep their values, new ones
  /// start missing (no blink). False, with the matrix unchanged, when the memory is not there.
  bool Relayout(const ColumnSet& wanted);
  ColumnSet ColumnsInMatrix() const;
  /// Adds the columns of one eye (its pupil when wanted, its velocity when asked) if missing.
  bool EnsureEyeColumns(bool left, bool velocity) {
    const size_t x = left ? kLx : kRx;
    const size_t xVel = left ? kLxVel : kRxVel;
    return (mySlot[x] >= 0 && (!velocity || mySlot[xVel] >= 0)) || AddEyeColumns(left, velocity);
  }
  bool AddEyeColumns(bool left, bool velocity);
  double& Cell(uint32_t sample, MatrixColumn column) {
    return myData[static_cast<size_t>(sample) * myStride + static_cast<size_t>(mySlot[column])];
  }
  void RemoveFalseBlinks(std::vector<std::unique_ptr<Blink>>& blinks, MatrixColumn x, MatrixColumn y);
  /// Where a report points: the tracker time of the grid index and the text line being read.
  std::string AtPosition(uint32_t index) const {
    // After the walk (the checks at the end of the file) the last line is the one meant.
    const uint64_t line = myCurrentLine < NbLines() ? myCurrentLine + 1 : NbLines();
    return "timestamp " + TimestampOfIndex(index) + ", line " + std::to_string(line);
  }
  void ResetParseState();
  bool ParseSampleLine(const SampleFields& f, uint32_t i, bool velocityChannels);
  /// The grid index of a sample line's timestamp token: at 2000 Hz the second line of a whole
  /// millisecond is its second half. False (after the report) when the line fits no grid.
  bool PlaceSample(std::string_view token, uint32_t& i);
  /// The timestamp token of the next sample line (empty when none follows soon).
  std::string_view NextSampleToken() const;
  /// Logs a sample line that breaks the 2000 Hz pattern, with its line number.
  void GridWarning(std::string_view what, uint64_t line);
  void ParseEventLine(AscTokens& t);
  void ParseMessage(AscTokens& t);
  /// A message with the trigger keyword: its code and its time (less EyeLink's offset field).
  void ParseTriggerMessage(const AscTokens& t, uint32_t line);
  /// The message triggers become the recording's trigger list; false when there are none.
  bool AdoptMessageTriggers();
  void TransitionBegin(AscTokens& t, uint32_t m);
  void CombineEvents();
  void ReleaseText();
  void ReportProgress(uint32_t index);
  void MarkStatus(uint32_t index, uint8_t bits) {
    if (index < myNbSamples) myStatus[index] |= bits;
  }

  std::string myAscFileName;
  bool myCorruptionStop = false;
  // Triggers from messages (-M): the keyword as tokens, what the walk found, what it skipped.
  std::vector<std::string> myTriggerKeyword;
  std::vector<std::unique_ptr<Trigger>> myMessageTriggers;
  uint64_t mySkippedMessages = 0;
  std::string myFirstSkippedMessage;
  std::map<std::string, uint64_t> myMessageWords;  ///< first word of every message, to help a wrong keyword
  std::vector<std::pair<uint32_t, uint16_t>> mySamplePhases;
  bool myPhasePending = false;
  std::string myHeaderProblem;
  /// Timestamps with a ".5" fraction on a grid of whole milliseconds, and the first such line.
  mutable uint64_t myHalfOffGrid = 0;
  uint64_t myHalfOffGridLine = 0;
  /// At 2000 Hz without fractions each millisecond holds two sample lines of the same timestamp:
  /// the second is the second half. How often the last sample timestamp has been read.
  uint32_t mySameTimestampCount = 0;
  uint32_t myLastSampleTimestamp = 0;
  bool myLastSampleHalf = false;
  uint64_t myLastSampleLine = 0;
  bool myFractionStyle = false;      ///< the 2000 Hz timestamps carry ".5" fractions
  uint64_t myGridWarnings = 0;       ///< sample lines off the expected 2000 Hz pattern
  uint64_t myFirstGridWarningLine = 0;  ///< a START line was read: its first sample line gives the phase
  AscHeader myHeader;
  double myNaNValue = kMissing;
  uint64_t myCurrentLine = 0;
  Varnix::Platform::MappedFile myText;  ///< the whole file; the line table points into it
  uint64_t myTextSize = 0;
  LineTable myLineOffsets;  ///< line starts, plus one past the end of the last line
  std::vector<uint8_t> myStatus;
  std::vector<uint16_t> myFrameAdvances;
  std::vector<uint16_t> myTriggerValues;
  bool myLeftEyePresent = false;
  bool myRightEyePresent = false;
  bool myPupilWanted = false;
  bool myHrefSamples = false;  ///< the header's sample kind, for the walk: head-referenced angles
  bool myVelocityInFile = false;
  bool myVelocityNoteShown = false;
  Matrix myData;
  std::array<int32_t, kMatrixColumns> mySlot = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};  ///< -1: not in myData
  uint32_t myStride = 0;  ///< the columns in myData
  std::vector<std::unique_ptr<CSequence>> mySequences;
  std::vector<std::unique_ptr<Displayable>> myDisplayables;
  std::vector<std::unique_ptr<Frame>> myFrames;
  bool myFramesInEvents = false;
  std::vector<std::unique_ptr<CTransition>> myTransitions;
  std::vector<std::unique_ptr<FixationSaccade>> myFixSaccLeft;
  std::vector<std::unique_ptr<FixationSaccade>> myFixSaccRight;
  std::vector<std::unique_ptr<Blink>> myBlinksLeft;
  std::vector<std::unique_ptr<Blink>> myBlinksRight;
  std::vector<std::unique_ptr<AcqPhase>> myAcqPhases;
  std::vector<std::unique_ptr<Record>> myRecords;
  std::vector<std::unique_ptr<Trigger>> myTriggers;
  std::map<int, std::string> myTriggerNames;
  std::vector<Event*> myAllEvents;
  std::vector<std::string> myChannelNames;
  uint32_t myStartTimestamp = 0;
  uint32_t myEndTimestamp = 0;
  uint32_t myLastSampleIndex = 0;
  uint32_t myNbSamples = 0;
  uint32_t myNbChannels = 0;
  std::string myLogPath = "Log-AscRawData.txt";
  std::ofstream myLogStream;
  std::string myLastLogged;
  bool myWarningsWritten = false;
  bool myCacheWanted = false;
  uint64_t myFileSize = 0;  ///< bytes of the ASC file, kept after the text is released
  uint64_t myTextHash = 0;  ///< content hash of the ASC file, the parse cache's key

  // Parser state of one walk.
  bool myStates[kStateCount] = {};
  uint8_t myRecordFlags = 0;
  uint32_t myPreviousSampleIndex = 0;
  int16_t myPreviousInput = 0;
  uint64_t myStartLines[6] = {};  ///< SFIX, SSACC, SBLINK line of the left eye, then the right
  bool myInTrial = false;
  std::string myStimulusName;
  uint16_t myLastFrameNumber = 0;
  uint16_t mySequenceCounter = 1;
  int myProgress = 0;  ///< the last percentage printed, for the whole run
  /// The sample indices [from, to) that share the last percentage computed.
  uint64_t myProgressFrom = 0;
  uint64_t myProgressTo = 0;
};
