// The tolmera program run as a user runs it, in a scratch directory, on tiny fixture files.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "driver/builddate.h"
#include "programrun.h"
#include "support/testsupport.h"
#include "varnixlib/support/platform.h"

namespace {

namespace fs = std::filesystem;
const std::string S(1, Varnix::Platform::kSeparator);

// A header whose sample type no reader accepts: the run stops right after the run parameters.
const std::string kUnknownFormatHeader =
    "Brain Vision Data Exchange Header File Version 1.0\r\n[Common Infos]\r\nNumberOfChannels=1\r\n"
    "[Binary Infos]\r\nBinaryFormat=UINT_16\r\n";

void WriteEegSet(const std::string& base, const std::string& header = kUnknownFormatHeader) {
  testsupport::WriteFile(base + ".eeg", std::string(4, '\0'));
  testsupport::WriteFile(base + ".vhdr", header);
  testsupport::WriteFile(base + ".vmrk", "Brain Vision Data Exchange Marker File, Version 1.0\r\n");
}

void WriteAsc(const std::string& path) { testsupport::WriteFile(path, "** CONVERTED FROM x.edf\n"); }

const std::string kUsageTail = "Generate Brainamp & Eyelink synchronized data\n";
const std::string kInputFilesReason =
    "Problem with input files. Please verify that the .eeg, .vhdr, .vmrk and .asc files exist and are "
    "named correctly.\n";

std::string Line(const std::string& label, const std::string& value) { return label + value + "\n"; }
const std::string kEegLabel = "  EEG file name              : ";
const std::string kAscLabel = "  EYELINK file name          : ";

/// Standard output after the banner (which echoes the arguments).
std::string AfterBanner(const std::string& out) {
  const size_t at = out.find("Processing \n");
  return at == std::string::npos ? out : out.substr(at);
}

TEST(Program, NoArgumentsGiveUsageAndStatus255) {
  testsupport::TempDir dir;
  const ProgramRun run = RunTolmera(dir.Path().string(), {});
  EXPECT_EQ(run.status, 255);
  // The whole of standard output, byte for byte: nothing before the banner, nothing after the
  // calling convention and its two empty lines.
  EXPECT_EQ(run.out, std::string("Software version : ") + BuildDate() +
                         "\n\nTolmera\n\nInvalid argument list\n\n\n"
                         "Generate Brainamp & Eyelink synchronized data\n\n"
                         "Calling convention : Tolmera.exe EEGfileName ASCfileName [options]\n\n"
                         "EEGfileName         - a valid .EEG file Brainamp format (multiplexed)\n"
                         "ASCfileName         - a valid .ASC file EyeLink format\n\n"
                         "If the EEGfileName and the ASCfileName have the same base name then only one can be "
                         "provided.\n\n"
                         "Options\n"
                         "[-p]                - pupil size processing (default : false)\n"
                         "[-h outputPath]     - Specifies where the synthonized output files are stored\n"
                         "[-e]                - interpolation toward EEG               (default :  toward GAZE)\n"
    "[-O]                - clock model of a line through the first and last matched trigger\n"
    "                      (default : fitted to every matched trigger)\n"
    "[-F]                - merge even recordings that do not seem to belong together\n"
    "[-M keyword]        - the tracker's triggers from its messages: the code after keyword\n\n\n"
    "tolmera --help lists every option\n");
  EXPECT_EQ(run.err, "");
}

TEST(Program, NameWithoutAscOrEegExtensionGivesStatus252) {
  testsupport::TempDir dir;
  WriteEegSet(dir / "S01");
  const ProgramRun run = RunTolmera(dir.Path().string(), {"S01.txt"});
  EXPECT_EQ(run.status, 252);
  EXPECT_EQ(run.err, "You must provide at least one file with extension .asc or .eeg\n");
  EXPECT_EQ(run.out, "");
}

TEST(Program, MissingInputFilesGiveUsageWithTheReason) {
  testsupport::TempDir dir;
  WriteAsc(dir / "S01.asc");
  const ProgramRun run = RunTolmera(dir.Path().string(), {"S01.asc"});
  EXPECT_EQ(run.status, 255);
  EXPECT_NE(run.out.find("Tolmera S01.asc\n\n" + kInputFilesReason + "\n\n\n" + kUsageTail), std::string::npos)
      << run.out;
  EXPECT_FALSE(fs::exists(dir / "log"));
}

TEST(Program, ValueOptionGivenLastGivesUsageWithTheReason) {
  testsupport::TempDir dir;
  WriteAsc(dir / "S01.asc");
  WriteEegSet(dir / "S01");
  for (const std::string option : {"-h", "-t", "-f"}) {
    const ProgramRun run = RunTolmera(dir.Path().string(), {"S01.asc", option});
    EXPECT_EQ(run.status, 255) << option;
    EXPECT_NE(run.out.find("Option " + option + " must be followed by a value.\n\n\n\n" + kUsageTail),
              std::string::npos)
        << run.out;
  }
  EXPECT_FALSE(fs::exists(dir / "log")) << "nothing runs after a bad command line";
}

TEST(Program, OneAscNameFindsItsEegInTheCurrentDirectory) {
  testsupport::TempDir dir;
  WriteAsc(dir / "S01.asc");
  WriteEegSet(dir / "S01");
  const ProgramRun run = RunTolmera(dir.Path().string(), {"S01.asc"});
  EXPECT_EQ(run.status, 253);
  EXPECT_EQ(AfterBanner(run.out),
            "Processing \n" + Line(kEegLabel, "." + S + "S01.eeg") + Line(kAscLabel, "." + S + "S01.asc") +
                "\n"
                "  Do drift correction        : result files begin with \"synchro\" string\n"
                "  Interpolation              : Uses Eytracker device as reference\n"
                "\n");
  EXPECT_EQ(run.err, "!!! ." + S + "S01.vhdr stores its samples as BinaryFormat=UINT_16; only INT_16, "
                     "IEEE_FLOAT_32 and IEEE_FLOAT_64 are read\n!!! Invalid EEG data format\n");
  // Without -h the log directory sits beside the ASC file and the log is there, empty.
  EXPECT_TRUE(fs::is_regular_file(dir / ("log" + S + "Log-AscRawData.txt")));
  EXPECT_EQ(fs::file_size(dir / ("log" + S + "Log-AscRawData.txt")), 0u);
}

TEST(Program, OneUpperCaseEegNameKeepsItsCase) {
  testsupport::TempDir dir;
  WriteAsc(dir / "S01.asc");
  testsupport::WriteFile(dir / "S01.EEG", "");
  testsupport::WriteFile(dir / "S01.vhdr", kUnknownFormatHeader);
  testsupport::WriteFile(dir / "S01.vmrk", "");
  const ProgramRun run = RunTolmera(dir.Path().string(), {"S01.EEG"});
  EXPECT_EQ(run.status, 253);
  EXPECT_NE(run.out.find(Line(kEegLabel, "." + S + "S01.EEG") + Line(kAscLabel, "." + S + "S01.asc")),
            std::string::npos)
      << run.out;
}

TEST(Program, OneNameReplacesItsFirstAscOnly) {
  testsupport::TempDir dir;
  WriteAsc(dir / "data.eeg.backup.eeg");
  WriteEegSet(dir / "data.asc.backup");
  const ProgramRun run = RunTolmera(dir.Path().string(), {"data.asc.backup.eeg"});
  EXPECT_EQ(run.status, 253);
  EXPECT_NE(run.out.find(Line(kEegLabel, "." + S + "data.asc.backup.eeg") +
                         Line(kAscLabel, "." + S + "data.eeg.backup.eeg")),
            std::string::npos)
      << run.out;
}

TEST(Program, NamesComeInEitherOrderMixedWithOptions) {
  testsupport::TempDir dir;
  WriteAsc(dir / "y.asc");
  WriteEegSet(dir / "x");
  const ProgramRun first = RunTolmera(dir.Path().string(), {"x.eeg", "-e", "y.asc"});
  const ProgramRun second = RunTolmera(dir.Path().string(), {"y.asc", "x.eeg", "-e"});
  EXPECT_EQ(first.status, 253);
  EXPECT_EQ(second.status, 253);
  EXPECT_EQ(AfterBanner(first.out), AfterBanner(second.out));
  EXPECT_NE(first.out.find(Line(kEegLabel, "." + S + "x.eeg") + Line(kAscLabel, "." + S + "y.asc")),
            std::string::npos)
      << first.out;
  EXPECT_NE(first.out.find("Uses EEG device as reference\n"), std::string::npos);
}

TEST(Program, FalseBlinkValueAndDriftLinesArePrinted) {
  testsupport::TempDir dir;
  WriteAsc(dir / "S01.asc");
  WriteEegSet(dir / "S01");
  ProgramRun run = RunTolmera(dir.Path().string(), {"S01.asc", "-f", "50", "-N"});
  EXPECT_NE(run.out.find("  False blinks detection     : YES under 50 msec\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("  Do drift correction        : result files begin with \"synchro\" string\n"
                         "  No drift correction        : result files begin with \"synchrono\" string\n"),
            std::string::npos);
  run = RunTolmera(dir.Path().string(), {"S01.asc", "-f", "abc"});
  EXPECT_EQ(run.out.find("False blinks"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("No drift correction"), std::string::npos);
  EXPECT_EQ(run.status, 253);
}

TEST(Program, UnknownOptionsAreIgnoredAndCapitalHIsNotTheOutputOption) {
  testsupport::TempDir dir;
  WriteAsc(dir / "S01.asc");
  WriteEegSet(dir / "S01");
  ProgramRun run = RunTolmera(dir.Path().string(), {"-x", "S01.asc", "-H"});
  EXPECT_EQ(run.status, 253);
  EXPECT_NE(run.out.find("Tolmera -x S01.asc -H\n"), std::string::npos);
  EXPECT_NE(run.out.find(Line(kAscLabel, "." + S + "S01.asc")), std::string::npos);
  // After -H, "out" is a second file name, not an output directory.
  run = RunTolmera(dir.Path().string(), {"S01.asc", "-H", "out"});
  EXPECT_EQ(run.status, 255);
  EXPECT_NE(run.out.find(kInputFilesReason), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "out"));
}

TEST(Program, OutputPathBelowAnExistingDirectoryIsCreatedWithItsLog) {
  testsupport::TempDir dir;
  WriteAsc(dir / "S01.asc");
  WriteEegSet(dir / "S01");
  fs::create_directory(dir / "out");
  ProgramRun run = RunTolmera(dir.Path().string(), {"S01.asc", "-h", "out/sub"});
  EXPECT_EQ(run.status, 253);
  EXPECT_TRUE(fs::is_regular_file(dir / ("out" + S + "sub" + S + "log" + S + "Log-AscRawData.txt")));
  EXPECT_FALSE(fs::exists(dir / "log"));
  run = RunTolmera(dir.Path().string(), {"S01.asc", "-h", "out\\"});
  EXPECT_EQ(run.status, 253);
  EXPECT_TRUE(fs::is_directory(dir / ("out" + S + "log")));
}

TEST(Program, AMissingOutputFolderIsMadeAndOneThatCannotBeNamesTheReason) {
  testsupport::TempDir dir;
  WriteAsc(dir / "S01.asc");
  WriteEegSet(dir / "S01");
  const ProgramRun made = RunTolmera(dir.Path().string(), {"S01.asc", "-h", "out/sub"});
  EXPECT_TRUE(fs::is_directory(dir / ("out" + S + "sub" + S + "log"))) << made.out;
  EXPECT_NE(made.out.find("Processing"), std::string::npos) << made.out;

  testsupport::WriteFile(dir / "plain", "x");
  const ProgramRun run = RunTolmera(dir.Path().string(), {"S01.asc", "-h", "plain/out"});
  EXPECT_EQ(run.status, 253);
  EXPECT_EQ(run.err, "!!! Can not create output path -> plain" + S + "out\n");
  EXPECT_NE(run.out.find(") File::Mkdir can not create the folder plain" + S + "out: Not a directory\n"),
            std::string::npos)
      << run.out;
  EXPECT_EQ(run.out.find("Processing"), std::string::npos);
}

TEST(Program, AscFileWithOtherExtensionNeedsTheConvertedMark) {
  testsupport::TempDir dir;
  WriteEegSet(dir / "x");
  testsupport::WriteFile(dir / "rec.txt", "plain text\n");
  ProgramRun run = RunTolmera(dir.Path().string(), {"rec.txt", "x.eeg"});
  EXPECT_EQ(run.status, 255);
  EXPECT_NE(run.out.find(kInputFilesReason), std::string::npos);
  WriteAsc(dir / "rec.txt");
  run = RunTolmera(dir.Path().string(), {"rec.txt", "x.eeg"});
  EXPECT_EQ(run.status, 253);
  EXPECT_NE(run.out.find(Line(kAscLabel, "." + S + "rec.txt")), std::string::npos) << run.out;
}

TEST(Program, TriggersFileFoundBesideTheAscFileIsShown) {
  testsupport::TempDir dir;
  WriteAsc(dir / "S01.asc");
  testsupport::WriteFile(dir / "S01.asc.trig.txt", "1 Start\n");
  WriteEegSet(dir / "S01");
  const ProgramRun run = RunTolmera(dir.Path().string(), {"S01.asc"});
  EXPECT_NE(run.out.find("  Triggers File   : ." + S + "S01.asc.trig.txt\n"), std::string::npos) << run.out;
}

}  // namespace

namespace {

TEST(Program, LogFileThatCannotBeOpenedEndsTheRun) {
  testsupport::TempDir dir;
  WriteAsc(dir / "S01.asc");
  WriteEegSet(dir / "S01");
  std::filesystem::create_directories(dir / ("log" + S + "Log-AscRawData.txt"));
  const ProgramRun run = RunTolmera(dir.Path().string(), {"S01.asc"});
  EXPECT_EQ(run.status, 253);
  EXPECT_EQ(run.err, "!!! Can not open the log file -> ." + S + "log" + S + "Log-AscRawData.txt\n");
}

}  // namespace
