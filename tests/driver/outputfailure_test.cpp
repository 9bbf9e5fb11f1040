// Failures on the output side of a whole run that synchronises: a disk that fills at any point of
// the merged output sets, and output names that are already taken by something that is not a file.
// Whatever fails, the run must say so, and each output present afterwards must be the complete
// file a run without the failure writes: never a truncated one, never a temporary.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "driver/rundriver.h"
#include "programrun.h"
#include "support/fulldisk.h"
#include "support/testsupport.h"
#include "varnixlib/support/platform.h"

namespace {

#ifdef TOLMERA_SIM_PATH

namespace fs = std::filesystem;

const std::string S(1, Varnix::Platform::kSeparator);

/// Runs the program inside this process, where the platform layer's disk budget reaches it; the
/// names are resolved against dir as the program resolves them against its working directory.
struct InProcessRun {
  int status = -1;
  std::string out;
  std::string err;
};

InProcessRun RunHere(const fs::path& dir, const std::vector<std::string>& arguments) {
  const fs::path previous = fs::current_path();
  fs::current_path(dir);
  std::ostringstream out, err;
  std::streambuf* oldOut = std::cout.rdbuf(out.rdbuf());
  std::streambuf* oldErr = std::cerr.rdbuf(err.rdbuf());
  InProcessRun run;
  run.status = RunDriver().Run(arguments);
  std::cout.rdbuf(oldOut);
  std::cerr.rdbuf(oldErr);
  fs::current_path(previous);
  run.out = out.str();
  run.err = err.str();
  return run;
}

void Simulate(const fs::path& dir) {
  const std::string sim = std::string(TOLMERA_SIM_PATH) + " --out \"" + dir.string() +
                          "\" --name S01 --duration 20 --structure --seed 11 > /dev/null";
  ASSERT_EQ(std::system(sim.c_str()), 0);
}

/// Every file under dir by its path relative to dir, except the ASC stage's log, which is written
/// as the run goes so that it shows how far a run came.
std::map<std::string, std::string> Outputs(const fs::path& dir) {
  std::map<std::string, std::string> files;
  if (!fs::exists(dir)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (!entry.is_regular_file() || entry.path().filename() == "Log-AscRawData.txt") continue;
    files[fs::relative(entry.path(), dir).string()] = testsupport::ReadFile(entry.path().string());
  }
  return files;
}

/// Each file present is the complete reference file; nothing else is there.
void ExpectOnlyWholeOutputs(const std::map<std::string, std::string>& found,
                            const std::map<std::string, std::string>& reference) {
  for (const auto& [name, bytes] : found) {
    const auto expected = reference.find(name);
    if (expected == reference.end()) {
      ADD_FAILURE() << name << " is not an output of a complete run";
      continue;
    }
    // The synchronisation report tells of its own run (its paths, how it ended): whole, not equal.
    if (name.find(".report.") != std::string::npos) {
      const bool html = name.ends_with(".html");
      EXPECT_TRUE(bytes.starts_with(html ? "<!DOCTYPE html>" : "{") && bytes.ends_with(html ? "</html>\n" : "}\n"))
          << name << " is not whole";
      continue;
    }
    EXPECT_TRUE(bytes == expected->second) << name << " differs from the complete file ("
                                           << bytes.size() << " of " << expected->second.size() << " bytes)";
  }
}

TEST(OutputFailure, ADiskThatFillsAnywhereInTheMergedSetsLeavesOnlyWholeFilesAndFailsTheRun) {
  testsupport::TempDir dir;
  Simulate(dir.Path());
  const std::map<std::string, std::string> inputs = Outputs(dir.Path());
  const std::vector<std::string> arguments = {"S01.asc", "-N", "-h", "out"};
  fs::create_directory(dir.Path() / "out");

  int64_t written = 0;
  {
    constexpr int64_t kPlenty = int64_t{1} << 60;
    FullDiskAfter measure(kPlenty);
    const InProcessRun reference = RunHere(dir.Path(), arguments);
    ASSERT_EQ(reference.status, 0) << reference.out << reference.err;
    written = kPlenty - Varnix::Platform::WriteBudgetForTesting();
  }
  const std::map<std::string, std::string> reference = Outputs(dir.Path() / "out");
  ASSERT_TRUE(reference.count("synchrono_S01.asc.eeg")) << "the second set is part of the sweep";
  int64_t referenceBytes = 0;
  for (const auto& [name, bytes] : reference) referenceBytes += static_cast<int64_t>(bytes.size());
  ASSERT_EQ(written, referenceBytes) << "every output goes through the platform layer";

  // The budgets end the disk inside each output and on the boundaries between them.
  std::vector<int64_t> budgets = {0, 1, written - 1};
  for (int k = 1; k < 24; ++k) budgets.push_back(written * k / 24);
  int64_t boundary = 0;
  for (const auto& [name, bytes] : reference) {
    boundary += static_cast<int64_t>(bytes.size());
    if (boundary < written) budgets.push_back(boundary);
  }
  for (const int64_t budget : budgets) {
    SCOPED_TRACE("disk full after " + std::to_string(budget) + " of " + std::to_string(written) + " bytes");
    fs::remove_all(dir.Path() / "out");
    fs::create_directory(dir.Path() / "out");
    InProcessRun run;
    {
      FullDiskAfter full(budget);
      run = RunHere(dir.Path(), arguments);
    }
    const std::map<std::string, std::string> found = Outputs(dir.Path() / "out");
    ExpectOnlyWholeOutputs(found, reference);
    EXPECT_LT(found.size(), reference.size()) << "something was not written";
    if (run.status == 0) {
      // Only the statistics files may be missing from a run that succeeds, and it says which.
      for (const auto& [name, bytes] : reference) {
        if (name.rfind("log" + S, 0) != 0) {
          EXPECT_TRUE(found.count(name)) << name << " missing after success";
        }
      }
      EXPECT_NE(run.out.find("ERROR in : "), std::string::npos) << run.out;
    } else {
      EXPECT_EQ(run.status, 253);
      EXPECT_EQ(run.err, "!!! Can not synchronize data !!!\n");
      EXPECT_NE(run.out.find("::write " + std::string("out") + S), std::string::npos) << run.out;
    }
    EXPECT_EQ(Outputs(dir.Path()).size(), inputs.size() + found.size()) << "a file outside the output set";
  }
}

TEST(OutputFailure, ADirectoryInPlaceOfAnOutputEndsTheRunWithItsMessage) {
  testsupport::TempDir dir;
  Simulate(dir.Path());
  const std::map<std::string, std::string> inputs = Outputs(dir.Path());
  struct Row {
    const char* occupied;           ///< output name taken by a directory
    std::vector<std::string> extra;  ///< options of the run
    int status;
    std::string err;
    std::string out;  ///< error line on standard output
  };
  const std::vector<Row> rows = {
      {"synchro_S01.asc.eeg", {}, 253, "!!! Can not synchronize data !!!\n",
       "Brainamp::SynchronizeVarnix::File::Write::pf out" + S + "synchro_S01.asc.eeg"},
      {"synchro_S01.asc.vmrk", {}, 253, "!!! Can not synchronize data !!!\n", "out" + S + "synchro_S01.asc.vmrk"},
      {"synchro_S01.asc.eeg.event.txt", {}, 253, "!!! Can not synchronize data !!!\n",
       "Opening log file :  out" + S + "synchro_S01.asc.eeg.event.txt"},
      {"synchrono_S01.asc.vhdr", {"-N"}, 253, "!!! Can not synchronize data !!!\n",
       "out" + S + "synchrono_S01.asc.vhdr"},
      {"S01.asc.mat", {"-m"}, 253, "!!! Can not create a valid MAT file -> out" + S + "S01.asc.mat\n",
       "out" + S + "S01.asc.mat"},
      {"S01.asc.event.txt", {"-m"}, 253, "!!! Can not create a valid MAT file -> out" + S + "S01.asc.mat\n",
       "Opening log file :  out" + S + "S01.asc.event.txt"},
      {"synchro_S01.asc.eeg.mat", {"-m"}, 253, "!!! Can not synchronize data !!!\n",
       "out" + S + "synchro_S01.asc.eeg.mat"},
      {"synchrono_S01.asc.eeg.mat", {"-m", "-N"}, 253, "!!! Can not synchronize data !!!\n",
       "out" + S + "synchrono_S01.asc.eeg.mat"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.occupied) + " taken");
    fs::remove_all(dir.Path() / "out");
    fs::create_directories(dir.Path() / "out" / row.occupied);
    std::vector<std::string> arguments = {"S01.asc", "-h", "out"};
    arguments.insert(arguments.end(), row.extra.begin(), row.extra.end());
    const ProgramRun run = RunTolmera(dir.Path().string(), arguments);
    EXPECT_EQ(run.status, row.status) << run.out;
    EXPECT_EQ(run.err, row.err);
    EXPECT_NE(run.out.find("ERROR in : "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(row.out), std::string::npos) << run.out;
    EXPECT_TRUE(fs::is_directory(dir.Path() / "out" / row.occupied)) << "the directory was replaced";
    EXPECT_TRUE(fs::is_empty(dir.Path() / "out" / row.occupied));
    for (const auto& entry : fs::recursive_directory_iterator(dir.Path())) {
      EXPECT_NE(entry.path().extension(), ".tmp") << entry.path() << " left behind";
    }
    const std::map<std::string, std::string> after = Outputs(dir.Path());
    for (const auto& [name, bytes] : inputs) {
      ASSERT_TRUE(after.count(name)) << name;
      EXPECT_TRUE(after.at(name) == bytes) << name << " was changed";
    }
  }
}

/// A small file system of our own that can really fill up, with the MAT files (written by
/// libmatio, outside the platform layer) among the outputs.
TEST(OutputFailure, ARealFullDiskFailsTheMatExportsAndTheMergedSetsCleanly) {
  if (geteuid() != 0) GTEST_SKIP() << "filling a disk needs a small file system of our own";
  testsupport::TempDir dir;
  Simulate(dir.Path());
  const std::vector<std::string> arguments = {"S01.asc", "-m", "-N", "-h", "disk" + S + "out"};
  fs::create_directories(dir.Path() / "ref" / "out");
  const ProgramRun complete = RunTolmera(dir.Path().string(), {"S01.asc", "-m", "-N", "-h", "ref" + S + "out"});
  ASSERT_EQ(complete.status, 0) << complete.out << complete.err;
  const std::map<std::string, std::string> reference = Outputs(dir.Path() / "ref" / "out");
  int64_t total = 0;
  for (const auto& [name, bytes] : reference) total += static_cast<int64_t>(bytes.size());

  const std::string disk = dir / "disk";
  fs::create_directory(disk);
  // Room for a quarter, half and most of the outputs: the disk fills in different files.
  for (const int64_t room : {total / 4, total / 2, total * 7 / 8}) {
    SCOPED_TRACE("room for " + std::to_string(room) + " of " + std::to_string(total) + " bytes");
    const std::string size = std::to_string((room + 65536) / 4096 * 4096 + 4096);
    if (std::system(("mount -t tmpfs -o size=" + size + " tmpfs '" + disk + "' 2>/dev/null").c_str()) != 0) {
      GTEST_SKIP() << "cannot mount a small file system here";
    }
    struct Unmount {
      std::string at;
      ~Unmount() { std::system(("umount '" + at + "' 2>/dev/null").c_str()); }
    } unmount{disk};
    fs::create_directory(disk + S + "out");
    const fs::space_info space = fs::space(disk);
    if (space.available > static_cast<uintmax_t>(room)) {
      testsupport::WriteFile(disk + S + "filler", std::string(space.available - static_cast<uintmax_t>(room), 'f'));
    }
    const ProgramRun run = RunTolmera(dir.Path().string(), arguments);
    EXPECT_EQ(run.status, 253) << run.out << run.err;
    EXPECT_TRUE(run.err == "!!! Can not synchronize data !!!\n" ||
                run.err == "!!! Can not create a valid MAT file -> disk" + S + "out" + S + "S01.asc.mat\n")
        << run.err;
    const std::map<std::string, std::string> found = Outputs(disk + S + "out");
    ExpectOnlyWholeOutputs(found, reference);
    for (const auto& entry : fs::recursive_directory_iterator(disk)) {
      EXPECT_NE(entry.path().extension(), ".tmp") << entry.path() << " left behind";
    }
  }
}

#endif

}  // namespace
