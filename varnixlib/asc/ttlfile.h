#pragma once
// The reference TTL file: whitespace-separated pairs of a time in microseconds and a trigger
// value, named like the ASC file with the extension "ttl". The driver reads it; with -T the ASC
// stage writes a simulated one from the eye-tracker triggers.

#include <memory>
#include <string>
#include <vector>

#include "varnixlib/asc/trigger.h"

class TtlFile {
 public:
  /// "<directory of the ASC file>/<base name>.ttl".
  static std::string FileName(const std::string& ascFileName);
  /// The triggers of the file, start = end = the time in milliseconds (rounded half away from
  /// zero); empty when the file cannot be opened. Reading stops at the first pair that does not parse.
  static std::vector<Trigger> Read(const std::string& ascFileName);
  /// Writes the triggers' tracker times (their timestamps) in microseconds from the first one, less
  /// a random jitter of 0 to 2000 microseconds; nothing for an empty list.
  static bool Write(const std::vector<std::unique_ptr<Trigger>>& triggers, const std::string& ascFileName);
};
