#include <string>
#include <vector>

#include "driver/rundriver.h"
#include "varnixlib/support/platform.h"

int main(int argc, char** argv) {
  // A run stopped by the user or the system must not leave a half-written merged file behind.
  Varnix::Platform::RemoveTemporariesOnInterrupt();
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
  RunDriver driver;
  return driver.Run(arguments);
}
