// Accuracy benchmark: tolmera on random simulator pairs, measured against the simulator's ground
// truth. Prints figures and never judges them.
//
// Usage: bench_accuracy [--pairs N] [--extra "OPTIONS"] [--seed S] [--mismatch M] [--seconds S]
//                       [--ms-stamps] [--gaze-rate R] [--half-ms] [--work DIR] [--keep] [--verbose]
//   --pairs N      random pairs (default 30): drift uniform in +-50 ppm, 2 to 8 segments whose dates
//                  are off by up to +-3 ms, gaze at 250/500/1000 Hz, int16/float32/float64, with and
//                  without a buffer overflow, INPUT lines on the tracker's sample grid
//   --extra "OPT"  tolmera options to compare: every pair then runs without and with them
//   --seed S       seed of the pairs' parameters (default 1); the same seed gives the same pairs
//   --seconds S    sessions last S to 2·S seconds (default 60)
//   --ms-stamps    the tracker stamps its INPUT lines to the next ms instead of its sample grid
//   --gaze-rate R  every pair's gaze at R Hz (250, 500, 1000 or 2000) instead of a drawn rate;
//                  --half-ms writes the 2000 Hz timestamps with a .5 on every other sample
//   --mismatch M   pairs made of two different sessions (default 20), to count refusals
//   --work DIR     where the run's scratch folder goes (default: the system temp folder); --keep
//                  leaves that folder with every pair's files
//   --verbose      print every pair's simulator options
//
// Every pair runs `tolmera EEG ASC -h OUT` (toward the gaze) and again with -e (toward the EEG).

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tools/sim/mergedrecording.h"
#include "tools/sim/simrandom.h"
#include "tools/sim/truthfile.h"

namespace fs = std::filesystem;

namespace {

/// Runs a program with its arguments, its console output into log; returns its exit status (128 + the
/// signal when a signal ended it).
int Run(const std::vector<std::string>& args, const std::string& log) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int in = open("/dev/null", O_RDONLY);
    if (out < 0 || in < 0) _exit(127);
    dup2(out, 1);
    dup2(out, 2);
    dup2(in, 0);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) < 0) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

std::string Join(const std::vector<std::string>& words) {
  std::string s;
  for (const std::string& w : words) s += (s.empty() ? "" : " ") + w;
  return s;
}

std::string Fixed(double v, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, v);
  return text;
}

/// One random pair's simulator options.
struct Pair {
  int id = 0;
  std::vector<std::string> sim;
  int gazeRate = 500;
};

/// The shape of the sessions drawn: how long, and how the tracker stamps its triggers.
struct Shape {
  int seconds = 60;       ///< sessions last from this to twice as long
  bool trackerGrid = true;  ///< INPUT lines on the tracker's sample grid, else to the next ms
  int gazeRate = 0;         ///< every pair's gaze rate, or 0: drawn
  bool halfMs = false;      ///< 2000 Hz timestamps with a .5 fraction instead of repeated ms
};

Pair DrawPair(SimRandom& rng, int id, const Shape& shape) {
  static const int kGaze[] = {250, 500, 1000};
  static const char* const kFormat[] = {"int16", "float32", "float64"};
  static const char* const kEyes[] = {"both", "left", "right"};
  Pair p;
  p.id = id;
  p.gazeRate = kGaze[rng.Below(3)];
  // Drawn all the same, so that a fixed rate leaves every other draw of the seed as it was.
  if (shape.gazeRate > 0) p.gazeRate = shape.gazeRate;
  const int segments = 2 + static_cast<int>(rng.Below(7));
  const int duration = shape.seconds + static_cast<int>(rng.Below(static_cast<uint64_t>(shape.seconds) + 1));
  p.sim = {"--seed", std::to_string(1000 + rng.Below(1000000)), "--duration", std::to_string(duration),
           "--drift", Fixed(rng.Uniform(-50.0, 50.0), 2), "--segments", std::to_string(segments),
           "--date-error", "3", "--gaze-rate", std::to_string(p.gazeRate), "--format", kFormat[rng.Below(3)],
           "--eyes", kEyes[rng.Below(3)], "--eeg-rate", rng.Below(2) == 0 ? "500" : "1000"};
  if (shape.trackerGrid) p.sim.push_back("--tracker-grid");
  if (shape.halfMs && p.gazeRate == 2000) p.sim.push_back("--half-ms-timestamps");
  if (id % 2 == 1) {
    // Anywhere but the recording's first and last seconds; a draw that lands on a pause is redrawn.
    p.sim.insert(p.sim.end(), {"--overflow", std::to_string(500 + rng.Below(1501)), "--overflow-at",
                               Fixed(rng.Uniform(3.0, duration - 3.0), 1)});
  }
  return p;
}

