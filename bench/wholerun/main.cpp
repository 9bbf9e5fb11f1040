// Scaling benchmark: tolmera on simulator pairs of several lengths (EEG 64 channels at 1000 Hz
// float32, binocular gaze at 1000 Hz with velocity), each set beside baselines measured in this
// same process run, best of three: `wc -l` of the .asc against the ASC stage alone, `cp` of the
// .eeg and .asc into the output folder against the whole run (the two alternating, each 3 s after
// the other's output was removed), and the input files' size against the run's peak memory. Prints one row per
// length, the cost per hour of recording, and the 4-hour pair's time, processor time and memory
// against the 1-hour pair's, beside the same ratio for `cp`. It only measures; it judges nothing.
//
// Usage: bench_wholerun [--minutes 15,60,240] [--clean] [work directory]
// Each pair is made once in the work directory and reused by later runs of the same length.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/ascstage/ascstagerun.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRounds = 3;
/// Bytes per minute of the EEG file: 64 float32 channels at 1000 Hz.
constexpr double kEegBytesPerMinute = 64.0 * 4 * 1000 * 60;
/// A little above what the simulator writes per minute of binocular 1000 Hz gaze with velocity
/// (about 5.7 MB), to size a pair not made yet.
constexpr double kAscBytesPerMinute = 6.5e6;

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

/// A finished child: exit status, wall time and peak resident memory.
struct ChildRun {
  int status = -1;
  double seconds = 0.0;
  double cpuSeconds = 0.0;  ///< user and system time of the child and its threads
  double userSeconds = 0.0;
  double peakBytes = 0.0;
  double writtenBackBytes = 0.0;  ///< what the system wrote back to disk meanwhile (any process)
};

/// Bytes the system has written back to disk since it started (Linux's /proc/vmstat), or a
/// negative number where that is not known. Once the file cache holds more unwritten data than the
/// system's limit (vm.dirty_background_ratio of the memory), writing a file waits for the disk.
double WrittenBackBytes() {
  std::FILE* f = std::fopen("/proc/vmstat", "r");
  if (f == nullptr) return -1.0;
  char key[64];
  unsigned long long value = 0;
  double bytes = -1.0;
  while (std::fscanf(f, "%63s %llu", key, &value) == 2) {
    if (std::string(key) == "nr_written") bytes = static_cast<double>(value) * static_cast<double>(sysconf(_SC_PAGESIZE));
  }
  std::fclose(f);
  return bytes;
}

/// Runs a program (looked up on PATH when the name has no folder) with its output thrown away,
/// and waits for it. The peak memory is the child's own from wait4, so this process must stay
/// small: Linux carries the forking process's resident peak into the child's figure.
ChildRun Run(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  ChildRun run;
  std::fflush(stdout);  // or the child's freopen would write this process's pending output again
  const double writtenBefore = WrittenBackBytes();
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    if (!freopen("/dev/null", "w", stdout) || !freopen("/dev/null", "r", stdin)) _exit(127);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  if (pid < 0) return run;
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  run.seconds = Seconds(start);
  run.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  run.userSeconds = static_cast<double>(usage.ru_utime.tv_sec) + static_cast<double>(usage.ru_utime.tv_usec) / 1e6;
  run.peakBytes = usage.ru_maxrss * 1024.0;  // kilobytes on Linux
  const double writtenAfter = WrittenBackBytes();
  run.writtenBackBytes = writtenBefore < 0 || writtenAfter < 0 ? -1.0 : writtenAfter - writtenBefore;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

/// Times the ASC stage in a forked child, so that its memory never counts in this process's
/// peak (which would then show in every later child's). Returns a negative time on failure.
double TimeAscStageInChild(const std::string& ascPath) {
  int fds[2];
  if (pipe(fds) != 0) return -1.0;
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    const AscStageRun run = RunAscStage(ascPath);
    const double seconds = run.ok ? run.seconds : -1.0;
    const bool written = write(fds[1], &seconds, sizeof seconds) == static_cast<ssize_t>(sizeof seconds);
    _exit(written ? 0 : 1);
  }
  close(fds[1]);
  double seconds = -1.0;
  if (pid < 0 || read(fds[0], &seconds, sizeof seconds) != static_cast<ssize_t>(sizeof seconds)) seconds = -1.0;
  close(fds[0]);
  if (pid > 0) waitpid(pid, nullptr, 0);
  return seconds;
}

