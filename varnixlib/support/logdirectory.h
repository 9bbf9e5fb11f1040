#pragma once

#include <string>

/// The log directory with a trailing separator; the statistics files are written into it.
/// Empty until the driver has prepared the output directory.
extern std::string gLogDirectory;
