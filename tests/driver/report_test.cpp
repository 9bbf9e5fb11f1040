// Whole runs and their synchronisation report: the JSON file against the run's own statistics files
// and the simulator's ground truth, the page as well-formed XML with every plot and nothing fetched,
// the summary line at the end of the console, a refused pair's report, and the page as a real
// browser draws it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "driver/programrun.h"
#include "support/testsupport.h"
#include "varnixlib/report/reporttext.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace fs = std::filesystem;

namespace {

const std::string kSet = "synchro_S01.asc";

int ExitCode(int status) {
#ifdef _WIN32
  return status;
#else
  return status == -1 ? -1 : (WIFEXITED(status) ? WEXITSTATUS(status) : -1);
#endif
}

void Simulate(const fs::path& dir, const std::string& options) {
  fs::create_directories(dir);
  const std::string command = std::string("\"") + TOLMERA_SIM_PATH + "\" --out \"" + dir.string() + "\" --name S01 " +
                              options + " > /dev/null 2>&1";
  ASSERT_EQ(ExitCode(std::system(command.c_str())), 0) << options;
}

struct Checked {
  int status = -1;
  std::string out;
};

/// check_report.py in one of its modes; its verdict and what it printed.
Checked Check(const std::string& mode, const fs::path& logDir, const std::string& extra = "") {
  testsupport::TempDir scratch;
  const std::string command = std::string(TOLMERA_PYTHON) + " \"" + TOLMERA_SOURCE_DIR + "/tests/driver/check_report.py\" " +
                              mode + " \"" + logDir.string() + "\" " + kSet + " " + extra + " > \"" + (scratch / "out.txt") +
                              "\" 2>&1";
  Checked c;
  c.status = ExitCode(std::system(command.c_str()));
  c.out = testsupport::ReadFile(scratch / "out.txt");
  return c;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

/// The console's summary line, checked to follow every line the run printed before it.
std::string SummaryLine(const ProgramRun& run, bool succeeded) {
  std::vector<std::string> lines = Lines(run.out);
  if (succeeded) {
    EXPECT_FALSE(lines.empty() || lines.back() != "!!! Tolmera END !!!") << run.out;
    if (!lines.empty()) lines.pop_back();
  }
  EXPECT_GE(lines.size(), 2u) << run.out;
  if (lines.size() < 2) return "";
  // A merged run names its statistics files just before; a refused one wrote none.
  if (succeeded) {
    EXPECT_EQ(lines[lines.size() - 2].rfind("Histogram of the alignment errors [samples] for each trigger: ", 0), 0u)
        << run.out;
  }
  return lines.back();
}

void ExpectSummaryAgrees(const fs::path& dir, const ProgramRun& run, bool succeeded) {
  testsupport::WriteFile((dir / "summary.txt").string(), SummaryLine(run, succeeded));
  const Checked summary = Check("summary", dir / "out" / "log", "\"" + (dir / "summary.txt").string() + "\"");
  EXPECT_EQ(summary.status, 0) << summary.out;
}

/// A merged run and a refused one, made once for the tests that look at their pages.
struct Shared {
  testsupport::TempDir dir;
  ProgramRun merged, refused;
};

const Shared& Runs() {
  static std::unique_ptr<Shared> shared;
  if (!shared) {
    shared = std::make_unique<Shared>();
    const fs::path root = shared->dir.Path();
    Simulate(root / "merged", "--duration 240 --segments 3 --overflow 2000 --seed 21");
    shared->merged = RunTolmera((root / "merged").string(), {"S01.eeg", "S01.asc", "-h", "./out"});
    // The EEG of one session with the tracker file of another, of the same code alphabet and rhythm.
    Simulate(root / "a", "--duration 240 --seed 1 --segments 3 --overflow 2000");
    Simulate(root / "b", "--duration 240 --seed 2");
    fs::create_directories(root / "refused");
    shared->refused = RunTolmera((root / "refused").string(), {"../a/S01.eeg", "../b/S01.asc", "-h", "./out"});
  }
  return *shared;
}

}  // namespace

TEST(ReportRun, TheJsonAgreesWithTheStatisticsFilesAndTheSimulatorsTruth) {
  struct Case {
    const char* label;
    std::string sim;
    std::vector<std::string> options;
  };
  const std::vector<Case> cases = {
      {"int16, two pauses and an overflow", "--duration 240 --segments 3 --overflow 2000 --seed 21", {}},
      {"float32, 1000 Hz EEG, 250 Hz gaze, toward the EEG, with a no-drift set",
       "--format float32 --eeg-rate 1000 --gaze-rate 250 --eyes left --segments 2 --duration 180 --drift -40 --seed 22", {"-e", "-N"}},
      {"float64, 1000 Hz gaze, codes 1 to 3 in turn, an early overflow",
       "--format float64 --gaze-rate 1000 --pattern repeat --code-max 3 --overflow 1500 --overflow-at 40 --duration 150 --seed 23", {}},
      {"the former two-point model", "--duration 150 --segments 2 --seed 24", {"-O"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    testsupport::TempDir dir;
    Simulate(dir.Path(), c.sim);
    std::vector<std::string> arguments = {"S01.eeg", "S01.asc", "-h", "./out"};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    const ProgramRun run = RunTolmera(dir.Path().string(), arguments);
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const fs::path log = dir.Path() / "out" / "log";
    ASSERT_TRUE(fs::exists(log / (kSet + ".report.html")));
    ASSERT_TRUE(fs::exists(log / (kSet + ".report.json")));
    const Checked json = Check("json", log, "\"" + (dir.Path() / "S01.truth.txt").string() + "\"");
    EXPECT_EQ(json.status, 0) << json.out;
    const Checked html = Check("html", log);
    EXPECT_EQ(html.status, 0) << html.out;
    ExpectSummaryAgrees(dir.Path(), run, true);
    // The set without drift correction is named in the report too.
    const std::string text = testsupport::ReadFile((log / (kSet + ".report.json")).string());
    const bool twin = text.find("\"name\": \"synchrono_S01.asc\"") != std::string::npos;
    EXPECT_EQ(twin, c.options.size() > 1) << text.substr(0, 2000);
  }
}

TEST(ReportRun, ARefusedPairGetsItsReportAndARunThatFailsBeforeTheMatchingNone) {
  const Shared& runs = Runs();
  const fs::path dir = runs.dir.Path() / "refused";
  ASSERT_EQ(runs.refused.status, 253) << runs.refused.out;
  EXPECT_EQ(runs.refused.err, "!!! Can not synchronize data !!!\n");
  const fs::path log = dir / "out" / "log";
  const std::string json = testsupport::ReadFile((log / (kSet + ".report.json")).string());
  ASSERT_FALSE(json.empty());
  EXPECT_NE(json.find("\"outcome\": \"refused\""), std::string::npos);
  EXPECT_NE(json.find("\"accepted\": false"), std::string::npos);
  EXPECT_NE(json.find("\"outputs\": []"), std::string::npos);
  // The page gives the reason the console gave.
  const std::string lead = "Brainamp::Synchronize : the recordings do not belong together: ";
  const size_t at = runs.refused.out.find(lead);
  ASSERT_NE(at, std::string::npos) << runs.refused.out;
  const size_t end = runs.refused.out.find('\n', at);
  const std::string reason = runs.refused.out.substr(at + lead.size(), end - at - lead.size());
  EXPECT_NE(json.find("\"reason\": " + ReportText::JsonString(reason)), std::string::npos) << reason;
  EXPECT_NE(testsupport::ReadFile((log / (kSet + ".report.html")).string()).find(ReportText::Xml(reason)), std::string::npos);
  const Checked checked = Check("json", log);
  EXPECT_EQ(checked.status, 0) << checked.out;
  const Checked html = Check("html", log);
  EXPECT_EQ(html.status, 0) << html.out;
  ExpectSummaryAgrees(dir, runs.refused, false);

  // -F merges a refused pair whose model keeps a few triggers, and the report says so: two
  // sessions whose codes repeat in the same short cycle, where only the timing pairs anything.
  testsupport::TempDir other;
  Simulate(other.Path() / "c", "--duration 120 --seed 3 --code-max 4 --repeat-cycle 2 --segments 3");
  Simulate(other.Path() / "d", "--duration 120 --seed 4 --code-max 4 --repeat-cycle 2 --segments 3");
  fs::create_directories(other.Path() / "forced");
  const ProgramRun forced = RunTolmera((other.Path() / "forced").string(), {"../c/S01.eeg", "../d/S01.asc", "-h", "./out", "-F"});
  ASSERT_EQ(forced.status, 0) << forced.out;
  const std::string forcedJson = testsupport::ReadFile((other.Path() / "forced" / "out" / "log" / (kSet + ".report.json")).string());
  EXPECT_NE(forcedJson.find("\"outcome\": \"merged-although-refused\""), std::string::npos);
  EXPECT_NE(forcedJson.find("\"accepted\": false"), std::string::npos);
  ExpectSummaryAgrees(other.Path() / "forced", forced, true);
  const Checked forcedHtml = Check("html", other.Path() / "forced" / "out" / "log");
  EXPECT_EQ(forcedHtml.status, 0) << forcedHtml.out;

  // An EEG data file cut inside a sample ends the run before any matching: nothing to report.
  testsupport::TempDir cut;
  for (const char* ext : {".vhdr", ".vmrk", ".eeg", ".asc"}) fs::copy_file(runs.dir.Path() / "a" / ("S01" + std::string(ext)), cut / ("S01" + std::string(ext)));
  fs::resize_file(cut / "S01.eeg", fs::file_size(cut / "S01.eeg") - 1);
  const ProgramRun failed = RunTolmera(cut.Path().string(), {"S01.eeg", "S01.asc", "-h", "./out"});
  EXPECT_NE(failed.status, 0);
  EXPECT_EQ(failed.err.rfind("!!! Can not process the EEG files", 0), 0u) << failed.err;
  for (const auto& entry : fs::directory_iterator(cut.Path() / "out" / "log")) {
    EXPECT_EQ(entry.path().filename().string().find(".report."), std::string::npos) << entry.path();
  }
  EXPECT_EQ(failed.out.find("; report: "), std::string::npos);
}

TEST(ReportRun, ABrowserDrawsEveryPlotOfAMergedAndARefusedPair) {
  const Shared& runs = Runs();
  ASSERT_EQ(runs.merged.status, 0) << runs.merged.out;
  for (const char* name : {"merged", "refused"}) {
    SCOPED_TRACE(name);
    testsupport::TempDir work;
    const Checked render = Check("render", runs.dir.Path() / name / "out" / "log", "\"" + work.Path().string() + "\"");
    if (render.status == 77) GTEST_SKIP() << render.out;
    EXPECT_EQ(render.status, 0) << render.out;
  }
}
