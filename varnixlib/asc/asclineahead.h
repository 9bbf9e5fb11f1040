#pragma once
// Reading ahead of the ASC line walk. The walk itself is stateful (START and END lines, messages and
// eye events change how the next sample line is stored) and stays on one thread; what does not
// depend on that state, splitting a line into tokens and reading the numbers of a sample line, is
// done here in chunks of lines, by a second thread when one pays, so that the walk only applies it.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <system_error>
#include <string_view>
#include <thread>
#include <vector>

/// Runs second on another thread while first runs here (both here when no thread can be had), for
/// the stage's halves of work that share nothing: each returns before this does.
template <typename First, typename Second>
void OnBothCores(First&& first, Second&& second) {
  std::thread other;
  try {
    other = std::thread([&second] { second(); });
  } catch (const std::system_error&) {
    first();
    second();
    return;
  }
  first();
  other.join();
}

/// What the walk reads of one line before it knows the state: the token count, the first token
/// (the timestamp of a sample line) and, on lines that begin with a digit, tokens 1 to 10 as
/// numbers with the character tests the walk makes on them.
struct SampleFields {
  static constexpr size_t kFields = 11;  ///< the timestamp, then x, y, pupil of both eyes, then 4 velocities

  std::string_view stamp;
  size_t count = 0;
  uint16_t missing = 0;   ///< bit k: token k is "." (the tracker had no value)
  uint16_t position = 0;  ///< bit k: token k holds only the characters of a gaze position
  double value[kFields] = {};  ///< token k read as AscTokens::DoubleOrMinusOne reads it

  bool Missing(size_t k) const { return (missing >> k) & 1u; }
  bool Position(size_t k) const { return (position >> k) & 1u; }
  double Value(size_t k) const { return value[k]; }

  /// Fills the fields from a line of text; numbers only when the first token begins with a digit,
  /// and only the tokens whose bit is set in wanted (the others are left as they were).
  void Read(std::string_view line, uint16_t wanted = kAllFields);
  static constexpr uint16_t kAllFields = 0x7FE;
};

/// Hands out the fields of lines [first, last) of a text in increasing line order. Chunks of lines
/// are read by a worker thread a few chunks ahead of the caller, into a small ring of reused
/// buffers; where the caller would wait for the worker it reads the next chunk nobody has taken,
/// so both cores stay busy whichever side is slower. Without the worker the caller reads every chunk.
class LineReadAhead {
 public:
  /// text and lineOffsets (line starts plus one past the last line, as AscRawData keeps them) must
  /// not change while this object lives; nothing else is shared with the worker.
  /// wanted: the tokens whose fields are read (SampleFields::Read).
  LineReadAhead(const char* text, const uint64_t* lineOffsets, uint64_t first, uint64_t last,
                uint64_t chunkLines, bool worker, uint16_t wanted = SampleFields::kAllFields);
  /// Stops and joins the worker, wherever it is.
  ~LineReadAhead();
  LineReadAhead(const LineReadAhead&) = delete;
  LineReadAhead& operator=(const LineReadAhead&) = delete;

  /// The fields of line; lines are asked for in increasing order, none skipped backwards.
  const SampleFields& At(uint64_t line) {
    if (line >= myChunkEnd) NextChunk(line);
    return (*myRows)[line - myChunkBegin];
  }
  /// Whether a worker thread runs (false when none was asked for or none could be started).
  bool Threaded() const { return myWorker.joinable(); }

 private:
  void NextChunk(uint64_t line);
  void Fill(uint64_t chunk);
  void Work();

  const char* const myText;
  const uint64_t* const myOffsets;
  const uint64_t myFirst;
  const uint64_t myLast;
  const uint64_t myChunkLines;
  const uint64_t myChunkCount;
  const uint16_t myWanted;
  std::vector<std::vector<SampleFields>> mySlots;  ///< chunk c lives in slot c % size while in use

  // The caller's side only.
  uint64_t myChunkBegin = 0;
  uint64_t myChunkEnd = 0;
  uint64_t myCurrent = 0;  ///< the chunk being handed out, plus one (0: none yet)
  const std::vector<SampleFields>* myRows = nullptr;

  // Shared, under myMutex.
  std::mutex myMutex;
  std::condition_variable myWake;
  uint64_t myNextClaim = 0;   ///< the next chunk nobody reads yet
  uint64_t myReleased = 0;    ///< chunks the caller has finished with: their slots may be reused
  std::vector<uint64_t> myFilled;  ///< per slot: the chunk it holds, plus one, once it is read
  bool myStop = false;
  std::thread myWorker;
};
