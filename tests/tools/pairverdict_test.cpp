// Whole runs on simulated sessions: every pair of two different sessions is refused with the
// synchronisation's failure, every session with itself is merged, including sessions whose codes
// cannot tell the triggers apart and whose EEG starts several triggers late.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/testsupport.h"
#include "tools/simsupport.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace {

struct RunResult {
  int status = -1;
  std::string console;
};

RunResult Tolmera(const testsupport::TempDir& dir, const std::string& eeg, const std::string& asc, const std::string& options = "") {
  const std::string log = dir / "run.log";
  const std::string command = std::string("\"") + TOLMERA_BINARY_PATH + "\" \"" + eeg + "\" \"" + asc + "\" -h \"" +
                              (dir / "out") + "\" " + options + " < /dev/null > \"" + log + "\" 2>&1";
  const int status = std::system(command.c_str());
  RunResult run;
#ifdef _WIN32
  run.status = status;
#else
  run.status = status == -1 ? -1 : (WIFEXITED(status) ? WEXITSTATUS(status) : -1);
#endif
  run.console = testsupport::ReadFile(log);
  return run;
}

}  // namespace

TEST(PairVerdict, DifferentSessionsAreRefusedAndEverySessionMergesWithItself) {
  // Pairs of sessions that share their code alphabet and their trigger rhythm, so that only the
  // timing of the triggers can tell them apart; the last ones send one code for everything, and
  // their EEG starts six seconds (several triggers) after the tracker.
  const std::vector<std::string> sessions = {
      "--seed 1", "--seed 2",
      "--seed 3 --code-max 4 --repeat-cycle 2 --segments 3", "--seed 4 --code-max 4 --repeat-cycle 2 --segments 3",
      "--seed 5 --code-max 1 --repeat-cycle 1 --offset 6000", "--seed 6 --code-max 1 --repeat-cycle 1 --offset 6000 --segments 2",
  };
  testsupport::TempDir dir;
  for (size_t s = 0; s < sessions.size(); ++s) {
    const std::string out = dir / ("s" + std::to_string(s));
    ASSERT_EQ(simsupport::RunSim("--out \"" + out + "\" --name S --duration 120 " + sessions[s]), 0) << sessions[s];
  }
  int refused = 0, mismatched = 0, forcedRuns = 0;
  for (size_t e = 0; e < sessions.size(); ++e) {
    for (size_t a = 0; a < sessions.size(); ++a) {
      SCOPED_TRACE("EEG of " + sessions[e] + ", tracker of " + sessions[a]);
      testsupport::TempDir runDir;
      const RunResult run = Tolmera(runDir, dir / ("s" + std::to_string(e) + "/S.eeg"), dir / ("s" + std::to_string(a) + "/S.asc"));
      if (e == a) {
        EXPECT_EQ(run.status, 0) << run.console;
        EXPECT_NE(run.console.find("Verdict        : the recordings belong together"), std::string::npos) << run.console;
        continue;
      }
      ++mismatched;
      EXPECT_EQ(run.status, 253) << run.console;
      EXPECT_NE(run.console.find("!!! Can not synchronize data !!!"), std::string::npos) << run.console;
      // The refusal says why in numbers; lists without one common code do not even pair.
      EXPECT_TRUE(run.console.find("tracker triggers matched the") != std::string::npos ||
                  run.console.find("ERROR: Problem with TriggerMatching and indexes!") != std::string::npos)
          << run.console;
      refused += run.status == 253 ? 1 : 0;
      // -F merges such a pair all the same when a clock line could be fitted, saying so.
      if (run.console.find("do not belong together") != std::string::npos) {
        testsupport::TempDir forcedDir;
        const RunResult forced = Tolmera(forcedDir, dir / ("s" + std::to_string(e) + "/S.eeg"),
                                         dir / ("s" + std::to_string(a) + "/S.asc"), "-F");
        EXPECT_EQ(forced.status, 0) << forced.console;
        EXPECT_NE(forced.console.find("WARNING in : "), std::string::npos) << forced.console;
        EXPECT_NE(forced.console.find("do not seem to belong together"), std::string::npos) << forced.console;
        ++forcedRuns;
      }
    }
  }
  EXPECT_EQ(refused, mismatched);
  EXPECT_GT(forcedRuns, 0);
}
