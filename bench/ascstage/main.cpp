// Benchmark of the ASC stage. Usage: tolmera-bench-asc [file.asc]
// Without a file it asks the simulator for a one-hour binocular 1000 Hz recording with velocity.
// Prints, from one run, the time of a plain line count of the file (read + memchr for line feeds),
// the time of the whole ASC stage on it, and the stage's peak memory against the file size.

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include "bench/ascstage/ascstagerun.h"
#include "varnixlib/support/file.h"
#include "varnixlib/support/platform.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double PeakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;  // kilobytes on Linux
}

/// Reads the file in small pieces so the page cache holds it, without growing this process.
void Warm(const std::string& path) {
  Varnix::File file(Varnix::Platform::OpenForReading(path));
  std::unique_ptr<char[]> buffer(new char[1 << 20]);
  while (Varnix::Platform::ReadFully(file.Descriptor(), buffer.get(), 1 << 20) == (1u << 20)) {
  }
}

/// The yardstick: read the whole file into memory as the stage does, and count its line feeds.
uint64_t LineCount(const std::string& path, uint64_t size) {
  std::unique_ptr<char[]> text(new char[size + 1]);
  Varnix::File file(Varnix::Platform::OpenForReading(path));
  Varnix::Platform::ReadFully(file.Descriptor(), text.get(), size);
  uint64_t lines = 0;
  const char* const end = text.get() + size;
  for (const char* p = text.get(); (p = static_cast<const char*>(std::memchr(p, '\n', end - p))); ++p) ++lines;
  return lines;
}

}  // namespace

int main(int argc, char** argv) {
  std::string path;
  if (argc > 1) {
    path = argv[1];
  } else {
#ifdef TOLMERA_SIM_PATH
    const std::string dir = (std::filesystem::temp_directory_path() / "tolmera-bench-asc").string();
    path = dir + "/bench.asc";
    if (!std::filesystem::exists(path)) {
      const std::string command = std::string(TOLMERA_SIM_PATH) + " --out " + dir +
                                  " --name bench --duration 3600 --gaze-rate 1000 --eyes both --velocity"
                                  " --structure --blocks 4 > /dev/null";
      std::cout << "Generating " << path << " ..." << std::endl;
      if (std::system(command.c_str()) != 0) {
        std::cerr << "the simulator failed: " << command << '\n';
        return 1;
      }
    }
#else
    std::cerr << "usage: tolmera-bench-asc file.asc (built without the simulator)\n";
    return 1;
#endif
  }
  const int64_t size = Varnix::File::Size(path);
  if (size <= 0) {
    std::cerr << "no such file: " << path << '\n';
    return 1;
  }
  Warm(path);

  const double before = PeakMegabytes();
  const AscStageRun run = RunAscStage(path);
  if (!run.ok) {
    std::cerr << "the ASC stage failed on " << path << '\n';
    return 1;
  }
  const double stage = run.seconds;
  const double peak = PeakMegabytes();

  double count = 1e30;
  uint64_t lines = 0;
  for (int k = 0; k < 3; ++k) {
    const auto start = std::chrono::steady_clock::now();
    lines = LineCount(path, static_cast<uint64_t>(size));
    count = std::min(count, Seconds(start));
  }

  const double megabytes = size / 1048576.0;
  std::printf("file            : %s\n", path.c_str());
  std::printf("size            : %.1f MB, %llu lines\n", megabytes, static_cast<unsigned long long>(lines));
  std::printf("parsed          : %u samples x %u channels, %zu triggers, %zu events\n", run.samples, run.channels,
              run.triggers, run.events);
  std::printf("line count      : %.3f s (read + memchr, best of 3)\n", count);
  std::printf("ASC stage       : %.3f s\n", stage);
  std::printf("stage / count   : %.2f (aim: 8 or less)\n", stage / count);
  std::printf("peak memory     : %.1f MB (%.1f MB before the stage)\n", peak, before);
  std::printf("peak / file     : %.2f (aim: 2.5 or less)\n", peak / megabytes);
  return 0;
}