/// The merged recording's figures against the truth.
struct Figures {
  bool ran = false;
  int exitCode = -1;
  uint64_t valid = 0, withinBound = 0;
  double largest = 0.0, sumAbs = 0.0;  ///< output samples
  int laterSegments = 0;               ///< later segments measured (all later ones when the run failed)
  int unmeasured = 0;                  ///< later segments with too few valid frames to measure
  int segmentsRight = 0;               ///< placed at their true EEG sample, by the time code
  int segmentsRightByLog = 0;          ///< placed right by the log's inserted samples
  std::vector<double> offsets;         ///< each measured later segment's level against the first's, EEG samples
};

/// Samples inserted before each segment as GlobalError.txt gives them; empty when it lacks them.
/// samplesInsertedBefore is what was inserted; correctionInsertedBefore is how far that is from the
/// count the New Segment dates give (on simulator pairs with --date-error, samplesInsertedBefore
/// minus the correction is the date-derived count, rounded).
std::vector<int64_t> LoggedInsertions(const std::string& path) {
  std::ifstream in(path);
  std::vector<int64_t> inserted;
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("samplesInsertedBefore", 0) != 0 || line.find('=') == std::string::npos) continue;
    long long count = std::atoll(line.c_str() + line.find('=') + 1);
    for (long long v = 0; count > 0 && in >> v; --count) inserted.push_back(v);
    if (count > 0) return {};
    break;
  }
  return inserted;
}

/// True time of the merged recording's frame 0. Its trigger markers carry the codes the tracker saw;
/// every truth trigger with the first marker's code is a candidate, and the candidate that explains
/// the most markers (same code within a few ms at frame * period later) is taken. This leans on the
/// markers only to find the output's start, never to judge the placement.
double FrameZeroTime(const simcheck::MergedRecording& merged, const simcheck::Truth& truth, double periodMs) {
  std::vector<std::pair<int64_t, int>> markers;  // frame, code
  for (const simcheck::MergedMarker& m : merged.markers) {
    if (m.type != "Stimulus" || m.description.size() < 2) continue;
    const int code = std::atoi(m.description.c_str() + 1);
    if (code >= 1 && code <= 255) markers.emplace_back(m.position - 1, code);
  }
  if (markers.empty()) return std::nan("");
  std::map<int, std::vector<double>> byCode;
  for (const simcheck::TruthTrigger& t : truth.triggers) byCode[t.code].push_back(t.trueMs);
  const double tolerance = 2.0 * periodMs + 5.0;
  double best = std::nan("");
  size_t bestHits = 0;
  for (double candidate : byCode[markers.front().second]) {
    const double t0 = candidate - static_cast<double>(markers.front().first) * periodMs;
    size_t hits = 0;
    for (const auto& [frame, code] : markers) {
      const std::vector<double>& times = byCode[code];
      const double expected = t0 + static_cast<double>(frame) * periodMs;
      const auto it = std::lower_bound(times.begin(), times.end(), expected - tolerance);
      hits += it != times.end() && *it <= expected + tolerance ? 1 : 0;
    }
    if (hits > bestHits) {
      bestHits = hits;
      best = t0;
    }
  }
  return best;
}

