// Golden runs: a fixed set of whole runs whose every file (inputs, outputs, files written beside the
// inputs) and console text must stay byte for byte as recorded in golden_outputs.txt. A restructuring
// of the code must leave this test green; a change that is meant to alter an output re-records the
// table (TOLMERA_GOLDEN_RECORD=<file> writes it) and says why in its commit.
//
// The console is compared with three things taken out: the build date line, the echo of the
// arguments (so that a case may add an option that changes nothing), and the source file and line
// that error and warning lines name (they move with the code, not with the program's behaviour).
// The synchronisation report's files are compared with the build date they name taken out.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "driver/programrun.h"
#include "support/testsupport.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace fs = std::filesystem;

namespace {

uint64_t Fnv1a(const std::string& bytes) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : bytes) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

std::string Hex(uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

std::string NormalizeConsole(const std::string& text) {
  static const std::regex kVersion("Software version : [^\n]*\n");
  static const std::regex kArguments("\nTolmera [^\n]*\n");
  static const std::regex kLocation("(ERROR|WARNING) in : [^\n]*? \\([0-9]+\\) ");
  static const std::regex kLogLocation("[^ \n]*\\.cpp::[0-9]+ ");
  std::string out = std::regex_replace(text, kVersion, "Software version : <date>\n");
  out = std::regex_replace(out, kArguments, "\nTolmera <arguments>\n");
  out = std::regex_replace(out, kLocation, "$1 in : <source> ");
  return std::regex_replace(out, kLogLocation, "<source>::<line> ");
}

/// The synchronisation report names the build date of the program, as the console does.
std::string NormalizeReport(const std::string& text) {
  static const std::regex kBuilt("(built[^A-Za-z0-9]{1,4})[A-Z][a-z]{2} +[0-9]{1,2} [0-9]{4}");
  return std::regex_replace(text, kBuilt, "$1<date>");
}

/// "path size hash" for every file below dir, sorted by path; log files pass through the console
/// normalisation since they name source lines too.
std::string DescribeTree(const fs::path& dir) {
  std::map<std::string, std::string> rows;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (!entry.is_regular_file()) continue;
    const std::string rel = fs::relative(entry.path(), dir).generic_string();
    std::string bytes = testsupport::ReadFile(entry.path().string());
    if (rel.find("Log-") != std::string::npos) bytes = NormalizeConsole(bytes);
    if (rel.find(".report.") != std::string::npos) bytes = NormalizeReport(bytes);
    if (entry.path().extension() == ".ttl") {
      // The simulated TTL file carries a random jitter on purpose: only its lines compare.
      rows[rel] = std::to_string(std::count(bytes.begin(), bytes.end(), '\n')) + " lines";
      continue;
    }
    rows[rel] = std::to_string(bytes.size()) + " " + Hex(Fnv1a(bytes));
  }
  std::string out;
  for (const auto& [path, row] : rows) out += "file " + path + " " + row + "\n";
  return out;
}

int RunSimulator(const std::string& arguments) {
  const std::string command = std::string("\"") + TOLMERA_SIM_PATH + "\" " + arguments + " > /dev/null 2>&1";
  const int status = std::system(command.c_str());
#ifdef _WIN32
  return status;
#else
  return status == -1 ? -1 : (WIFEXITED(status) ? WEXITSTATUS(status) : -1);
#endif
}

std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> out;
  for (std::string word; in >> word;) out.push_back(word);
  return out;
}

struct GoldenCase {
  std::string name;
  std::string sim;      ///< simulator options besides --out/--name; empty: the bundled example
  std::string options;  ///< tolmera options after the two input names
  bool corruptAsc = false;  ///< two sample lines of the .asc swapped: the parse stops on it
};