/// Best of the rounds for each measurement of one length.
struct Row {
  int minutes = 0;
  double inputBytes = 0.0;
  double wcSeconds = 1e30;
  double stageSeconds = 1e30;
  double cpSeconds = 1e30;
  double runSeconds = 1e30;
  double runCpuSeconds = 1e30;  ///< of the fastest run
  double runUserSeconds = 1e30;  ///< of the fastest run
  double runWrittenBack = 0.0;   ///< bytes written back to disk during the fastest run
  double cpWrittenBack = 0.0;    ///< and during the fastest copy
  double peakBytes = 0.0;  ///< the largest of the rounds: memory has no "lucky" run to prefer
};

bool ParseMinutes(const std::string& list, std::vector<int>& minutes) {
  minutes.clear();
  std::stringstream in(list);
  std::string item;
  while (std::getline(in, item, ',')) {
    char* end = nullptr;
    const long value = std::strtol(item.c_str(), &end, 10);
    if (item.empty() || *end != '\0' || value <= 0 || value > 24 * 60) return false;
    minutes.push_back(static_cast<int>(value));
  }
  return !minutes.empty();
}

/// Makes the pair unless it is already in the work folder; false when the simulator failed.
bool MakePair(const fs::path& dir, const std::string& name, int minutes) {
  for (const char* ext : {".vhdr", ".vmrk", ".eeg", ".asc"}) {
    if (!fs::exists(dir / (name + ext))) {
      std::printf("making the %d-minute pair in %s ...\n", minutes, dir.string().c_str());
      std::fflush(stdout);
      return Run({TOLMERA_SIM_PATH, "--out", dir.string(), "--name", name, "--duration",
                  std::to_string(minutes * 60), "--eeg-rate", "1000", "--channels", "64", "--format",
                  "float32", "--gaze-rate", "1000", "--eyes", "both", "--velocity"})
                 .status == 0;
    }
  }
  return true;
}

/// Measures one length; false (after saying why) when a step failed.
bool Measure(const fs::path& dir, Row& row) {
  const std::string name = "H" + std::to_string(row.minutes);
  const fs::path eeg = dir / (name + ".eeg");
  const fs::path asc = dir / (name + ".asc");
  const fs::path out = dir / "out";
  row.inputBytes = static_cast<double>(fs::file_size(eeg) + fs::file_size(asc));
  for (int round = 0; round < kRounds; ++round) {
    const ChildRun wc = Run({"wc", "-l", asc.string()});
    const double stage = TimeAscStageInChild(asc.string());
    if (wc.status != 0 || stage < 0) {
      std::fprintf(stderr, "%d minutes: a step failed (wc -l %d, ASC stage %s)\n", row.minutes, wc.status,
                   stage < 0 ? "failed" : "ok");
      return false;
    }
    row.wcSeconds = std::min(row.wcSeconds, wc.seconds);
    row.stageSeconds = std::min(row.stageSeconds, stage);
  }
  // The copy and the run both fill the system's file cache with new pages, gigabytes of them for
  // the long pairs. On a virtual machine whose host takes back the guest's freed memory after a
  // while (as the 2-core machine of the figures does: writing 4 GB took 0.9 s right after 4 GB were
  // freed, 9.8 s after a 20 s pause), pages freed a moment ago cost several times less than pages
  // long free. So the two alternate, each starting 3 s after the other's output was removed: each
  // follows the same kind of step, and neither is measured on memory the other never had.
  const auto settle = [&out] {
    fs::remove_all(out);
    fs::create_directories(out);
    std::this_thread::sleep_for(std::chrono::seconds(3));
  };
  for (int round = 0; round < kRounds; ++round) {
    settle();
    const ChildRun merge = Run({TOLMERA_BINARY_PATH, eeg.string(), asc.string(), "-h", out.string()});
    settle();
    const ChildRun cp = Run({"cp", eeg.string(), asc.string(), out.string()});
    if (merge.status != 0 || cp.status != 0) {
      std::fprintf(stderr, "%d minutes: a step failed (tolmera %d, cp %d)\n", row.minutes, merge.status, cp.status);
      fs::remove_all(out);
      return false;
    }
    if (merge.seconds < row.runSeconds) {
      row.runCpuSeconds = merge.cpuSeconds;
      row.runUserSeconds = merge.userSeconds;
      row.runWrittenBack = merge.writtenBackBytes;
    }
    if (cp.seconds < row.cpSeconds) row.cpWrittenBack = cp.writtenBackBytes;
    row.runSeconds = std::min(row.runSeconds, merge.seconds);
    row.cpSeconds = std::min(row.cpSeconds, cp.seconds);
    row.peakBytes = std::max(row.peakBytes, merge.peakBytes);
  }
  fs::remove_all(out);
  return true;
}

