#pragma once
// Small hand-made ASC recordings and a runner for the ASC tests.

#include <functional>
#include <string>

#include "support/testsupport.h"
#include "varnixlib/asc/ascrawdata.h"
#include "varnixlib/synchroparams.h"

namespace asctest {

/// Head of a recording: converted-from line, screen, the START line of one block and its rate.
/// eyes is "LEFT", "RIGHT" or "LEFT\tRIGHT"; vel adds VEL to the SAMPLES line.
std::string Head(const std::string& eyes = "LEFT", const std::string& rate = "1000.00", bool vel = false,
                 unsigned start = 1000);
/// A monocular sample line: time, x, y, pupil.
std::string Mono(unsigned time, const std::string& x, const std::string& y, const std::string& p = "1000.0");
std::string End(unsigned time);

/// How many AscRun stages stopped on a corrupted sample line.
int CorruptionStops();
void ResetCorruptionStops();

/// Writes text as <dir>/rec.asc, opens the log <dir>/Log-AscRawData.txt and runs the stage.
class AscRun {
 public:
  explicit AscRun(const std::string& text, SynchroParams params = Defaults(), const std::string& name = "rec.asc");
  static SynchroParams Defaults();
  bool ok = false;
  std::string Log() const;
  std::string Path(const std::string& name) const { return dir / name; }
  testsupport::TempDir dir;
  AscRawData asc;
  SynchroParams params;
};

/// What f printed to standard output.
std::string Capture(const std::function<void()>& f);

/// Value of channel name at sample s of the matrix, or NaN when there is no such channel.
double At(const AscRawData& asc, const std::string& channel, uint32_t sample);

}  // namespace asctest
