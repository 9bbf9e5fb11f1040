#pragma once
// A text output (statistics, event list, histograms) that is built in memory and written whole at
// Commit, through AtomicFileWriter: the file never exists half-written. Line ends are those of the
// platform's text mode.

#include <sstream>
#include <string>
#include <utility>

namespace Varnix {

class AtomicTextWriter {
 public:
  /// tag names the writer in error lines, as for AtomicFileWriter.
  explicit AtomicTextWriter(std::string path, std::string tag = "AtomicTextWriter");

  /// The stream to write the text into; nothing reaches the disk before Commit.
  std::ostream& Stream() { return myText; }
  /// Writes the text as the whole file. False, reported, when it cannot be written; the final
  /// name then keeps what it held before. A writer destroyed without Commit writes nothing.
  bool Commit();

  const std::string& Path() const { return myPath; }
  /// As AtomicFileWriter::SetOpenFailureTag.
  void SetOpenFailureTag(std::string tag) { myOpenFailureTag = std::move(tag); }

 private:
  std::string myPath;
  std::string myTag;
  std::string myOpenFailureTag;
  std::ostringstream myText;
};

}  // namespace Varnix
