#pragma once
// One uniform console line for every failure and warning of the library.

#include <cstdint>
#include <source_location>
#include <string_view>

/// Prints "ERROR in : <source> (<line>) <message> <detail>" after an empty line; always returns
/// false so a failing operation can report and return in one statement.
bool Error(std::string_view message, std::string_view detail, std::string_view sourceFile,
           uint32_t line);
/// Same with the calling statement's own file and line.
bool Error(std::string_view message, std::string_view detail = {},
           std::source_location where = std::source_location::current());

/// As Error, with "WARNING in : "; does not change the control flow.
void Warning(std::string_view message, std::string_view detail, std::string_view sourceFile,
             uint32_t line);
void Warning(std::string_view message, std::string_view detail = {},
             std::source_location where = std::source_location::current());