/// Segment placement by the time code. Every frame with both streams valid gets its true time from
/// frame 0's (above) and the output's period, hence its gap-filled EEG sample and segment in the
/// truth; frames within 100 ms of a segment's ends are left out. The misalignment of all measured
/// frames is fitted by one straight line over true time shared by all segments (a drift the merge
/// left over, which the per-frame figures show) plus one level per segment: a segment placed k EEG
/// samples off has its level k EEG periods from the first measured segment's, whatever the drift.
/// The level differences, in EEG samples, are the segments' offsets; a segment is placed at its true
/// EEG sample when its offset is below half a sample. Against the first segment, the shared biases
/// cancel (the registration of the edges, the whole pixels of 16-bit gaze); measured on the data,
/// the count holds whatever the log claims.
void MeasureSegments(const simcheck::MergedRecording& merged, const simcheck::Truth& truth, bool towardEeg,
                     Figures& f) {
  const double eegRate = truth.Number(truth.recording, "eeg_rate_hz");
  const double perMs = truth.Number(truth.clock, "eeg_samples_per_ms");
  const double eegStart = truth.Number(truth.clock, "eeg_start_ms");
  // Toward the EEG the frames are the EEG's own samples, so they advance by its drifting period.
  const double periodMs = towardEeg ? 1.0 / perMs : merged.intervalUs / 1000.0;
  const double t0 = FrameZeroTime(merged, truth, periodMs);
  const simcheck::TimeCode code = simcheck::FindTimeCode(merged);
  struct Sums {
    double n = 0, t = 0, e = 0, tt = 0, te = 0;  // over the segment's frames; t in s from frame 0
  };
  std::vector<Sums> sums(truth.segments.size());
  if (!std::isnan(t0) && code.Found()) {
    const double margin = 0.1 * eegRate;
    for (uint64_t frame = 0; frame < merged.frames; ++frame) {
      double e = 0.0;
      if (!simcheck::FrameError(merged, code, frame, e)) continue;
      const double ms = static_cast<double>(frame) * periodMs;
      const double x = (t0 + ms - eegStart) * perMs;
      for (size_t s = 0; s < truth.segments.size(); ++s) {
        const double first = static_cast<double>(truth.segments[s].gapFilledPosition - 1);
        if (x >= first + margin && x < first + static_cast<double>(truth.segments[s].recorded) - margin) {
          Sums& z = sums[s];
          const double t = ms / 1000.0;
          z.n += 1;
          z.t += t;
          z.e += e;
          z.tt += t * t;
          z.te += t * e;
          break;
        }
      }
    }
  }
  constexpr double kEnough = 50;
  // The shared slope from the variation within each segment, then each segment's level under it.
  double within = 0, withinT = 0;
  for (const Sums& z : sums) {
    if (z.n < kEnough) continue;
    within += z.te - z.t * z.e / z.n;
    withinT += z.tt - z.t * z.t / z.n;
  }
  const double slope = withinT > 0 ? within / withinT : 0.0;
  int reference = -1;
  double referenceLevel = 0.0;
  for (size_t s = 0; s < sums.size(); ++s) {
    const Sums& z = sums[s];
    if (z.n < kEnough) continue;
    const double level = (z.e - slope * z.t) / z.n;
    if (reference < 0) {
      reference = static_cast<int>(s);
      referenceLevel = level;
      continue;
    }
    const double offset = (level - referenceLevel) * eegRate / 1000.0;
    f.offsets.push_back(offset);
    f.segmentsRight += std::fabs(offset) < 0.5 ? 1 : 0;
  }
  f.laterSegments = static_cast<int>(f.offsets.size());
  f.unmeasured = static_cast<int>(truth.segments.size()) - 1 - f.laterSegments;
}

