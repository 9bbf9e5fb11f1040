#include "varnixlib/support/logdirectory.h"

std::string gLogDirectory;
