#include "varnixlib/support/paths.h"

#include "varnixlib/support/platform.h"

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

std::string LowerCase(std::string name) {
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return name;
}

std::string NormalizeSeparators(const std::string& path) {
  std::string out = path;
  for (char& c : out) {
    if (IsSeparator(c)) c = Varnix::Platform::kSeparator;
  }
  return out;
}

PathParts SplitPath(const std::string& path) {
  const std::string p = NormalizeSeparators(path);
  PathParts parts;
  const size_t sep = p.rfind(Varnix::Platform::kSeparator);
  const size_t nameStart = sep == std::string::npos ? 0 : sep + 1;
  // A file in the root keeps the root as its directory.
  if (sep != std::string::npos) parts.directory = p.substr(0, sep == 0 ? 1 : sep);
  // Only a dot inside the last component starts an extension: "./S01" has none.
  const size_t dot = p.rfind('.');
  if (dot == std::string::npos || dot < nameStart) {
    parts.base = p.substr(nameStart);
  } else {
    parts.base = p.substr(nameStart, dot - nameStart);
    parts.extension = p.substr(dot + 1);
  }
  return parts;
}

std::string MakePath(const std::string& directory, const std::string& base, const std::string& extension) {
  std::string out = NormalizeSeparators(directory);
  if (!out.empty() && out.back() != Varnix::Platform::kSeparator) out += Varnix::Platform::kSeparator;
  out += base;
  out += '.';
  out += extension;
  return out;
}

std::string ReplaceExtension(const std::string& path, const std::string& extension) {
  const PathParts parts = SplitPath(path);
  return MakePath(parts.directory, parts.base, extension);
}

std::string BaseName(const std::string& path) { return SplitPath(path).base; }

std::string CompanionFile(const std::string& path, const std::string& extension) {
  if (LowerCase(SplitPath(path).extension) == LowerCase(extension)) return NormalizeSeparators(path);
  return ReplaceExtension(path, extension);
}
