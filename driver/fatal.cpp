#include "driver/fatal.h"

#include <iostream>

#include "varnixlib/support/platform.h"

int ExitStatus(int code) { return code & 0xFF; }

int Fatal(std::string_view text, int code) {
  std::cerr << text << std::endl;
  Varnix::Platform::Pause();
  return ExitStatus(code);
}
