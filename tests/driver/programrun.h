#pragma once
// Runs the built tolmera program as a user would, with standard input closed off.

#include <string>
#include <vector>

struct ProgramRun {
  int status = -1;     ///< exit status, -1 when the program did not exit normally
  std::string out;     ///< standard output
  std::string err;     ///< standard error
};

/// Runs tolmera in workingDirectory with the arguments; standard input is /dev/null.
ProgramRun RunTolmera(const std::string& workingDirectory, const std::vector<std::string>& arguments);
