#include "varnixlib/asc/asclineahead.h"

#include <algorithm>
#include <system_error>

#include "varnixlib/asc/asctokens.h"

namespace {

/// Chunks in flight with a worker: enough that neither side waits on a chunk of slow lines, few
/// enough that the buffers stay a few megabytes whatever the file's size.
constexpr uint64_t kSlots = 4;

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return static_cast<unsigned>(c - '0') < 10u; }

/// The powers of ten AscTokens::DoubleValue divides by: the same division gives the same double.
constexpr double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

}  // namespace

void SampleFields::Read(std::string_view line, uint16_t wanted) {
  // One pass over the line where AscTokens::Split and then the token tests would make three: the
  // tokens are those of Split, and each value is what AscTokens::DoubleOrMinusOne gives (the plain
  // decimals it reads itself are read here the same way, anything else is handed to it).
  stamp = {};
  count = 0;
  missing = 0;
  position = 0;
  const char* p = line.data();
  const char* const end = p + line.size();
  bool numbers = false;
  while (true) {
    while (p < end && IsSeparator(*p)) ++p;
    if (p == end) break;
    const char* const begin = p;
    if (count == 0 || count >= kFields || !numbers || !((wanted >> count) & 1u)) {
      while (p < end && !IsSeparator(*p)) ++p;
      if (count == 0) {
        stamp = std::string_view(begin, static_cast<size_t>(p - begin));
        // Event lines are split again by the walk; reading their words as numbers would be wasted.
        numbers = IsDigit(stamp[0]);
      }
      ++count;
      continue;
    }
    const uint16_t bit = static_cast<uint16_t>(1u << count);
    ++count;
    // Nearly every token is a plain "[-]ddd.d": read straight through, with no test per
    // character beyond the digit's own; anything else is read again below, character by character.
    {
      const char* q = p;
      const bool negative = *q == '-';
      q += negative;
      uint64_t mantissa = 0;
      const char* const whole = q;
      while (q < end && IsDigit(*q)) mantissa = mantissa * 10 + static_cast<uint64_t>(*q++ - '0');
      ptrdiff_t digits = q - whole;
      ptrdiff_t fraction = 0;
      if (q < end && *q == '.') {
        const char* const decimals = ++q;
        while (q < end && IsDigit(*q)) mantissa = mantissa * 10 + static_cast<uint64_t>(*q++ - '0');
        fraction = q - decimals;
        digits += fraction;
      }
      if ((q == end || IsSeparator(*q)) && digits > 0 && digits <= 15) {
        position |= bit;
        const double v = static_cast<double>(mantissa) / kPow10[fraction];
        value[count - 1] = negative ? -v : v;
        p = q;
        continue;
      }
    }
    bool onlyPosition = true;
    while (p < end && !IsSeparator(*p)) {
      const char c = *p++;
      onlyPosition = onlyPosition && (IsDigit(c) || c == '-' || c == '.');
    }
    const std::string_view token(begin, static_cast<size_t>(p - begin));
    if (onlyPosition) position |= bit;
    if (AscTokens::IsMissing(token)) {
      missing |= bit;
      value[count - 1] = -1.0;
    } else {
      value[count - 1] = AscTokens::DoubleValue(token);
    }
  }
  // Tokens the line lacks read as empty ones do: no value, and nothing but position characters.
  for (size_t k = std::max<size_t>(count, 1); k < kFields; ++k) {
    position |= static_cast<uint16_t>(1u << k);
    value[k] = 0.0;
  }
}

LineReadAhead::LineReadAhead(const char* text, const uint64_t* lineOffsets, uint64_t first,
                             uint64_t last, uint64_t chunkLines, bool worker, uint16_t wanted)
    : myText(text),
      myOffsets(lineOffsets),
      myFirst(first),
      myLast(std::max(first, last)),
      myChunkLines(std::max<uint64_t>(chunkLines, 1)),
      myChunkCount((myLast - myFirst + myChunkLines - 1) / myChunkLines),
      myWanted(wanted),
      myChunkBegin(first),
      myChunkEnd(first) {
  const uint64_t slots = worker && myChunkCount > 1 ? kSlots : 1;
  mySlots.resize(slots);
  for (auto& slot : mySlots) slot.resize(std::min(myChunkLines, myLast - myFirst));
  myFilled.assign(slots, 0);
  if (slots > 1) {
    try {
      myWorker = std::thread(&LineReadAhead::Work, this);
    } catch (const std::system_error&) {
      // No thread to be had: the caller reads every chunk itself, one slot at a time suffices.
    }
  }
}

LineReadAhead::~LineReadAhead() {
  if (!myWorker.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(myMutex);
    myStop = true;
  }
  myWake.notify_all();
  myWorker.join();
}

void LineReadAhead::Fill(uint64_t chunk) {
  std::vector<SampleFields>& rows = mySlots[chunk % mySlots.size()];
  const uint64_t begin = myFirst + chunk * myChunkLines;
  const uint64_t end = std::min(begin + myChunkLines, myLast);
  for (uint64_t line = begin; line < end; ++line) {
    const uint64_t from = myOffsets[line];
    rows[line - begin].Read(std::string_view(myText + from, myOffsets[line + 1] - 1 - from), myWanted);
  }
}

void LineReadAhead::NextChunk(uint64_t line) {
  const uint64_t chunk = (line - myFirst) / myChunkLines;
  const uint64_t slots = mySlots.size();
  if (myWorker.joinable()) {
    std::unique_lock<std::mutex> lock(myMutex);
    // The chunk handed out before is done with: its slot may take a chunk further on.
    myReleased = myCurrent;
    myWake.notify_all();
    // Rather than wait for the worker, read the next chunk nobody has taken (this one, when the
    // worker is behind; one further on while the worker finishes this one): reading is most of
    // the cost, so both cores share it.
    while (myFilled[chunk % slots] != chunk + 1) {
      if (myNextClaim < myChunkCount && myNextClaim < myReleased + slots) {
        const uint64_t claimed = myNextClaim++;
        lock.unlock();
        Fill(claimed);
        lock.lock();
        myFilled[claimed % slots] = claimed + 1;
      } else {
        myWake.wait(lock);
      }
    }
  } else {
    Fill(chunk);
  }
  myCurrent = chunk + 1;
  myRows = &mySlots[chunk % slots];
  myChunkBegin = myFirst + chunk * myChunkLines;
  myChunkEnd = std::min(myChunkBegin + myChunkLines, myLast);
}

void LineReadAhead::Work() {
  std::unique_lock<std::mutex> lock(myMutex);
  while (true) {
    // A slot is free once the caller has released the chunk that used it before.
    myWake.wait(lock, [&] {
      return myStop || myNextClaim >= myChunkCount || myNextClaim < myReleased + mySlots.size();
    });
    if (myStop || myNextClaim >= myChunkCount) return;
    const uint64_t chunk = myNextClaim++;
    lock.unlock();
    Fill(chunk);
    lock.lock();
    myFilled[chunk % mySlots.size()] = chunk + 1;
    myWake.notify_all();
  }
}
