#include "driver/builddate.h"

const char* BuildDate() { return __DATE__; }
