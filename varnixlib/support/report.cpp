#include "varnixlib/support/report.h"

#include <iostream>

namespace {

/// The source's path inside the project: compilers without a prefix map give the build machine's
/// absolute path, which says nothing to a reader of the line elsewhere.
std::string_view ProjectPath(std::string_view sourceFile) {
#ifdef TOLMERA_SOURCE_ROOT
  constexpr std::string_view kRoot = TOLMERA_SOURCE_ROOT;
  if (sourceFile.substr(0, kRoot.size()) == kRoot) sourceFile.remove_prefix(kRoot.size());
#endif
  return sourceFile;
}

void Report(const char* word, std::string_view message, std::string_view detail,
            std::string_view sourceFile, uint32_t line) {
  std::cout << '\n' << std::flush;
  std::cout << word << ProjectPath(sourceFile) << " (" << line << ") " << message << ' ' << detail << '\n'
            << std::flush;
}

}  // namespace

bool Error(std::string_view message, std::string_view detail, std::string_view sourceFile,
           uint32_t line) {
  Report("ERROR in : ", message, detail, sourceFile, line);
  return false;
}

bool Error(std::string_view message, std::string_view detail, ReportLocation where) {
  return Error(message, detail, where.file_name(), where.line());
}

void Warning(std::string_view message, std::string_view detail, std::string_view sourceFile,
             uint32_t line) {
  Report("WARNING in : ", message, detail, sourceFile, line);
}

void Warning(std::string_view message, std::string_view detail, ReportLocation where) {
  Warning(message, detail, where.file_name(), where.line());
}
