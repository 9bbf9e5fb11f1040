#pragma once

/// The compiler's date of the build ("Oct 28 2021"), shown in the banner.
const char* BuildDate();
