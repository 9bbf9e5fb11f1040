#include "varnixlib/atomictextwriter.h"

#include <cstring>
#include <utility>

#include "varnixlib/atomicfilewriter.h"
#include "varnixlib/platform.h"

namespace Varnix {

AtomicTextWriter::AtomicTextWriter(std::string path, std::string tag)
    : myPath(std::move(path)), myTag(std::move(tag)) {}

bool AtomicTextWriter::Commit() {
  std::string text = std::move(myText).str();
  myText.str({});
  if (std::strcmp(Platform::kTextLineEnd, "\n") != 0) {
    std::string translated;
    translated.reserve(text.size() + text.size() / 16);
    for (char c : text) {
      if (c == '\n') translated += Platform::kTextLineEnd;
      else translated += c;
    }
    text = std::move(translated);
  }
  AtomicFileWriter file(myPath, myTag);
  if (!myOpenFailureTag.empty()) file.SetOpenFailureTag(myOpenFailureTag);
  if (!file.Open()) return false;
  if (!file.Write(text.data(), text.size())) return false;
  return file.Commit();
}

}  // namespace Varnix
