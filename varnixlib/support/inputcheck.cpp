#include "varnixlib/support/inputcheck.h"

#include <fstream>

#include "varnixlib/support/inireader.h"
#include "varnixlib/support/paths.h"
#include "varnixlib/support/platform.h"

namespace {

// The first line of an EDF2ASC export is short; reading a bounded prefix avoids loading an
// hour-long recording only to look at its first bytes.
constexpr std::streamsize kFirstLineLimit = 64 * 1024;

std::string UpperCase(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

/// path with its extension (the text after the last dot of the file name) replaced by extension;
/// unlike ReplaceExtension it keeps the path's own separators and any directory as given.
std::string WithExtension(const std::string& path, const std::string& extension) {
  size_t nameStart = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    if (IsSeparator(path[i])) nameStart = i + 1;
  }
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < nameStart) return path + "." + extension;
  return path.substr(0, dot + 1) + extension;
}

std::string ExtensionOf(const std::string& path) { return LowerCase(SplitPath(path).extension); }

/// A name from inside the header, relative to the header's folder unless it is absolute.
std::string InnerName(const std::string& headerPath, const std::string& value) {
  const std::string native = NormalizeSeparators(value);
  const bool absolute = (!native.empty() && IsSeparator(native[0])) || (native.size() > 1 && native[1] == ':');
  if (absolute) return native;
  const std::string directory = SplitPath(headerPath).directory;
  if (directory.empty()) return native;
  if (directory.back() == Varnix::Platform::kSeparator) return directory + native;
  return directory + Varnix::Platform::kSeparator + native;
}

void Tell(std::string* problem, const std::string& text) {
  if (problem != nullptr && problem->empty()) *problem = text;
}

/// Why path is not usable as what, or empty when it is a regular file.
std::string Unusable(const std::string& path, const std::string& what) {
  const Varnix::Platform::FileStatus st = Varnix::Platform::Stat(path);
  if (!st.exists) return "Missing file: " + path + " (" + what + ")";
  if (st.isDirectory) return "Not a file but a folder: " + path + " (" + what + ")";
  return {};
}

}  // namespace

bool InputCheck::IsFile(const std::string& path) {
  const Varnix::Platform::FileStatus st = Varnix::Platform::Stat(path);
  return st.exists && !st.isDirectory;
}

bool InputCheck::IsBrainVisionName(const std::string& name) {
  const std::string extension = ExtensionOf(name);
  return extension == "eeg" || extension == "vhdr" || extension == "vmrk";
}

std::string InputCheck::WithExistingExtensionCase(const std::string& path) {
  if (Varnix::Platform::Stat(path).exists) return path;
  const std::string extension = SplitPath(path).extension;
  for (const std::string& variant : {LowerCase(extension), UpperCase(extension)}) {
    if (variant == extension) continue;
    const std::string candidate = WithExtension(path, variant);
    if (Varnix::Platform::Stat(candidate).exists) return candidate;
  }
  return path;
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

bool InputCheck::Asc(SynchroParams& params, const std::string& given, std::string* problem) {
  const std::string name = ExtensionOf(given) == "asc" ? WithExistingExtensionCase(given) : given;
  if (const std::string why = Unusable(name, "the EyeLink recording"); !why.empty()) {
    Tell(problem, why);
    return false;
  }
  if (ExtensionOf(name) != "asc" && !FirstLineHasConvertedMark(name)) {
    Tell(problem, "Not an EyeLink ASC export: " + name + " (its first line lacks \"" + kConvertedMark + "\")");
    return false;
  }

  if (!params.extFileName.empty()) {
    if (const std::string why = Unusable(params.extFileName, "the companion .ext file"); !why.empty()) {
      Tell(problem, why);
      return false;
    }
  } else if (IsFile(name + ".ext")) {
    params.extFileName = name + ".ext";
  }
  if (!params.triggersFileName.empty()) {
    if (const std::string why = Unusable(params.triggersFileName, "the trigger names"); !why.empty()) {
      Tell(problem, why);
      return false;
    }
  } else if (IsFile(name + ".trig.txt")) {
    params.triggersFileName = name + ".trig.txt";
  }
  params.ascMatFileName = (params.extFileName.empty() ? name : params.extFileName) + ".mat";
  params.ascFileName = name;
  return true;
}

bool InputCheck::Eeg(SynchroParams& params, const std::string& given, std::string* problem) {
  const std::string named = IsBrainVisionName(given) ? WithExistingExtensionCase(given) : given;
  const std::string role = IsBrainVisionName(named) ? ExtensionOf(named) : "eeg";
  std::string header = role == "vhdr" ? named : WithExistingExtensionCase(WithExtension(named, "vhdr"));
  std::string data = role == "eeg" ? named : std::string();
  std::string markers = role == "vmrk" ? named : std::string();

  std::string dataRole = "the EEG recording's data";
  std::string markerRole = "the EEG recording's markers";
  const std::string headerProblem = Unusable(header, "the EEG recording's header");
  if (headerProblem.empty()) {
    // Every other reader of BrainVision files follows these two names, so a recording renamed
    // on disk keeps working here as it does there.
    const std::string dataName = ReadIniValue("Common Infos", "DataFile=", "", header);
    const std::string markerName = ReadIniValue("Common Infos", "MarkerFile=", "", header);
    if (data.empty() && !dataName.empty()) {
      // Written on Windows, where "S01.eeg" also opens S01.EEG.
      data = WithExistingExtensionCase(InnerName(header, dataName));
      dataRole += ", named by DataFile= in " + header;
    }
    if (markers.empty() && !markerName.empty()) {
      markers = WithExistingExtensionCase(InnerName(header, markerName));
      markerRole += ", named by MarkerFile= in " + header;
    }
  }
  if (data.empty()) data = WithExistingExtensionCase(WithExtension(header, "eeg"));
  if (markers.empty()) markers = WithExistingExtensionCase(WithExtension(header, "vmrk"));

  params.eegFileName = data;
  params.vhdrFileName = header;
  params.vmrkFileName = markers;
  params.eegMatFileName = data + ".mat";
  for (const std::string& why : {Unusable(data, dataRole), headerProblem, Unusable(markers, markerRole)}) {
    if (!why.empty()) {
      Tell(problem, why);
      return false;
    }
  }
  return true;
}