Figures RunOne(const fs::path& in, const fs::path& out, bool towardEeg, const std::vector<std::string>& extra,
               const simcheck::Truth& truth) {
  Figures f;
  fs::remove_all(out);
  std::vector<std::string> args = {TOLMERA_BINARY_PATH, (in / "S01.eeg").string(), (in / "S01.asc").string(), "-h",
                                    out.string()};
  if (towardEeg) args.push_back("-e");
  args.insert(args.end(), extra.begin(), extra.end());
  fs::create_directories(out);
  f.exitCode = Run(args, (out / "console.txt").string());
  f.laterSegments = static_cast<int>(truth.segments.size()) - 1;
  if (f.exitCode != 0) return f;
  simcheck::MergedRecording merged;
  if (!merged.Load((out / "synchro_S01.asc").string())) return f;
  f.ran = true;
  // 16-bit gaze carries the time code in whole pixels, 2 ms of it: part of the bound, as in the tests.
  const double quantumMs = merged.binaryFormat == "INT_16" ? 2.0 : 0.0;
  const simcheck::Alignment a = simcheck::MeasureAlignment(merged, quantumMs);
  f.valid = a.valid;
  f.withinBound = static_cast<uint64_t>(std::llround(a.withinBound * static_cast<double>(a.valid)));
  f.largest = a.largest;
  f.sumAbs = a.meanAbs * static_cast<double>(a.valid);
  MeasureSegments(merged, truth, towardEeg, f);
  const std::vector<int64_t> logged = LoggedInsertions((out / "log" / "GlobalError.txt").string());
  if (logged.size() == truth.segments.size()) {
    // A segment's place is the sum of all insertions before it: one sample too many before the
    // second segment moves every later one too.
    int64_t inserted = 0, lost = 0;
    for (size_t s = 1; s < logged.size(); ++s) {
      inserted += logged[s];
      lost += truth.segments[s].lostBefore;
      f.segmentsRightByLog += inserted == lost ? 1 : 0;
    }
  }
  return f;
}

struct Row {
  int runs = 0, failed = 0, segments = 0, right = 0, rightByLog = 0, logSegments = 0, unmeasured = 0;
  uint64_t valid = 0, within = 0;
  double largest = 0.0, sumAbs = 0.0;
};

/// A run worth a look: failed, a frame beyond one output sample, or a segment off.
struct Flagged {
  std::string what;
  Figures f;
};

}  // namespace

