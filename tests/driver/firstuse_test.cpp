// What a first-time user meets, through the built program in a scratch folder: the recording named
// by any of its files and in any case, the header's own names for its data and markers, a refusal
// that names the file or the reason, --help, --version and the warning for an unknown option.

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "driver/builddate.h"
#include "driver/commandline.h"
#include "programrun.h"
#include "support/testsupport.h"
#include "varnixlib/support/platform.h"

namespace {

namespace fs = std::filesystem;
const std::string S(1, Varnix::Platform::kSeparator);

/// A header the readers accept up to the sample type, which none reads: a run that resolves its
/// names stops right after the run parameters, with status 253.
std::string Header(const std::string& commonExtra = "", const std::string& format = "UINT_16") {
  return "Brain Vision Data Exchange Header File Version 1.0\r\n[Common Infos]\r\n" + commonExtra +
         "NumberOfChannels=1\r\n[Binary Infos]\r\nBinaryFormat=" + format + "\r\n";
}
const std::string kMarkers = "Brain Vision Data Exchange Marker File, Version 1.0\r\n";
const std::string kAsc = "** CONVERTED FROM x.edf\n";
const std::string kEegLabel = "  EEG file name              : ";
const std::string kAscLabel = "  EYELINK file name          : ";
const std::string kInputFilesReason =
    "Problem with input files. Please verify that the .eeg, .vhdr, .vmrk and .asc files exist and are "
    "named correctly.\n";

std::string Rel(const std::string& name) { return "." + S + name; }

struct NamingCase {
  const char* what;
  std::vector<std::pair<std::string, std::string>> files;  ///< name, content ("H" header, "M" markers, "A" asc)
  std::vector<std::string> arguments;
  int status;
  std::string eegShown;   ///< the EEG file name the run parameters show (status 253)
  std::string ascShown;
  std::string errLine;    ///< a line standard error must hold (or empty)
};

std::string Content(const std::string& code) {
  if (code == "H") return Header();
  if (code == "M") return kMarkers;
  if (code == "A") return kAsc;
  if (code == "D") return std::string(4, '\0');
  return code;  // literal header text
}

TEST(FirstUse, EveryRecordingNameAndEveryMissingFileIsResolvedOrNamed) {
  const std::string renamed = Header("DataFile=S01.eeg\r\nMarkerFile=S01.vmrk\r\n");
  const std::vector<NamingCase> cases = {
      {"the header's name", {{"S01.vhdr", "H"}, {"S01.eeg", "D"}, {"S01.vmrk", "M"}, {"S01.asc", "A"}},
       {"S01.vhdr"}, 253, Rel("S01.eeg"), Rel("S01.asc"), ""},
      {"the marker file's name with the asc", {{"S01.vhdr", "H"}, {"S01.eeg", "D"}, {"S01.vmrk", "M"}, {"x.asc", "A"}},
       {"x.asc", "S01.vmrk"}, 253, Rel("S01.eeg"), Rel("x.asc"), ""},
      {"upper-case Windows export", {{"S01.VHDR", "H"}, {"S01.EEG", "D"}, {"S01.VMRK", "M"}, {"S01.ASC", "A"}},
       {"S01.VHDR"}, 253, Rel("S01.EEG"), Rel("S01.ASC"), ""},
      {"upper-case files named in lower case", {{"S01.VHDR", "H"}, {"S01.EEG", "D"}, {"S01.VMRK", "M"}, {"S01.ASC", "A"}},
       {"S01.asc"}, 253, Rel("S01.EEG"), Rel("S01.ASC"), ""},
      {"mixed case", {{"S01.Vhdr", "H"}, {"S01.eeg", "D"}, {"S01.vmrk", "M"}, {"S01.asc", "A"}},
       {"S01.Vhdr"}, 253, Rel("S01.eeg"), Rel("S01.asc"), ""},
      {"a renamed recording keeps its inner names", {{"S02.vhdr", renamed}, {"S01.eeg", "D"}, {"S01.vmrk", "M"}, {"S02.asc", "A"}},
       {"S02.vhdr"}, 253, Rel("S01.eeg"), Rel("S02.asc"), ""},
      {"a data file the user names keeps its role", {{"S02.vhdr", renamed}, {"S02.eeg", "D"}, {"S01.vmrk", "M"}, {"S02.asc", "A"}},
       {"S02.eeg"}, 253, Rel("S02.eeg"), Rel("S02.asc"), ""},
      {"data outside the header's folder",
       {{"rec/S01.vhdr", Header("DataFile=..\\store\\S01.eeg\r\n")}, {"store/S01.eeg", "D"}, {"rec/S01.vmrk", "M"}, {"rec/S01.asc", "A"}},
       {"rec/S01.vhdr"}, 253, "rec" + S + ".." + S + "store" + S + "S01.eeg", "rec" + S + "S01.asc", ""},
      {"missing header", {{"S01.eeg", "D"}, {"S01.vmrk", "M"}, {"S01.asc", "A"}},
       {"S01.asc"}, 255, "", "", "!!! Missing file: " + Rel("S01.vhdr") + " (the EEG recording's header)"},
      {"missing markers", {{"S01.vhdr", "H"}, {"S01.eeg", "D"}, {"S01.asc", "A"}},
       {"S01.asc"}, 255, "", "", "!!! Missing file: " + Rel("S01.vmrk") + " (the EEG recording's markers)"},
      {"missing data", {{"S01.vhdr", "H"}, {"S01.vmrk", "M"}, {"S01.asc", "A"}},
       {"S01.vhdr"}, 255, "", "", "!!! Missing file: " + Rel("S01.eeg") + " (the EEG recording's data)"},
      {"missing asc", {{"S01.vhdr", "H"}, {"S01.eeg", "D"}, {"S01.vmrk", "M"}},
       {"S01.eeg"}, 255, "", "", "!!! Missing file: " + Rel("S01.asc") + " (the EyeLink recording)"},
      {"missing trigger names", {{"S01.vhdr", "H"}, {"S01.eeg", "D"}, {"S01.vmrk", "M"}, {"S01.asc", "A"}},
       {"S01.asc", "-t", "names.txt"}, 255, "", "", "!!! Missing file: names.txt (the trigger names)"},
      {"DataFile= names a missing file", {{"S02.vhdr", renamed}, {"S02.eeg", "D"}, {"S01.vmrk", "M"}, {"S02.asc", "A"}},
       {"S02.asc", "S02.vhdr"}, 255, "", "",
       "!!! Missing file: " + Rel("S01.eeg") + " (the EEG recording's data, named by DataFile= in " + Rel("S02.vhdr") + ")"},
      {"DataFile= names a folder", {{"S01.vhdr", Header("DataFile=sub\r\n")}, {"sub/keep", "x"}, {"S01.vmrk", "M"}, {"S01.asc", "A"}},
       {"S01.vhdr"}, 255, "", "",
       "!!! Not a file but a folder: " + Rel("sub") + " (the EEG recording's data, named by DataFile= in " + Rel("S01.vhdr") + ")"},
  };
  for (const NamingCase& c : cases) {
    SCOPED_TRACE(c.what);
    testsupport::TempDir dir;
    for (const auto& [name, code] : c.files) {
      fs::create_directories((dir.Path() / name).parent_path());
      testsupport::WriteFile(dir / name, Content(code));
    }
    const ProgramRun run = RunTolmera(dir.Path().string(), c.arguments);
    EXPECT_EQ(run.status, c.status) << run.out << run.err;
    if (c.status == 253) {
      EXPECT_NE(run.out.find(kEegLabel + c.eegShown + "\n" + kAscLabel + c.ascShown + "\n"), std::string::npos)
          << run.out;
    } else {
      EXPECT_NE(run.out.find(kInputFilesReason), std::string::npos) << "the specified text stays";
      EXPECT_NE(run.err.find(c.errLine + "\n"), std::string::npos) << run.err;
      EXPECT_FALSE(fs::exists(dir / "log")) << "nothing runs after unusable names";
    }
    const bool outside = std::string(c.what) == "data outside the header's folder";
    EXPECT_EQ(run.out.find("names with DataFile= a file in another folder") != std::string::npos, outside) << run.out;
  }
}

TEST(FirstUse, AnUnreadSampleTypeNamesTheHeaderAndTheFormat) {
  testsupport::TempDir dir;
  testsupport::WriteFile(dir / "S01.vhdr", Header("", "INT_32"));
  testsupport::WriteFile(dir / "S01.eeg", std::string(8, '\0'));
  testsupport::WriteFile(dir / "S01.vmrk", kMarkers);
  testsupport::WriteFile(dir / "S01.asc", kAsc);
  const ProgramRun run = RunTolmera(dir.Path().string(), {"S01.vhdr"});
  EXPECT_EQ(run.status, 253);
  EXPECT_EQ(run.err, "!!! " + Rel("S01.vhdr") +
                         " stores its samples as BinaryFormat=INT_32; only INT_16, IEEE_FLOAT_32 and "
                         "IEEE_FLOAT_64 are read\n!!! Invalid EEG data format\n");
}

TEST(FirstUse, HelpListsEveryOptionTheCommandLineKnows) {
  testsupport::TempDir dir;
  for (const std::string asked : {"--help", "-?"}) {
    const ProgramRun run = RunTolmera(dir.Path().string(), {"S01.asc", asked});
    EXPECT_EQ(run.status, 0);
    EXPECT_FALSE(fs::exists(dir / "log")) << "help runs nothing";
    // Every two-character option the parser takes must have its own line in the help.
    for (int c = 33; c < 127; ++c) {
      const std::string option = std::string("-") + static_cast<char>(c);
      SynchroParams params;
      const CommandLine line = CommandLine::Parse({option, "value"}, params);
      if (!line.UnknownOptions().empty()) continue;
      const std::string entry = option == "-Q" || option == "-A" ? "  -Q, -A" : option == "-?" ? "  --help, -?" : "  " + option + " ";
      EXPECT_NE(run.out.find("\n" + entry), std::string::npos) << option << " missing from the help";
    }
    for (const std::string needed : {"--version", "Exit status", "255", "254", "253", "252", "128+N", "README.md"}) {
      EXPECT_NE(run.out.find(needed), std::string::npos) << needed;
    }
  }
  const ProgramRun version = RunTolmera(dir.Path().string(), {"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("tolmera ") + TOLMERA_PROJECT_VERSION + " (built " + BuildDate() + ")\n");
}

TEST(FirstUse, UnknownOptionsAreNamedAndTheUsagePointsAtHelp) {
  testsupport::TempDir dir;
  testsupport::WriteFile(dir / "S01.asc", kAsc);
  const ProgramRun run = RunTolmera(dir.Path().string(), {"-x", "S01.asc", "--pupil", "-"});
  EXPECT_EQ(run.status, 255);
  for (const std::string option : {"-x", "--pupil", "-"}) {
    EXPECT_NE(run.err.find("Warning: " + option + " is not an option of tolmera and is ignored"), std::string::npos)
        << run.err;
  }
  EXPECT_NE(run.out.find("\n\n\ntolmera --help lists every option\n"), std::string::npos) << run.out;
}

}  // namespace

namespace {

// A small recording pair that passes both reading stages: two EEG triggers (1, 2) and two
// tracker triggers (12, 3), one 500 Hz block.
const std::string kPairHeader =
    "Brain Vision Data Exchange Header File Version 1.0\r\n[Common Infos]\r\nCodepage=UTF-8\r\n"
    "DataFile=S01.eeg\r\nMarkerFile=S01.vmrk\r\nDataFormat=BINARY\r\nDataOrientation=MULTIPLEXED\r\n"
    "NumberOfChannels=2\r\nSamplingInterval=2000\r\n[Binary Infos]\r\nBinaryFormat=INT_16\r\n"
    "[Channel Infos]\r\nCh1=Fp1,,0.1,uV\r\nCh2=Fp2,,0.1,uV\r\n";
const std::string kPairMarkers =
    "Brain Vision Data Exchange Marker File, Version 1.0\r\n[Common Infos]\r\nCodepage=UTF-8\r\n"
    "DataFile=S01.eeg\r\n[Marker Infos]\r\nMk1=New Segment,,1,1,0,20190412101530123456\r\n"
    "Mk2=Stimulus,S  1,3,1,0\r\nMk3=Stimulus,S  2,40,1,0\r\n";
const std::string kPairAsc =
    "** CONVERTED FROM D:\\data\\S01.edf using edfapi 4.2.1\n"
    "MSG\t1000 DISPLAY_COORDS 0 0 1919 1079\n"
    "START\t1000 \tLEFT\tSAMPLES\tEVENTS\n"
    "SAMPLES\tGAZE\tLEFT\tRATE\t 500.00\tTRACKING\tCR\tFILTER\t2\n"
    "INPUT\t1000\t0\n"
    "1000\t 960.0\t 540.0\t 1000.0\t...\n"
    "INPUT\t1004\t12\n"
    "1004\t 962.0\t 542.0\t 1002.0\t...\n"
    "INPUT\t1010\t0\n"
    "1010\t 964.0\t 544.0\t 1004.0\t...\n"
    "INPUT\t1012\t3\n"
    "1012\t 965.0\t 545.0\t 1005.0\t...\n"
    "END\t1016 \tSAMPLES\tEVENTS\tRES\t 40.0\t 40.0\n";

struct RefusalCase {
  const char* what;
  std::string asc;
  std::string eeg;  ///< data bytes
  int status;
  std::vector<std::string> outLines;  ///< lines standard output holds, in this order
  std::vector<std::string> errLines;
};

TEST(FirstUse, EveryRefusalSaysWhy) {
  auto replace = [](std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    if (at == std::string::npos) ADD_FAILURE() << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
  };
  const std::string samples(200, '\1');
  const std::string log = "." + S + "log" + S + "Log-AscRawData.txt";
  const std::vector<RefusalCase> cases = {
      {"no shared code", kPairAsc, samples, 253,
       {"ERROR: Problem with TriggerMatching and indexes!\n",
        "ERROR: the two recordings share no trigger code: the eye tracker's triggers (.asc): 3 x1, 12 x1; "
        "the EEG's triggers (.vmrk): 1 x1, 2 x1\n"},
       {"!!! Can not synchronize data !!!\n"}},
      {"no tracker trigger", replace(replace(kPairAsc, "INPUT\t1004\t12\n", ""), "INPUT\t1012\t3\n", ""), samples, 253,
       {"ERROR: Problem with TriggerMatching!\n", "ERROR: the eye tracker's triggers (.asc): no trigger to match\n"},
       {"!!! Can not synchronize data !!!\n"}},
      {"header refused", replace(kPairAsc, "RATE\t 500.00", "RATE\t 4000.00"), samples, 254, {},
       {"!!! " + log + " ends with: Invalid ASC header", "!!! Can not process the ASC file -> ./S01.asc\n"}},
      {"source named inside the project", kPairAsc, samples.substr(1), 253,
       {"ERROR in : varnixlib/brainvision/"}, {"!!! Can not process the EEG files"}},
  };
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.what);
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "S01.vhdr", kPairHeader);
    testsupport::WriteFile(dir / "S01.vmrk", kPairMarkers);
    testsupport::WriteFile(dir / "S01.eeg", c.eeg);
    testsupport::WriteFile(dir / "S01.asc", c.asc);
    const ProgramRun run = RunTolmera(dir.Path().string(), {"S01.asc"});
    EXPECT_EQ(run.status, c.status) << run.out << run.err;
    size_t from = 0;
    for (const std::string& line : c.outLines) {
      const size_t at = run.out.find(line, from);
      EXPECT_NE(at, std::string::npos) << line << "\n--- in ---\n" << run.out;
      if (at != std::string::npos) from = at + line.size();
    }
    for (const std::string& line : c.errLines) EXPECT_NE(run.err.find(line), std::string::npos) << line << run.err;
    // No line names a source by the build machine's folders.
    EXPECT_EQ(run.out.find(std::string("ERROR in : ") + TOLMERA_SOURCE_DIR), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("WARNING in : /"), std::string::npos) << run.out;
  }
}

}  // namespace

