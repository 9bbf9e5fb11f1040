#include "driver/nameresolver.h"

#include <algorithm>

#include "varnixlib/support/inputcheck.h"
#include "varnixlib/support/paths.h"
#include "varnixlib/support/platform.h"

bool NameResolver::HasAscOrEegExtension(const std::string& name) {
  if (name.size() > 5) {
    const std::string tail = LowerCase(name.substr(name.size() - 5));
    if (tail == ".vhdr" || tail == ".vmrk") return true;
  }
  if (name.size() <= 4) return false;
  const std::string tail = LowerCase(name.substr(name.size() - 4));
  return tail == ".asc" || tail == ".eeg";
}

std::string NameResolver::CompleteOneName(const std::string& name) {
  // Only the file name is searched: a directory such as "exp.asc.files" must not change.
  size_t nameStart = 0;
  for (size_t i = 0; i < name.size(); ++i) {
    if (IsSeparator(name[i])) nameStart = i + 1;
  }
  const std::string lower = LowerCase(name);
  std::string completed = name;
  // The header or marker file names the recording as well as its data file does.
  if (lower.size() > nameStart + 5) {
    const std::string tail = lower.substr(lower.size() - 5);
    if (tail == ".vhdr" || tail == ".vmrk") return completed.replace(lower.size() - 5, 5, ".asc");
  }
  const size_t asc = lower.find(".asc", nameStart);
  if (asc != std::string::npos) return completed.replace(asc, 4, ".eeg");
  const size_t eeg = lower.find(".eeg", nameStart);
  if (eeg != std::string::npos) return completed.replace(eeg, 4, ".asc");
  return completed;
}

std::string NameResolver::MakeRelative(const std::string& name) {
  const bool hasSeparator = std::any_of(name.begin(), name.end(), IsSeparator);
  const std::string native = NormalizeSeparators(name);
  if (hasSeparator) return native;
  return std::string(".") + Varnix::Platform::kSeparator + native;
}

bool NameResolver::AssignRoles(SynchroParams& params, const std::string& a, const std::string& b,
                              std::string* firstProblem, std::string* secondProblem) {
  // The ASC check picks up companion files as it goes; a failed try must not hand them on to the
  // other assignment.
  const SynchroParams before = params;
  if (InputCheck::Asc(params, a, firstProblem) && InputCheck::Eeg(params, b, firstProblem)) return true;
  params = before;
  if (InputCheck::Asc(params, b, secondProblem) && InputCheck::Eeg(params, a, secondProblem)) return true;
  params = before;
  return false;
}

NameResolver::Result NameResolver::Resolve(SynchroParams& params, const std::string& nameA,
                                           const std::string& nameB, std::string* problem) {
  if (!HasAscOrEegExtension(nameA) && !HasAscOrEegExtension(nameB)) return Result::NoAscOrEegName;
  std::string a = nameA;
  const std::string& b = nameB;
  if (a == b) a = CompleteOneName(a);
  std::string first;
  std::string second;
  if (!AssignRoles(params, MakeRelative(a), MakeRelative(b), &first, &second)) {
    // Both tries failed; the one worth naming is the try whose names fit their roles (the
    // other one only says that an EEG file is no ASC file).
    if (problem != nullptr) {
      *problem = InputCheck::IsBrainVisionName(a) && !InputCheck::IsBrainVisionName(b) ? second : first;
    }
    return Result::FilesNotFound;
  }
  return Result::Resolved;
}