const GoldenCase kCases[] = {
    // The two-point clock model (-O) keeps the outputs it always had.
    {"example", "", "-h ./out -O"},
    {"example-e", "", "-h ./out -e -O"},
    {"example-N", "", "-h ./out -N -O"},
    {"example-mN", "", "-h ./out -m -N -O"},
    {"example-Lpvf", "", "-h ./out -L -p -1 -v -f 100 -O"},
    {"example-corrupt", "", "-h ./out -O", true},
    {"sim-int16", "--format int16 --seed 3 --segments 3 --overflow 2000 --duration 90", "-h ./out -N -1 -O"},
    {"sim-float32", "--format float32 --seed 4 --segments 2 --overflow 1500 --duration 90 --eeg-rate 1000 "
                    "--gaze-rate 250 --eyes left --velocity", "-h ./out -e -N -m -G -O"},
    {"sim-float64", "--format float64 --seed 5 --segments 3 --overflow 2500 --duration 90 --gaze-rate 1000 "
                    "--eyes right --pupil diameter --structure", "-h ./out -m -v -p -O"},
    // The fitted clock model, the default.
    {"fitted-example", "", "-h ./out -N"},
    {"fitted-example-e", "", "-h ./out -e -m"},
    {"fitted-sim-int16", "--format int16 --seed 3 --segments 3 --overflow 2000 --duration 90", "-h ./out -N -1"},
    {"fitted-sim-float32", "--format float32 --seed 4 --segments 2 --overflow 1500 --duration 90 --eeg-rate 1000 "
                           "--gaze-rate 250 --eyes left --velocity", "-h ./out -e -N -m -G"},
};

/// Runs one case in a fresh folder and describes everything it left there.
std::string RunCase(const GoldenCase& c) {
  testsupport::TempDir dir;
  std::string eeg = "S01.eeg", asc = "S01.asc";
  if (c.sim.empty()) {
    for (const char* ext : {".vhdr", ".vmrk", ".eeg", ".asc"}) {
      fs::copy_file(fs::path(TOLMERA_SOURCE_DIR) / "examples" / (std::string("S01") + ext), dir / ("S01" + std::string(ext)));
    }
  } else if (RunSimulator("--out \"" + dir.Path().string() + "\" --name S01 " + c.sim) != 0) {
    return "simulator failed\n";
  }
  fs::remove(dir / "S01.truth.txt");
  if (c.corruptAsc) {
    // Swap two sample lines far into the file: time then runs backwards there.
    std::string text = testsupport::ReadFile(dir / asc);
    size_t a = text.find('\n', text.size() / 2) + 1;
    while (a < text.size() && !(text[a] >= '0' && text[a] <= '9')) a = text.find('\n', a) + 1;
    const size_t b = text.find('\n', a) + 1;
    const size_t e = text.find('\n', b) + 1;
    text = text.substr(0, a) + text.substr(b, e - b) + text.substr(a, b - a) + text.substr(e);
    testsupport::WriteFile(dir / asc, text);
  }
  std::vector<std::string> args = {eeg, asc};
  for (const std::string& w : Words(c.options)) args.push_back(w);
  const ProgramRun run = RunTolmera(dir.Path().string(), args);
  std::string out = "status " + std::to_string(run.status) + "\n";
  out += "stdout " + Hex(Fnv1a(NormalizeConsole(run.out))) + "\n";
  out += "stderr " + Hex(Fnv1a(NormalizeConsole(run.err))) + "\n";
  return out + DescribeTree(dir.Path());
}

/// The recorded table: case name -> its description.
std::map<std::string, std::string> LoadGolden(const std::string& path) {
  std::map<std::string, std::string> cases;
  std::ifstream in(path);
  std::string line, current;
  while (std::getline(in, line)) {
    if (line.rfind("[", 0) == 0) {
      current = line.substr(1, line.size() - 2);
      cases[current];
    } else if (!current.empty() && !line.empty()) {
      cases[current] += line + "\n";
    }
  }
  return cases;
}

TEST(GoldenRuns, EveryOutputStaysByteForByteAsRecorded) {
  const std::string goldenPath = std::string(TOLMERA_SOURCE_DIR) + "/tests/driver/golden_outputs.txt";
  const char* record = std::getenv("TOLMERA_GOLDEN_RECORD");
  const auto golden = LoadGolden(goldenPath);
  std::string recorded;
  for (const GoldenCase& c : kCases) {
    const std::string got = RunCase(c);
    recorded += "[" + c.name + "]\n" + got + "\n";
    if (record) continue;
    const auto it = golden.find(c.name);
    ASSERT_NE(it, golden.end()) << "no recorded outputs for " << c.name;
    EXPECT_EQ(got, it->second) << "outputs of " << c.name << " changed";
  }
  if (record) {
    std::ofstream(record, std::ios::binary) << recorded;
    GTEST_SKIP() << "recorded into " << record;
  }
  EXPECT_EQ(golden.size(), std::size(kCases));
}

}  // namespace
