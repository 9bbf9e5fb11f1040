// The ASC stage on one file: header scan, grid, line walk, sorting and organisation. The first
// byte chooses the options that change the parse; the rest is the file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzzinput.h"
#include "fuzz/harness.h"
#include "varnixlib/asc/ascrawdata.h"
#include "varnixlib/synchroparams.h"

namespace fuzzharness {

int Asc(const uint8_t* data, size_t size) {
  // One hour of tracker time (a grid of about 200 MB) keeps every input within the fuzzer's
  // memory limit under ASan; longer spans take the refusal path a day takes in the program.
  AscRawData::SetGridLimitForTesting(3600ull * 1000ull);
  const uint64_t options = fuzzinput::TakeNumber(data, size, 1);
  SynchroParams params;
  params.pupilSize = options & 1;
  params.framesInEvents = options & 2;
  params.velocityChannels = options & 4;
  params.roundGaze = options & 8;
  params.falseBlinkMsec = static_cast<int64_t>(options >> 4) * 10;
  // A third of the inputs go through the read-ahead thread with chunks of a few lines, so that
  // the hand-over between the threads meets every kind of line (the kept corpus keeps its meaning).
  AscRawData::SetReadAheadForTesting(size % 3 == 0 ? AscRawData::ReadAhead::kOn : AscRawData::ReadAhead::kOff,
                                     1 + size % 7);
  params.ascFileName = fuzzinput::WriteScratch(data, size, ".asc");
  AscRawData asc;
  asc.OpenLog(fuzzinput::ScratchName("-Log-AscRawData.txt"));
  asc.Process(params);
  return 0;
}

}  // namespace fuzzharness
