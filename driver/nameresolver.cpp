#include "driver/nameresolver.h"

#include <algorithm>

#include "varnixlib/support/inputcheck.h"
#include "varnixlib/support/paths.h"
#include "varnixlib/support/platform.h"

bool NameResolver::HasAscOrEegExtension(const std::string& name) {
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

bool NameResolver::AssignRoles(SynchroParams& params, const std::string& a, const std::string& b) {
  // The ASC check picks up companion files as it goes; a failed try must not hand them on to the
  // other assignment.
  const SynchroParams before = params;
  if (InputCheck::Asc(params, a) && InputCheck::Eeg(params, b)) return true;
  params = before;
  if (InputCheck::Asc(params, b) && InputCheck::Eeg(params, a)) return true;
  params = before;
  return false;
}

NameResolver::Result NameResolver::Resolve(SynchroParams& params, const std::string& nameA,
                                           const std::string& nameB) {
  if (!HasAscOrEegExtension(nameA) && !HasAscOrEegExtension(nameB)) return Result::NoAscOrEegName;
  std::string a = nameA;
  const std::string& b = nameB;
  if (a == b) a = CompleteOneName(a);
  if (!AssignRoles(params, MakeRelative(a), MakeRelative(b))) return Result::FilesNotFound;
  return Result::Resolved;
}
