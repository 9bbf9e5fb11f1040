#include "varnixlib/logdirectory.h"

std::string gLogDirectory;
