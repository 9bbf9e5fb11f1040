#pragma once
// How the program ends a run that cannot go on: one line on the standard error stream, the console
// pause, and an exit status.

#include <string_view>

/// The run's codes are negative; the process status is their low byte: -1 -> 255, -2 -> 254,
/// -3 -> 253, -4 -> 252.
int ExitStatus(int code);

/// Writes text and a newline to standard error, pauses, and returns ExitStatus(code) for main.
int Fatal(std::string_view text, int code);