int main(int argc, char** argv) {
  int pairs = 30, mismatches = 20;
  uint64_t seed = 1;
  std::string extraText;
  fs::path parent = fs::temp_directory_path();
  bool keep = false, verbose = false;
  Shape shape;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--pairs" && hasValue) pairs = std::atoi(argv[++i]);
    else if (a == "--mismatch" && hasValue) mismatches = std::atoi(argv[++i]);
    else if (a == "--seed" && hasValue) seed = std::strtoull(argv[++i], nullptr, 10);
    else if (a == "--extra" && hasValue) extraText = argv[++i];
    else if (a == "--work" && hasValue) parent = argv[++i];
    else if (a == "--seconds" && hasValue) shape.seconds = std::max(10, std::atoi(argv[++i]));
    else if (a == "--ms-stamps") shape.trackerGrid = false;
    else if (a == "--gaze-rate" && hasValue) shape.gazeRate = std::atoi(argv[++i]);
    else if (a == "--half-ms") shape.halfMs = true;
    else if (a == "--keep") keep = true;
    else if (a == "--verbose") verbose = true;
    else {
      std::fprintf(stderr, "usage: bench_accuracy [--pairs N] [--extra \"OPTIONS\"] [--seed S] [--mismatch M] "
                           "[--seconds S] [--ms-stamps] [--gaze-rate R] [--half-ms] [--work DIR] [--keep] [--verbose]\n");
      return 2;
    }
  }
  // A folder of this run's own inside the one given, so that nothing else in it is touched.
  const fs::path work = parent / ("tolmera-bench-accuracy-" + std::to_string(getpid()));
  fs::create_directories(work);
  const std::vector<std::string> extra = Words(extraText);
  std::vector<std::vector<std::string>> optionSets = {{}};
  if (!extra.empty()) optionSets.push_back(extra);

  std::printf("bench_accuracy: %d pairs, seed %llu, work folder %s\n", pairs, static_cast<unsigned long long>(seed),
              work.c_str());
  SimRandom rng = SimRandom(seed).Fork(1);
  std::map<std::string, Row> rows;
  std::vector<std::string> rowOrder;
  std::vector<Flagged> beyond;
  int retried = 0;
  for (int id = 1; id <= pairs; ++id) {
    const fs::path dir = work / ("pair" + std::to_string(id));
    const fs::path in = dir / "in";
    fs::create_directories(in);
    Pair pair;
    int simExit = -1;
    for (int attempt = 0; attempt < 20 && simExit != 0; ++attempt) {
      pair = DrawPair(rng, id, shape);
      std::vector<std::string> args = {TOLMERA_SIM_PATH, "--out", in.string(), "--name", "S01"};
      args.insert(args.end(), pair.sim.begin(), pair.sim.end());
      simExit = Run(args, (dir / "sim.txt").string());
      retried += simExit != 0 ? 1 : 0;
    }
    if (simExit != 0) {
      std::printf("pair %d: the simulator failed (%d), skipped\n", id, simExit);
      continue;
    }
    if (verbose) std::printf("pair %2d: tolmera-sim %s\n", id, Join(pair.sim).c_str());
    simcheck::Truth truth;
    std::string error;
    if (!simcheck::ReadTruth((in / "S01.truth.txt").string(), truth, error)) {
      std::printf("pair %d: %s\n", id, error.c_str());
      continue;
    }
    for (const std::vector<std::string>& options : optionSets) {
      for (bool towardEeg : {false, true}) {
        const std::string label = Join(options).empty() ? "(none)" : Join(options);
        const fs::path out = dir / ((towardEeg ? "eeg" : "gaze") + std::to_string(&options - optionSets.data()));
        const Figures f = RunOne(in, out, towardEeg, options, truth);
        char key[160];
        std::snprintf(key, sizeof key, "%-8s %5d  %s", towardEeg ? "to EEG" : "to gaze", pair.gazeRate, label.c_str());
        if (rows.find(key) == rows.end()) rowOrder.push_back(key);
        Row& r = rows[key];
        ++r.runs;
        r.failed += f.ran ? 0 : 1;
        r.segments += f.laterSegments;
        r.right += f.segmentsRight;
        r.rightByLog += f.segmentsRightByLog;
        r.logSegments += static_cast<int>(truth.segments.size()) - 1;
        r.unmeasured += f.unmeasured;
        r.valid += f.valid;
        r.within += f.withinBound;
        r.largest = std::max(r.largest, f.largest);
        r.sumAbs += f.sumAbs;
        if (!f.ran || f.withinBound < f.valid || f.segmentsRight < f.laterSegments) {
          beyond.push_back({"pair " + std::to_string(id) + " " + (towardEeg ? "-e " : "") + Join(options) +
                                " | tolmera-sim " + Join(pair.sim),
                            f});
        }
      }
    }
    if (!keep) fs::remove_all(dir);
  }
  std::sort(rowOrder.begin(), rowOrder.end());

  std::printf("\nSegments right: later segments the merged data's time code puts within half an EEG sample of their\n"
              "true place (against the first segment, beyond one drift line shared by all). By the log: the samples\n"
              "inserted before it (samplesInsertedBefore in log/GlobalError.txt, summed) equal those lost.\n"
              "Frames within one output sample: plus 2 ms for int16, whose gaze carries the code in whole pixels.\n"
              "Errors in output samples over all valid frames.\n\n");
  std::printf("%-8s %5s  %-12s %5s %6s %16s %12s %14s %8s %10s\n", "toward", "gaze", "options", "runs", "failed",
              "segments right", "(by the log)", "frames within", "worst", "mean |e|");
  for (const std::string& key : rowOrder) {
    const Row& r = rows[key];
    char segments[32], byLog[32], share[32];
    std::snprintf(segments, sizeof segments, "%d/%d", r.right, r.segments);
    std::snprintf(byLog, sizeof byLog, "%d/%d", r.rightByLog, r.logSegments);
    std::snprintf(share, sizeof share, "%.4f %%", r.valid ? 100.0 * static_cast<double>(r.within) / r.valid : 0.0);
    std::printf("%-28s %5d %6d %16s %12s %14s %8.3f %10.4f\n", key.c_str(), r.runs, r.failed, segments, byLog, share,
                r.largest, r.valid ? r.sumAbs / static_cast<double>(r.valid) : 0.0);
  }
  int unmeasured = 0;
  for (const auto& [key, r] : rows) unmeasured += r.unmeasured;
  if (unmeasured > 0) std::printf("(%d later segments too short to measure, left out of the segment counts)\n", unmeasured);
  if (retried > 0) std::printf("(%d parameter draws redrawn: the overflow fell on a pause)\n", retried);

  std::printf("\nRuns that failed, had a frame beyond one output sample or a segment off: %zu\n", beyond.size());
  for (const Flagged& o : beyond) {
    std::string shifts;
    for (double k : o.f.offsets) shifts += (shifts.empty() ? "" : " ") + Fixed(k, 2);
    if (!o.f.ran) {
      std::printf("  exit %d  %s\n", o.f.exitCode, o.what.c_str());
    } else {
      std::printf("  worst %.3f, within %.4f %%, segment offsets [%s] EEG samples (%d/%d right, %d unmeasured; "
                  "by the log %d right)  %s\n",
                  o.f.largest, o.f.valid ? 100.0 * static_cast<double>(o.f.withinBound) / o.f.valid : 0.0,
                  shifts.c_str(), o.f.segmentsRight, o.f.laterSegments, o.f.unmeasured, o.f.segmentsRightByLog,
                  o.what.c_str());
    }
  }

  // Mismatched pairs: the EEG of one session with the ASC of another. The kinds make it harder in
  // turn: a shared code alphabet, then a shared rhythm too, then a single code.
  static const char* const kMismatch[] = {
      "",
      "--code-max 4",
      "--code-max 2 --trigger-interval 700",
      "--code-max 1 --trigger-interval 1000",
      "--pattern repeat --code-max 3 --repeat-cycle 3",
  };
  constexpr int kKinds = sizeof kMismatch / sizeof kMismatch[0];
  std::vector<int> refused(kKinds, 0), merged(kKinds, 0);
  std::vector<std::string> mergedList;
  SimRandom mismatchRng = SimRandom(seed).Fork(2);
  for (int m = 0; m < mismatches; ++m) {
    const int kind = m % kKinds;
    const fs::path dir = work / ("mismatch" + std::to_string(m + 1));
    const uint64_t seedA = 1000 + mismatchRng.Below(1000000);
    const uint64_t seedB = seedA + 1 + mismatchRng.Below(1000);
    const std::vector<std::string> common = Words(std::string("--duration 90 --tracker-grid ") + kMismatch[kind]);
    bool made = true;
    const std::pair<const char*, uint64_t> sessions[] = {{"A", seedA}, {"B", seedB}};
    for (const auto& [name, s] : sessions) {
      std::vector<std::string> args = {TOLMERA_SIM_PATH, "--out", dir.string(), "--name", name, "--seed", std::to_string(s)};
      args.insert(args.end(), common.begin(), common.end());
      made = made && Run(args, (work / "mismatch-sim.txt").string()) == 0;
    }
    if (!made) {
      std::printf("mismatch %d: the simulator failed, skipped\n", m + 1);
      continue;
    }
    const int exitCode = Run({TOLMERA_BINARY_PATH, (dir / "A.eeg").string(), (dir / "B.asc").string(), "-h",
                              (dir / "out").string()},
                             (dir / "console.txt").string());
    if (exitCode == 0) {
      ++merged[kind];
      mergedList.push_back("seeds " + std::to_string(seedA) + " (EEG) and " + std::to_string(seedB) + " (ASC) " +
                           Join(common));
    } else {
      ++refused[kind];
    }
    if (!keep) fs::remove_all(dir);
  }
  int totalRefused = 0, totalMerged = 0;
  for (int k = 0; k < kKinds; ++k) {
    totalRefused += refused[k];
    totalMerged += merged[k];
  }
  std::printf("\nMismatched pairs (EEG of one session, ASC of another): %d, refused (non-zero exit) %d, merged "
              "(exit 0) %d\n",
              totalRefused + totalMerged, totalRefused, totalMerged);
  for (int k = 0; k < kKinds; ++k) {
    std::printf("  %-48s refused %2d  merged %2d\n", *kMismatch[k] ? kMismatch[k] : "(different sessions, defaults)",
                refused[k], merged[k]);
  }
  for (const std::string& s : mergedList) std::printf("  merged: %s\n", s.c_str());
  if (!keep) fs::remove_all(work);
  return 0;
}
