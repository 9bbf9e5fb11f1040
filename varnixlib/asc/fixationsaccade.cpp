#include "varnixlib/asc/fixationsaccade.h"


