// bench_sim [DIR [--keep]]: writes the one-hour pair (EEG 64 channels at 1000 Hz float32, binocular gaze
// at 1000 Hz with velocity, 3 segments and a buffer overflow) with tolmera-sim into DIR (default: a
// folder under the system temp folder), prints the wall time and the bytes written, then times the
// EEG stage (Brainamp::Process) reading the recording back. Without --keep the files are removed
// afterwards.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "varnixlib/brainvision/brainamp.h"
#include "varnixlib/synchroparams.h"

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

  SynchroParams params;
  params.eegFileName = (dir / "H.eeg").string();
  Brainamp eeg;
  const auto readStart = std::chrono::steady_clock::now();
  const bool read = eeg.Process<float>(params);
  const double readSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - readStart).count();
  std::printf("EEG stage reading it back: %s in %.2f s, %u samples on the gap-filled line, %zu segments\n",
              read ? "ok" : "FAILED", readSeconds, eeg.myVhdr.nbOfSamples, eeg.myVmrk.segments.size());
  if (!keep) fs::remove_all(dir);
  return read ? 0 : 1;
}
