#pragma once
// One uniform console line for every failure and warning of the library.

#include <cstdint>
#include <source_location>
#include <string_view>

#if defined(__cpp_lib_source_location)
using ReportLocation = std::source_location;
#else
/// The file and line of the calling statement, for compilers whose library lacks
/// std::source_location (clang 14 with libstdc++, used for the fuzz build).
struct ReportLocation {
  static constexpr ReportLocation current(const char* file = __builtin_FILE(),
                                          uint32_t line = __builtin_LINE()) noexcept {
    return ReportLocation{file, line};
  }
  constexpr const char* file_name() const noexcept { return myFile; }
  constexpr uint32_t line() const noexcept { return myLine; }
  const char* myFile;
  uint32_t myLine;
};
#endif

/// Prints "ERROR in : <source> (<line>) <message> <detail>" after an empty line; always returns
/// false so a failing operation can report and return in one statement.
bool Error(std::string_view message, std::string_view detail, std::string_view sourceFile,
           uint32_t line);
/// Same with the calling statement's own file and line.
bool Error(std::string_view message, std::string_view detail = {},
           ReportLocation where = ReportLocation::current());

/// As Error, with "WARNING in : "; does not change the control flow.
void Warning(std::string_view message, std::string_view detail, std::string_view sourceFile,
             uint32_t line);
void Warning(std::string_view message, std::string_view detail = {},
             ReportLocation where = ReportLocation::current());