void PrintRow(const Row& r) {
  const double hours = r.minutes / 60.0;
  std::printf("%7d %9.0f %8.2f %8.2f %6.2f %8.2f %8.2f %6.2f %9.0f %6.2f %9.1f %9.0f\n", r.minutes,
              r.inputBytes / 1e6, r.wcSeconds, r.stageSeconds, r.stageSeconds / r.wcSeconds, r.cpSeconds,
              r.runSeconds, r.runSeconds / r.cpSeconds, r.peakBytes / 1e6, r.peakBytes / r.inputBytes,
              r.runSeconds / hours, r.peakBytes / 1e6 / hours);
}

}  // namespace

int main(int argc, char** argv) {
  fs::path dir = fs::temp_directory_path() / "tolmera-bench-wholerun";
  std::vector<int> lengths{15, 60, 240};
  bool clean = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--minutes" && i + 1 < argc && ParseMinutes(argv[i + 1], lengths)) {
      ++i;
    } else if (arg == "--clean") {
      clean = true;
    } else if (!arg.empty() && arg[0] != '-') {
      dir = arg;
    } else {
      std::fprintf(stderr, "usage: bench_wholerun [--minutes 15,60,240] [--clean] [work directory]\n");
      return 2;
    }
  }
  fs::create_directories(dir);

  std::printf("cores: %u; each figure the best of %d rounds (peak memory the largest), baselines from this run\n",
              std::thread::hardware_concurrency(), kRounds);
  std::map<int, Row> rows;
  for (const int minutes : lengths) {
    const std::string name = "H" + std::to_string(minutes);
    const bool made = fs::exists(dir / (name + ".eeg")) && fs::exists(dir / (name + ".asc"));
    const double inputs = made ? static_cast<double>(fs::file_size(dir / (name + ".eeg")) +
                                                     fs::file_size(dir / (name + ".asc")))
                               : minutes * (kEegBytesPerMinute + kAscBytesPerMinute);
    // The merged file is a little larger than the .eeg, and the copy holds both inputs: one
    // more input's worth with a half for margin, as the outputs are removed between steps.
    const double needed = (made ? 0.0 : inputs) + 1.5 * inputs;
    std::error_code error;
    const fs::space_info space = fs::space(dir, error);
    if (error || static_cast<double>(space.available) < needed) {
      std::printf("%d minutes skipped: needs about %.0f MB free in %s, %s\n", minutes, needed / 1e6,
                  dir.string().c_str(),
                  error ? "free space unknown" : (std::to_string(space.available / 1000000) + " MB free").c_str());
      continue;
    }
    if (!MakePair(dir, name, minutes)) {
      std::fprintf(stderr, "%d minutes: the simulator failed\n", minutes);
      continue;
    }
    Row row;
    row.minutes = minutes;
    if (Measure(dir, row)) rows[minutes] = row;
    if (clean) {
      for (const char* ext : {".vhdr", ".vmrk", ".eeg", ".asc", ".truth.txt"}) fs::remove(dir / (name + ext));
    }
  }

  std::printf("\n%7s %9s %8s %8s %6s %8s %8s %6s %9s %6s %9s %9s\n", "minutes", "input MB", "wc -l s",
              "ASC s", "/wc", "cp s", "run s", "/cp", "peak MB", "/input", "run s/h", "peak MB/h");
  for (const auto& [minutes, row] : rows) PrintRow(row);
  // A long run may be the first to write more than the file cache holds unwritten: it then waits
  // for the disk, and so does the copy. Shown so that such a row is not read as the program's cost.
  std::printf("written back to disk while timed, MB (fastest run / fastest cp):");
  for (const auto& [minutes, row] : rows) {
    std::printf(" %d min %.0f / %.0f;", minutes, row.runWrittenBack / 1e6, row.cpWrittenBack / 1e6);
  }
  std::printf("\n");
  if (rows.count(60) && rows.count(240)) {
    std::printf("4 h / 1 h: time %.2f x (cp %.2f x; the run's processor time %.2f x, user time %.2f x), "
                "peak memory %.2f x\n",
                rows[240].runSeconds / rows[60].runSeconds, rows[240].cpSeconds / rows[60].cpSeconds,
                rows[240].runCpuSeconds / rows[60].runCpuSeconds, rows[240].runUserSeconds / rows[60].runUserSeconds,
                rows[240].peakBytes / rows[60].peakBytes);
  }
  std::printf("aims: ASC/wc <= 8, run/cp <= 3, peak/input <= 1.5, 4 h / 1 h <= 4.4 (time and memory)\n");
  return rows.size() == lengths.size() ? 0 : 1;
}
