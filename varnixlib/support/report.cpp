#include "varnixlib/support/report.h"

#include <iostream>

namespace {

void Report(const char* word, std::string_view message, std::string_view detail,
            std::string_view sourceFile, uint32_t line) {
  std::cout << '\n' << std::flush;
  std::cout << word << sourceFile << " (" << line << ") " << message << ' ' << detail << '\n'
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
