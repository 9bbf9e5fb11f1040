#include "varnixlib/support/atomictextwriter.h"

#include <utility>

#include "varnixlib/support/atomicfilewriter.h"
#include "varnixlib/support/platform.h"

namespace Varnix {

AtomicTextWriter::AtomicTextWriter(std::string path, std::string tag)
    : myPath(std::move(path)), myTag(std::move(tag)) {}

bool AtomicTextWriter::Commit() {
  const std::string text = Platform::ToTextLineEnds(std::move(myText).str());
  myText.str({});
  AtomicFileWriter file(myPath, myTag);
  if (!myOpenFailureTag.empty()) file.SetOpenFailureTag(myOpenFailureTag);
  if (!file.Open()) return false;
  if (!file.Write(text.data(), text.size())) return false;
  return file.Commit();
}

}  // namespace Varnix
