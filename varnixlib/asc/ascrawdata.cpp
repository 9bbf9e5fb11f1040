#include "varnixlib/asc/ascrawdata.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>
#include <thread>

#include "varnixlib/asc/asccache.h"
#include "varnixlib/asc/asclineahead.h"
#include "varnixlib/support/file.h"
#include "varnixlib/support/platform.h"
#include "varnixlib/support/report.h"
#include "varnixlib/synchroparams.h"
#include "varnixlib/asc/ttlfile.h"

AscRawData::AscRawData() = default;
AscRawData::~AscRawData() = default;

bool AscRawData::OpenLog(const std::string& path) {
  myLogPath = path;
  if (myLogStream.is_open()) myLogStream.close();
  myLogStream.clear();
  myLogStream.open(path, std::ios::out | std::ios::trunc);
  return myLogStream.is_open();
}

void AscRawData::AdoptLog(const std::string& path, std::ofstream&& stream) {
  myLogPath = path;
  myLogStream = std::move(stream);
}

bool AscRawData::Process(const SynchroParams& params) {
  const bool result = ProcessStage(params);
  // Readers of the log (the user, a test) see every warning once the stage is over.
  if (myLogStream.is_open()) myLogStream.flush();
  return result;
}

bool AscRawData::ProcessStage(const SynchroParams& params) {
  myCorruptionStop = false;
  myPupilWanted = params.pupilSize;
  myFramesInEvents = params.framesInEvents;
  myCacheWanted = params.cacheWanted;
  myTriggerKeyword.clear();
  for (size_t at = 0; at < params.triggerMessage.size();) {
    const size_t space = params.triggerMessage.find(' ', at);
    const size_t end = space == std::string::npos ? params.triggerMessage.size() : space;
    if (end > at) myTriggerKeyword.push_back(params.triggerMessage.substr(at, end - at));
    at = end + 1;
  }
  myAscFileName = params.ascFileName;

  const Varnix::Platform::FileStatus st = Varnix::Platform::Stat(myAscFileName);
  if (!st.exists || st.isDirectory) return Error("File don't extist", myAscFileName);
  myNaNValue = kMissing;

  // Mapped, not read: the parse walks the system's cached copy of the file, so no buffer of the
  // file's size is zeroed and filled first.
  if (myText.Open(myAscFileName) != 0) return Error("File reading", myAscFileName);
  myTextSize = myText.Size();
  if (myTextSize == 0) return Error("Empty ASC file", myAscFileName);
  if (std::memchr(myText.Data(), '\n', myTextSize) == nullptr) return Error("Invalid ASC file", myAscFileName);

  BuildLineTable();

  uint64_t firstDataLine = 0;
  uint32_t startTimestamp = 0;
  uint32_t endTimestamp = 0;
  if (!ParseHeader(myHeader, firstDataLine, startTimestamp, endTimestamp, params.falseBlinkMsec) ||
      !BuildGrid(startTimestamp, endTimestamp)) {
    ReleaseText();
    // The reason goes on the console too: the log is not where a refused file is looked into.
    return Error("AscRawData::Process : processing header", myHeaderProblem);
  }

  if (myCacheWanted) {
    myFileSize = myTextSize;
    myTextHash = AscCache::HashBytes(myText.Data(), myTextSize);
  }
  if (myCacheWanted && AscCache::Load(*this, params)) {
    ReleaseText();
    return true;
  }

  if (!LayOutMatrix(params.velocityChannels)) {
    ReleaseText();
    return Error("AscRawData::Process : processing header", "");
  }
  if (!LoadTriggerNames(params.triggersFileName)) {
    ReleaseText();
    return Error("AscRawData::Process : extracting Triggers", "");
  }
  const bool parsed = ParseLines(firstDataLine, params.velocityChannels);
  // Nothing after the walk reads the text; releasing it here keeps the peak memory near the
  // file size plus the matrix.
  ReleaseText();
  if (!parsed) {
    // A corrupted sample line has been reported in full where it was found; the run ends there.
    return myCorruptionStop ? false : Error("AscRawData::Process : processing version", "");
  }
  if (!OrganizeData(params)) return Error("AscRawData::Process::OrganizeData", "");

  // The simulated TTL file goes beside the recording, which may sit on a read-only share: a
  // failure is reported and the merge, which does not need the file, goes on.
  if (params.makeTtlFile) TtlFile::Write(myTriggers, myAscFileName);
  if (myWarningsWritten) std::cout << "Warning information is available in: " << myLogPath << std::endl;
  if (myCacheWanted) AscCache::Save(*this, params);
  return true;
}

