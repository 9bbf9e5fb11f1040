#include <iostream>

// Placeholder entry point until the run driver lands; it must never claim success.
int main() {
  std::cerr << "tolmera: the run driver is not built yet" << std::endl;
  return 255;
}
