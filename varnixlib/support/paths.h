#pragma once
// Splitting and joining of paths. Users may type '/' or '\'; both are separators and every path
// built here uses the native one.

#include <string>

struct PathParts {
  std::string directory;  ///< text before the last separator; empty when there is none
  std::string base;       ///< text between the last separator and the last '.' after it
  std::string extension;  ///< text after that '.', empty when the name has none
};

/// Replaces every '/' and '\' by the native separator.
std::string NormalizeSeparators(const std::string& path);
PathParts SplitPath(const std::string& path);
/// directory + separator + base + "." + extension; just base.extension when directory is empty.
std::string MakePath(const std::string& directory, const std::string& base, const std::string& extension);
std::string ReplaceExtension(const std::string& path, const std::string& extension);
std::string BaseName(const std::string& path);
/// path itself when its extension already is extension (in any case), else ReplaceExtension: the
/// header or marker file of a recording named by either its data file or the file itself.
std::string CompanionFile(const std::string& path, const std::string& extension);
bool IsSeparator(char c);
/// The name in ASCII lower case, for the case-insensitive tests of extensions.
std::string LowerCase(std::string name);
