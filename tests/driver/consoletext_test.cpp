#include "driver/consoletext.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "driver/builddate.h"

namespace {

const std::string kCallingConvention =
    "Generate Brainamp & Eyelink synchronized data\n\n"
    "Calling convention : Tolmera.exe EEGfileName ASCfileName [options]\n\n"
    "EEGfileName         - a valid .EEG file Brainamp format (multiplexed)\n"
    "ASCfileName         - a valid .ASC file EyeLink format\n\n"
    "If the EEGfileName and the ASCfileName have the same base name then only one can be provided.\n\n"
    "Options\n"
    "[-p]                - pupil size processing (default : false)\n"
    "[-h outputPath]     - Specifies where the synthonized output files are stored\n"
    "[-e]                - interpolation toward EEG               (default :  toward GAZE)\n"
    "[-O]                - clock model of a line through the first and last matched trigger\n"
    "                      (default : fitted to every matched trigger)\n"
    "[-F]                - merge even recordings that do not seem to belong together\n"
    "[-M keyword]        - the tracker's triggers from its messages: the code after keyword\n\n\n"
    "tolmera --help lists every option\n";

std::string Banner(const std::string& args) {
  return std::string("Software version : ") + BuildDate() + "\n\nTolmera" + args + "\n\n";
}

TEST(ConsoleText, UsageWithoutArgumentsHasNoLineEndAfterTheReason) {
  std::ostringstream out;
  ConsoleText::Usage(out, {}, ConsoleText::kInvalidArguments);
  EXPECT_EQ(out.str(), Banner("") + "Invalid argument list\n\n\n" + kCallingConvention);
}

TEST(ConsoleText, UsageForInputFilesEchoesTheArguments) {
  std::ostringstream out;
  ConsoleText::Usage(out, {"a.asc", "-e"}, ConsoleText::kInputFilesProblem);
  EXPECT_EQ(out.str(), Banner(" a.asc -e") +
                           "Problem with input files. Please verify that the .eeg, .vhdr, .vmrk and .asc "
                           "files exist and are named correctly.\n\n\n\n" +
                           kCallingConvention);
}

TEST(ConsoleText, RunParametersOfAPlainRun) {
  SynchroParams p;
  p.eegFileName = "./S01.eeg";
  p.ascFileName = "./S01.asc";
  std::ostringstream out;
  ConsoleText::RunParameters(out, {"S01.asc"}, p);
  EXPECT_EQ(out.str(), Banner(" S01.asc") +
                           "Processing \n"
                           "  EEG file name              : ./S01.eeg\n"
                           "  EYELINK file name          : ./S01.asc\n"
                           "\n"
                           "  Do drift correction        : result files begin with \"synchro\" string\n"
                           "  Interpolation              : Uses Eytracker device as reference\n"
                           "\n");
}

TEST(ConsoleText, RunParametersShowEveryChosenSetting) {
  SynchroParams p;
  p.eegFileName = "x.eeg";
  p.ascFileName = "y.asc";
  p.triggersFileName = "names.txt";
  p.alsoWithoutDrift = true;
  p.interpolateTowardEeg = true;
  p.falseBlinkMsec = 50;
  p.pupilSize = true;
  p.matOutput = true;
  std::ostringstream out;
  ConsoleText::RunParameters(out, {}, p);
  EXPECT_EQ(out.str(), Banner("") +
                           "Processing \n"
                           "  EEG file name              : x.eeg\n"
                           "  EYELINK file name          : y.asc\n"
                           "  Triggers File   : names.txt\n"
                           "  Do drift correction        : result files begin with \"synchro\" string\n"
                           "  No drift correction        : result files begin with \"synchrono\" string\n"
                           "  Interpolation              : Uses EEG device as reference\n"
                           "  False blinks detection     : YES under 50 msec\n"
                           "  Pupil size                 : YES\n"
                           "  Mat files output enabled   : YES\n"
                           "\n");
}

}  // namespace
