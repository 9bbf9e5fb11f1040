// Whole runs on recordings with the stimulus program's items: every kind of item (image, text,
// video, special) opens and closes cleanly, and with -v each video frame reaches the event list, the
// MAT files and the merged markers.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/testsupport.h"
#include "tools/simsupport.h"
#include "varnixlib/support/platform.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace fs = std::filesystem;

namespace {

const std::string S(1, Varnix::Platform::kSeparator);

int RunTolmera(const std::string& arguments, const std::string& log) {
  const std::string command =
      std::string("\"") + TOLMERA_BINARY_PATH + "\" " + arguments + " < /dev/null > \"" + log + "\" 2>&1";
  const int status = std::system(command.c_str());
  return status == -1 ? -1 : (WIFEXITED(status) ? WEXITSTATUS(status) : -1);
}

/// The ASC log's lines that report a state opened twice or closed before it was opened.
std::string MismatchLines(const std::string& log) {
  std::string found;
  for (const std::string& line : simsupport::Lines(testsupport::ReadFile(log))) {
    if (line.find("It means a new") != std::string::npos) found += line + "\n";
  }
  return found;
}

TEST(VideoFrames, TheExampleRecordingLogsNoStateMismatch) {
  testsupport::TempDir dir;
  const std::string examples = std::string(TOLMERA_SOURCE_DIR) + "/examples/";
  const std::string out = dir / "out";
  ASSERT_EQ(RunTolmera("\"" + examples + "S01.eeg\" \"" + examples + "S01.asc\" -h \"" + out + "\"", dir / "run.log"),
            0)
      << testsupport::ReadFile(dir / "run.log");
  const std::string log = out + S + "log" + S + "Log-AscRawData.txt";
  ASSERT_TRUE(fs::exists(log));
  EXPECT_EQ(MismatchLines(log), "");
}

#if defined(TOLMERA_SIM_PATH)

TEST(VideoFrames, WithVEveryFrameReachesTheEventListsTheMatFilesAndTheMergedMarkers) {
  testsupport::TempDir dir;
  const std::string in = dir / "in";
  fs::create_directories(in);
  ASSERT_EQ(simsupport::RunSim("--out \"" + in + "\" --name S01 --structure --seed 7", dir / "sim.log"), 0);
  const std::string inputs = "\"" + in + "/S01.eeg\" \"" + in + "/S01.asc\"";

  const std::string out = dir / "out";
  ASSERT_EQ(RunTolmera(inputs + " -h \"" + out + "\" -v -m", dir / "run.log"), 0)
      << testsupport::ReadFile(dir / "run.log");
  EXPECT_EQ(MismatchLines(out + S + "log" + S + "Log-AscRawData.txt"), "");
  const std::string command = std::string(TOLMERA_PYTHON) + " \"" + TOLMERA_SOURCE_DIR +
                              "/tests/tools/check_frames.py\" \"" + in + "/S01.asc\" \"" + out + "/S01.asc.mat\" \"" +
                              out + "/synchro_S01.asc.eeg.mat\" \"" + out + "/synchro_S01.asc.vmrk\" \"" + out +
                              "/synchro_S01.asc.eeg.event.txt\" > \"" + (dir / "check.txt") + "\" 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(testsupport::ReadFile(dir / "check.txt"), "OK\n");

  // Without -v the frames are counted on the videos but listed nowhere.
  const std::string plain = dir / "plain";
  ASSERT_EQ(RunTolmera(inputs + " -h \"" + plain + "\" -m", dir / "plain.log"), 0);
  EXPECT_EQ(testsupport::ReadFile(plain + "/synchro_S01.asc.vmrk").find(",S1005,"), std::string::npos);
  EXPECT_EQ(testsupport::ReadFile(plain + "/synchro_S01.asc.eeg.event.txt").find("1005"), std::string::npos);
  EXPECT_NE(testsupport::ReadFile(out + "/synchro_S01.asc.vmrk").find(",S1005,"), std::string::npos);
}

#endif

}  // namespace
