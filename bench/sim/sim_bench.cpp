// bench_sim [DIR [--keep]]: writes the one-hour pair (EEG 64 channels at 1000 Hz float32, binocular gaze
// at 1000 Hz with velocity, 3 segments and a buffer overflow) with tolmera-sim into DIR (default: a
// folder under the system temp folder) and prints the wall time and the bytes written. Without --keep
// the files are removed afterwards.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  const fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "tolmera-bench-sim";
  const bool keep = argc > 2 && std::string(argv[2]) == "--keep";
  const std::string command = std::string("\"") + TOLMERA_SIM_PATH + "\" --out \"" + dir.string() +
                              "\" --name H --duration 3600 --eeg-rate 1000 --channels 64 --format float32"
                              " --gaze-rate 1000 --eyes both --velocity --segments 3 --overflow 3000 > /dev/null";
  const auto start = std::chrono::steady_clock::now();
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "bench_sim: tolmera-sim failed\n");
    return 1;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  uintmax_t bytes = 0;
  for (const char* ext : {".vhdr", ".vmrk", ".eeg", ".asc", ".truth.txt"}) bytes += fs::file_size(dir / ("H" + std::string(ext)));
  std::printf("one-hour pair: %.2f s wall, %.1f MB written (%.0f MB/s), .eeg %.1f MB, .asc %.1f MB\n", seconds,
              bytes / 1e6, bytes / 1e6 / seconds, fs::file_size(dir / "H.eeg") / 1e6, fs::file_size(dir / "H.asc") / 1e6);
  if (!keep) fs::remove_all(dir);
  return 0;
}
