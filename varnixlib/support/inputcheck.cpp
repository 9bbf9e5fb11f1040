#include "varnixlib/support/inputcheck.h"

#include <fstream>

#include "varnixlib/support/paths.h"
#include "varnixlib/support/platform.h"

namespace {

// The first line of an EDF2ASC export is short; reading a bounded prefix avoids loading an
// hour-long recording only to look at its first bytes.
constexpr std::streamsize kFirstLineLimit = 64 * 1024;

}  // namespace

bool InputCheck::IsFile(const std::string& path) {
  const Varnix::Platform::FileStatus st = Varnix::Platform::Stat(path);
  return st.exists && !st.isDirectory;
}

bool InputCheck::FirstLineHasConvertedMark(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string head(static_cast<size_t>(kFirstLineLimit), '\0');
  in.read(head.data(), kFirstLineLimit);
  head.resize(static_cast<size_t>(in.gcount()));
  const size_t end = head.find('\n');
  if (end != std::string::npos) head.resize(end);
  return head.find(kConvertedMark) != std::string::npos;
}

bool InputCheck::Asc(SynchroParams& params, const std::string& name) {
  if (!IsFile(name)) return false;
  if (LowerCase(SplitPath(name).extension) != "asc" && !FirstLineHasConvertedMark(name)) return false;

  if (!params.extFileName.empty()) {
    if (!IsFile(params.extFileName)) return false;
  } else if (IsFile(name + ".ext")) {
    params.extFileName = name + ".ext";
  }
  if (!params.triggersFileName.empty()) {
    if (!IsFile(params.triggersFileName)) return false;
  } else if (IsFile(name + ".trig.txt")) {
    params.triggersFileName = name + ".trig.txt";
  }
  params.ascMatFileName = (params.extFileName.empty() ? name : params.extFileName) + ".mat";
  params.ascFileName = name;
  return true;
}

bool InputCheck::Eeg(SynchroParams& params, const std::string& name) {
  params.eegFileName = name;
  params.eegMatFileName = name + ".mat";
  return IsFile(name) && IsFile(ReplaceExtension(name, "vhdr")) && IsFile(ReplaceExtension(name, "vmrk"));
}
