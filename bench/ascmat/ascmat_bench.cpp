// bench_ascmat [folder]: makes the one-hour simulated pair (1000 Hz gaze, both eyes, velocity), runs
// tolmera on it without and with -m (best of three each), and writes the MAT file's size once more
// as plain bytes (best of three), so the cost of -m can be set against the cost of its bytes.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

/// Best wall time of three runs of the command.
double BestOfThree(const std::string& command) {
  double best = 1e30;
  for (int i = 0; i < 3; ++i) {
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) == -1) return -1.0;
    best = std::min(best, Seconds(start));
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "tolmera-bench-ascmat";
  fs::create_directories(dir);
  const std::string sim = std::string("\"") + TOLMERA_SIM_PATH + "\" --out \"" + dir.string() +
                          "\" --name H --duration 3600 --gaze-rate 1000 --eyes both --velocity --structure > /dev/null";
  if (std::system(sim.c_str()) != 0) {
    std::fprintf(stderr, "bench_ascmat: tolmera-sim failed\n");
    return 1;
  }
  const std::string run = "cd \"" + dir.string() + "\" && \"" + TOLMERA_BINARY_PATH + "\" H.asc -p";
  const double without = BestOfThree(run + " > /dev/null 2>&1");
  const double with = BestOfThree(run + " -m > /dev/null 2>&1");
  const fs::path mat = dir / "H.asc.mat";
  if (!fs::exists(mat)) {
    std::fprintf(stderr, "bench_ascmat: no MAT file written\n");
    return 1;
  }
  const uintmax_t bytes = fs::file_size(mat);

  // The same number of bytes written once, in 8 MiB blocks, as the reference cost (best of three).
  std::vector<char> block(8u << 20, 'x');
  double plain = 1e30;
  for (int i = 0; i < 3; ++i) {
    fs::remove(dir / "plain.bin");
    const auto start = std::chrono::steady_clock::now();
    {
      std::ofstream out(dir / "plain.bin", std::ios::binary | std::ios::trunc);
      for (uintmax_t left = bytes; left > 0;) {
        const size_t n = static_cast<size_t>(std::min<uintmax_t>(left, block.size()));
        out.write(block.data(), static_cast<std::streamsize>(n));
        left -= n;
      }
    }
    plain = std::min(plain, Seconds(start));
  }
  fs::remove(dir / "plain.bin");

  std::printf("asc file            %.1f MiB\n", fs::file_size(dir / "H.asc") / 1048576.0);
  std::printf("MAT file            %.1f MiB\n", bytes / 1048576.0);
  std::printf("run without -m      %.3f s\n", without);
  std::printf("run with -m         %.3f s\n", with);
  std::printf("added by -m         %.3f s\n", with - without);
  std::printf("writing the bytes   %.3f s\n", plain);
  return 0;
}
