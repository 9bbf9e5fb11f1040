// Whole-run benchmark: tolmera on a one-hour simulator pair (EEG 64 channels at 1000 Hz float32,
// binocular gaze at 1000 Hz with velocity), beside a plain copy of its .eeg and .asc files into
// the output directory, both measured in this one run. Prints wall times, their ratio and the
// run's peak memory against the input files' total size.
//
// Usage: bench_wholerun [work directory] [minutes]
// The pair is made once in the work directory and reused by later runs of the same length.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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

/// Read-write copy with a 1 MiB buffer, as a plain copy command does it.
bool Copy(const fs::path& from, const fs::path& to) {
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary | std::ios::trunc);
  std::vector<char> buffer(1 << 20);
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    out.write(buffer.data(), in.gcount());
  }
  out.flush();
  return static_cast<bool>(out);
}

/// Runs the program with its arguments and waits; returns its exit status and its peak resident
/// memory in bytes.
int Run(const std::vector<std::string>& args, long& peakBytes, bool quiet) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    if (quiet) {
      if (!freopen("/dev/null", "w", stdout)) _exit(127);
    }
    if (!freopen("/dev/null", "r", stdin)) _exit(127);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  peakBytes = usage.ru_maxrss * 1024L;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "tolmera-bench-wholerun";
  const int minutes = argc > 2 ? std::atoi(argv[2]) : 60;
  const std::string name = "H" + std::to_string(minutes);
  fs::create_directories(dir);
  const fs::path eeg = dir / (name + ".eeg");
  const fs::path asc = dir / (name + ".asc");
  if (!fs::exists(eeg) || !fs::exists(asc)) {
    std::printf("making the %d-minute pair in %s ...\n", minutes, dir.c_str());
    long peak = 0;
    const int rc = Run({TOLMERA_SIM_PATH, "--out", dir.string(), "--name", name, "--duration",
                        std::to_string(minutes * 60), "--eeg-rate", "1000", "--channels", "64",
                        "--format", "float32", "--gaze-rate", "1000", "--eyes", "both",
                        "--velocity"},
                       peak, true);
    if (rc != 0) {
      std::fprintf(stderr, "the simulator failed (%d)\n", rc);
      return 1;
    }
  }
  const fs::path out = dir / "out";
  fs::remove_all(out);
  fs::create_directories(out);
  const double inputBytes = static_cast<double>(fs::file_size(eeg) + fs::file_size(asc));

  auto t0 = std::chrono::steady_clock::now();
  if (!Copy(eeg, out / eeg.filename()) || !Copy(asc, out / asc.filename())) {
    std::fprintf(stderr, "copy failed\n");
    return 1;
  }
  const double copySeconds = Seconds(t0);
  fs::remove(out / eeg.filename());
  fs::remove(out / asc.filename());

  long peak = 0;
  t0 = std::chrono::steady_clock::now();
  const int rc = Run({TOLMERA_BINARY_PATH, eeg.string(), asc.string(), "-h", out.string()}, peak, true);
  const double runSeconds = Seconds(t0);
  if (rc != 0) {
    std::fprintf(stderr, "tolmera failed (exit %d)\n", rc);
    return 1;
  }
  uint64_t merged = 0;
  for (const auto& entry : fs::directory_iterator(out)) {
    if (entry.path().extension() == ".eeg") merged = fs::file_size(entry.path());
  }
  std::printf("input files          : %.1f MB (.eeg %.1f MB, .asc %.1f MB)\n", inputBytes / 1e6,
              fs::file_size(eeg) / 1e6, fs::file_size(asc) / 1e6);
  std::printf("merged data file     : %.1f MB\n", merged / 1e6);
  std::printf("copy of the inputs   : %.2f s\n", copySeconds);
  std::printf("whole run            : %.2f s  (%.2f x the copy; aim <= 3)\n", runSeconds,
              runSeconds / copySeconds);
  std::printf("peak memory of run   : %.1f MB  (%.2f x the inputs; aim <= 1.5)\n", peak / 1e6,
              peak / inputBytes);
  return 0;
}
