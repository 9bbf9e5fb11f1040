#include "varnixlib/asc/ascheader.h"

