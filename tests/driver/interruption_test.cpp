// A run stopped while it writes leaves no temporary file behind and ends with 128 + the signal; a
// later run removes the leftovers of killed runs (and only those); a successful run removes the
// outputs an earlier run with -m or -N wrote under its names.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fcntl.h>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "programrun.h"
#include "support/testsupport.h"
#include "varnixlib/support/atomicfilewriter.h"

namespace {

namespace fs = std::filesystem;

std::set<std::string> Names(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
  return names;
}

std::set<std::string> Temporaries(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (entry.path().extension() == ".tmp") names.insert(entry.path().filename().string());
  }
  return names;
}

/// The id of a process that has ended and been reaped: no process of that id runs (until the
/// system hands it out again, which takes a full turn of the id space).
pid_t EndedProcessId() {
  const pid_t pid = fork();
  if (pid == 0) _exit(0);
  int status = 0;
  waitpid(pid, &status, 0);
  return pid;
}

#ifdef TOLMERA_SIM_PATH
void Simulate(const fs::path& dir, const std::string& options) {
  const std::string sim = std::string("\"") + TOLMERA_SIM_PATH + "\" --out \"" + dir.string() + "\" --name S01 " +
                          options + " > /dev/null 2>&1";
  ASSERT_EQ(std::system(sim.c_str()), 0);
}

TEST(Interruption, EachSignalRemovesTheTemporaryBeingWrittenAndGivesItsStatus) {
  testsupport::TempDir dir;
  // Long enough that writing the merged data takes a moment to catch.
  Simulate(dir.Path(), "--duration 600 --channels 64 --eeg-rate 1000 --gaze-rate 1000");
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(signal);
    const fs::path out = dir.Path() / ("out" + std::to_string(signal));
    fs::create_directories(out);
    const pid_t pid = fork();
    if (pid == 0) {
      const int null = open("/dev/null", O_RDWR);
      dup2(null, 0);
      dup2(null, 1);
      dup2(null, 2);
      if (chdir(dir.Path().c_str()) != 0) _exit(127);
      execl(TOLMERA_BINARY_PATH, TOLMERA_BINARY_PATH, "S01.asc", "-h", out.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    ASSERT_GT(pid, 0);
    // Wait for the merged data's temporary to appear, then stop the run in the middle of it.
    bool seen = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!seen && std::chrono::steady_clock::now() < deadline) {
      for (const std::string& name : Temporaries(out)) seen = seen || name.find("synchro_S01.asc.eeg.") == 0;
      if (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(2));
      int status = 0;
      if (!seen && waitpid(pid, &status, WNOHANG) == pid) FAIL() << "the run ended before it wrote the merged data";
    }
    ASSERT_TRUE(seen) << "no temporary of the merged data appeared";
    kill(pid, signal);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by the signal instead of its handler";
    EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
    EXPECT_TRUE(Temporaries(out).empty()) << *Temporaries(out).begin();
    EXPECT_FALSE(fs::exists(out / "synchro_S01.asc.eeg")) << "a stopped run did not finish the merged data";
  }
}

TEST(Interruption, ALaterRunRemovesTheLeftoversOfEndedRunsOnly) {
  testsupport::TempDir dir;
  Simulate(dir.Path(), "--duration 20 --seed 3");
  const std::string dead = std::to_string(EndedProcessId());
  const std::string live = std::to_string(getpid());
  const std::vector<std::string> removed = {"synchro_S01.asc.eeg." + dead + ".tmp",
                                            "synchro_S01.asc.vhdr." + dead + "-3.tmp"};
  const std::vector<std::string> kept = {
      "synchro_S01.asc.eeg." + live + ".tmp",       // its run may still be writing
      "synchro_S01.asc.eeg." + dead + "x.tmp",      // not this program's pattern
      "synchro_S01.asc.eeg.old.tmp",                // not an id
      "other.eeg." + dead + ".tmp",                 // no output of this run
      "synchro_S01.asc.eeg." + dead + ".tmp.keep",  // not a temporary
  };
  for (const std::string& name : removed) testsupport::WriteFile(dir / name, "x");
  for (const std::string& name : kept) testsupport::WriteFile(dir / name, "x");
  const ProgramRun run = RunTolmera(dir.Path().string(), {"S01.asc"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  const std::set<std::string> names = Names(dir.Path());
  for (const std::string& name : removed) EXPECT_EQ(names.count(name), 0u) << name;
  for (const std::string& name : kept) EXPECT_EQ(names.count(name), 1u) << name;
}

TEST(Interruption, ASuccessfulRunRemovesTheSetsAndMatFilesAnEarlierRunWroteUnderItsNames) {
  testsupport::TempDir dir;
  Simulate(dir.Path(), "--duration 20 --seed 5");
  const std::vector<std::string> withMN = {
      "synchrono_S01.asc.eeg",  "synchrono_S01.asc.vhdr",   "synchrono_S01.asc.vmrk",
      "synchrono_S01.asc.eeg.event.txt", "synchrono_S01.asc.eeg.mat", "synchro_S01.asc.eeg.mat"};
  ProgramRun run = RunTolmera(dir.Path().string(), {"S01.asc", "-m", "-N"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  for (const std::string& name : withMN) ASSERT_TRUE(fs::exists(dir / name)) << name;
  const std::set<std::string> before = Names(dir.Path());

  // -N alone keeps the second set and loses the MAT files; no option loses both.
  run = RunTolmera(dir.Path().string(), {"S01.asc", "-N"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  for (const std::string& name : withMN) {
    const bool mat = name.ends_with(".mat");
    EXPECT_EQ(fs::exists(dir / name), !mat) << name;
    EXPECT_EQ(run.out.find("this run's options do not write: " + ("." + std::string(1, '/') + name) + "\n") !=
                  std::string::npos,
              mat)
        << name << run.out;
  }
  run = RunTolmera(dir.Path().string(), {"S01.asc"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  for (const std::string& name : withMN) EXPECT_FALSE(fs::exists(dir / name)) << name;
  // Everything else the first run wrote is still there: the drift-corrected set and the inputs.
  for (const std::string& name : before) {
    const bool stale = std::find(withMN.begin(), withMN.end(), name) != withMN.end() ||
                       name == "S01.asc.mat" || name == "S01.asc.event.txt";
    EXPECT_EQ(fs::exists(dir / name), !stale) << name;
  }
}
#endif

}  // namespace
