// The MAT file of each merged output set (-m): one per set, "EegAcq" loaded by scipy and checked
// against the set's own marker file and the matching report.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "programrun.h"
#include "support/testsupport.h"

namespace {

namespace fs = std::filesystem;

#ifdef TOLMERA_SIM_PATH
/// The number after "LCS   Triggers =" in the matching report, -1 when absent.
int SharedTriggers(const std::string& out) {
  const std::string key = "LCS   Triggers =";
  const size_t at = out.find(key);
  return at == std::string::npos ? -1 : std::atoi(out.c_str() + at + key.size());
}

std::string ScipyCheck(const testsupport::TempDir& dir, const std::string& set, int pairs) {
  const std::string script = std::string(TOLMERA_SOURCE_DIR) + "/tests/driver/check_syncmat.py";
  const std::string command = std::string(TOLMERA_PYTHON) + " \"" + script + "\" \"" +
                              (dir / (set + ".asc.eeg.mat")) + "\" \"" + (dir / (set + ".asc.vmrk")) + "\" " +
                              std::to_string(pairs) + " > \"" + (dir / "check.txt") + "\" 2>&1";
  const int status = std::system(command.c_str());
  const std::string out = testsupport::ReadFile(dir / "check.txt");
  return status == 0 && out == "OK\n" ? "" : out;
}

TEST(SyncMatFile, EveryOutputSetGetsItsFileThatScipyLoadsAgainstItsMarkers) {
  testsupport::TempDir dir;
  const std::string sim = std::string(TOLMERA_SIM_PATH) + " --out \"" + dir.Path().string() +
                          "\" --name S01 --duration 40 --structure --seed 11 > /dev/null";
  ASSERT_EQ(std::system(sim.c_str()), 0);

  const ProgramRun plain = RunTolmera(dir.Path().string(), {"S01.asc", "-N"});
  EXPECT_EQ(plain.status, 0) << plain.err;
  EXPECT_FALSE(fs::exists(dir / "synchro_S01.asc.eeg.mat"));

  const ProgramRun run = RunTolmera(dir.Path().string(), {"S01.asc", "-m", "-N"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  const int pairs = SharedTriggers(run.out);
  ASSERT_GT(pairs, 1) << run.out;
  EXPECT_EQ(ScipyCheck(dir, "synchro_S01", pairs), "");
  EXPECT_EQ(ScipyCheck(dir, "synchrono_S01", pairs), "");
}
#endif

}  // namespace
