#pragma once
// Appends a record to a text file that collects one line per run across many runs (and possibly
// many processes at once): the text goes out in a single write to the end of the file, and a
// write cut short by a full disk is taken back, so the file only ever holds whole lines.

#include <string>

namespace Varnix {

class LineAppender {
 public:
  /// Appends text ('\n' written as the platform's text line end), creating the file when it is
  /// missing but never its directory. False when nothing could be appended; reports nothing,
  /// since the callers' files are optional figures that must not disturb a run.
  static bool Append(const std::string& path, const std::string& text);
};

}  // namespace Varnix