#ifdef TOLMERA_SIM_PATH
namespace {

// Whole runs: the merge reads the header and markers the names point at, not a guess beside the
// data file, so a renamed or upper-case recording merges as the original does.
TEST(FirstUse, RenamedAndUpperCaseRecordingsMergeLikeTheOriginal) {
  struct Layout {
    const char* what;
    std::vector<std::pair<std::string, std::string>> renames;  ///< from, to
    std::string argument;
    std::string set;  ///< base of the merged set
  };
  const std::vector<Layout> layouts = {
      {"original", {}, "S01.vhdr", "synchro_S01.asc"},
      {"header and asc renamed, inner names kept", {{"S01.vhdr", "X.vhdr"}, {"S01.asc", "X.asc"}}, "X.vhdr", "synchro_X.asc"},
      {"Windows upper case",
       {{"S01.vhdr", "S01.VHDR"}, {"S01.vmrk", "S01.VMRK"}, {"S01.eeg", "S01.EEG"}, {"S01.asc", "S01.ASC"}},
       "S01.VHDR", "synchro_S01.ASC"},
  };
  std::string reference;
  for (const Layout& layout : layouts) {
    SCOPED_TRACE(layout.what);
    testsupport::TempDir dir;
    const std::string sim = std::string("\"") + TOLMERA_SIM_PATH + "\" --out \"" + dir.Path().string() +
                            "\" --name S01 --duration 20 --seed 9 > /dev/null 2>&1";
    ASSERT_EQ(std::system(sim.c_str()), 0);
    for (const auto& [from, to] : layout.renames) fs::rename(dir / from, dir / to);
    const ProgramRun run = RunTolmera(dir.Path().string(), {layout.argument});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const std::string header = testsupport::ReadFile(dir / (layout.set + ".vhdr"));
    EXPECT_NE(header.find("DataFile=" + layout.set + ".eeg"), std::string::npos) << header;
    EXPECT_NE(header.find("MarkerFile=" + layout.set + ".vmrk"), std::string::npos) << header;
    // The same samples whatever the files are called.
    const std::string data = testsupport::ReadFile(dir / (layout.set + ".eeg"));
    if (reference.empty()) reference = data;
    EXPECT_EQ(data, reference);
    EXPECT_FALSE(data.empty());
  }
}

}  // namespace
#endif
