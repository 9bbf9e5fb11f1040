#include "varnixlib/asc/asclineahead.h"

#include <algorithm>
#include <system_error>

#include "varnixlib/asc/asctokens.h"

namespace {

/// Chunks in flight with a worker: enough that neither side waits on a chunk of slow lines, few
/// enough that the buffers stay a few megabytes whatever the file's size.
constexpr uint64_t kSlots = 4;

}  // namespace

void SampleFields::Read(const AscTokens& t) {
  stamp = t[0];
  count = t.Count();
  missing = 0;
  position = 0;
  // Event lines are split again by the walk; reading their words as numbers would be wasted.
  if (count < 3 || stamp.empty() || static_cast<unsigned>(stamp[0] - '0') > 9u) return;
  for (size_t k = 1; k < kFields; ++k) {
    const std::string_view token = t[k];  // empty beyond the line's tokens, as the walk reads it
    if (AscTokens::IsMissing(token)) missing |= static_cast<uint16_t>(1u << k);
    if (AscTokens::IsPositionToken(token)) position |= static_cast<uint16_t>(1u << k);
    value[k] = AscTokens::DoubleOrMinusOne(token);
  }
}

LineReadAhead::LineReadAhead(const char* text, const std::vector<uint64_t>& lineOffsets, uint64_t first,
                             uint64_t last, uint64_t chunkLines, bool worker)
    : myText(text),
      myOffsets(lineOffsets),
      myFirst(first),
      myLast(std::max(first, last)),
      myChunkLines(std::max<uint64_t>(chunkLines, 1)),
      myChunkCount((myLast - myFirst + myChunkLines - 1) / myChunkLines),
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
  AscTokens t;
  for (uint64_t line = begin; line < end; ++line) {
    const uint64_t from = myOffsets[line];
    t.Split(std::string_view(myText + from, myOffsets[line + 1] - 1 - from));
    rows[line - begin].Read(t);
  }
}

void LineReadAhead::NextChunk(uint64_t line) {
  const uint64_t chunk = (line - myFirst) / myChunkLines;
  std::unique_lock<std::mutex> lock(myMutex, std::defer_lock);
  if (myWorker.joinable()) {
    lock.lock();
    // The chunk handed out before is done with: its slot may take a chunk further on.
    myReleased = myCurrent;
    myWake.notify_all();
    if (myNextClaim <= chunk) {
      // The worker is behind (or was never this far): read the chunk here rather than wait.
      myNextClaim = chunk + 1;
      lock.unlock();
      Fill(chunk);
    } else {
      myWake.wait(lock, [&] { return myFilled[chunk % mySlots.size()] == chunk + 1; });
    }
  } else {
    Fill(chunk);
  }
  myCurrent = chunk + 1;
  myRows = &mySlots[chunk % mySlots.size()];
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