namespace {

/// Line feeds in [from, to).
uint64_t CountFeeds(const char* from, const char* to) {
  uint64_t count = 0;
  for (const char* p = from; (p = static_cast<const char*>(std::memchr(p, '\n', to - p))); ++p) ++count;
  return count;
}

/// Writes the offset after every line feed in [from, to) to out, in order, up to the text's end.
void FillOffsets(const char* text, uint64_t size, const char* from, const char* to, uint64_t* out) {
  for (const char* p = from; (p = static_cast<const char*>(std::memchr(p, '\n', to - p))); ++p) {
    if (static_cast<uint64_t>(p - text) + 1 < size) *out++ = static_cast<uint64_t>(p - text) + 1;
  }
}

/// Below this size a second thread costs more than it saves.
constexpr uint64_t kHalvedTableBytes = 1u << 22;

}  // namespace

void AscRawData::BuildLineTable() {
  myLineOffsets.clear();
  // One pass of memchr to size the table, a second to fill it: no reallocation of a table that
  // can hold millions of entries. A long file is cut in two halves, each counted and then filled
  // (at the entries the first half's count leaves it) on its own core.
  const char* const text = myText.Data();
  const uint64_t size = myTextSize;
  const bool halved = size >= kHalvedTableBytes && std::thread::hardware_concurrency() > 1;
  const char* const middle = text + (halved ? size / 2 : size);
  const char* const end = text + size;
  uint64_t firstCount = 0;
  uint64_t secondCount = 0;
  if (halved) {
    OnBothCores([&] { firstCount = CountFeeds(text, middle); }, [&] { secondCount = CountFeeds(middle, end); });
  } else {
    firstCount = CountFeeds(text, end);
  }
  const bool endsWithFeed = size > 0 && text[size - 1] == '\n';
  const uint64_t lines = firstCount + secondCount + (endsWithFeed ? 0 : 1);
  // Line starts, then one past the end of the last line, as if it too ended with a line feed.
  // Every entry is written below, each half's pages first by its own core: nothing is zeroed first.
  myLineOffsets.resize(lines + 1);
  uint64_t* const table = myLineOffsets.data();
  table[0] = 0;
  if (halved) {
    OnBothCores([&] { FillOffsets(text, size, text, middle, table + 1); },
                [&] { FillOffsets(text, size, middle, end, table + 1 + firstCount); });
  } else {
    FillOffsets(text, size, text, end, table + 1);
  }
  table[lines] = endsWithFeed ? size : size + 1;
}

std::string_view AscRawData::LineText(uint64_t line) const {
  const uint64_t begin = myLineOffsets[line];
  const uint64_t end = myLineOffsets[line + 1] - 1;  // without the line feed
  return std::string_view(myText.Data() + begin, end - begin);
}

void AscRawData::ReleaseText() {
  myText.Close();
  myTextSize = 0;
}

bool AscRawData::ChangeState(State state, std::string_view name, bool expected, uint32_t index) {
  bool& value = myStates[state];
  const bool matched = value == expected;
  if (!matched) {
    if (!myLogStream.is_open()) std::cout << "Warning: " << myLogPath << " is not open." << std::endl;
    myLogStream << name << " = " << (value ? "true" : "false") << ". It means a new "
                << (value ? "BEGIN" : "END") << " ( at " << AtPosition(index) << " )"
                << " has been detected before the expected " << (value ? "END" : "BEGIN") << '\n';
    myWarningsWritten = true;
  }
  if (index != 0) value = !expected;
  return matched;
}

void AscRawData::Warn(uint32_t index, std::string_view message) {
  if (!myLogStream.is_open()) std::cout << "Warning: " << myLogPath << " is not open." << std::endl;
  myLogStream << message;
  if (index != kNoPosition) myLogStream << " ( at " << AtPosition(index) << " )";
  myLogStream << '\n';
  myLastLogged = message;
  myWarningsWritten = true;
}

bool AscRawData::StopOnCorruption(uint32_t, std::string_view message, std::string_view token,
                                  ReportLocation where) {
  if (!myLogStream.is_open()) std::cout << "Warning: " << myLogPath << " is not open." << std::endl;
  // The timestamp as the line writes it: a corrupted one has no place on the grid to print.
  const std::string at = " at timestamp " + std::string(token) + ", line " + std::to_string(myCurrentLine + 1);
  myLogStream << where.file_name() << "::" << where.line() << ' ' << message << myAscFileName << at << std::endl;
  std::cout << message << myAscFileName << at << '\n';
  std::cout << "WARNING > Useful information in " << myLogPath << std::endl;
  myWarningsWritten = true;
  myCorruptionStop = true;
  return false;
}

