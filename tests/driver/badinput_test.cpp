// Bad input through the tolmera program, one table row per case: each input file kind truncated,
// emptied, replaced by garbage, with foreign line endings, missing keys, huge and negative numbers,
// awkward names, and output directories that are missing or cannot be written. Every case checks
// the exit status and the error lines, that no input changed by a single byte, and that nothing
// is left half-written (no temporary file of an output survives the run). The recording's
// triggers share no codes, so a run whose EEG and ASC stages pass ends at the synchronisation;
// failures of the outputs of runs that synchronise are in outputfailure_test.cpp.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "programrun.h"
#include "support/testsupport.h"
#include "varnixlib/support/platform.h"

namespace {

namespace fs = std::filesystem;

const std::string S(1, Varnix::Platform::kSeparator);

const std::string kHeader =
    "Brain Vision Data Exchange Header File Version 1.0\r\n"
    "; Data created by the BrainVision Recorder\r\n"
    "\r\n"
    "[Common Infos]\r\nCodepage=UTF-8\r\nDataFile=S01.eeg\r\nMarkerFile=S01.vmrk\r\n"
    "DataFormat=BINARY\r\nDataOrientation=MULTIPLEXED\r\nNumberOfChannels=2\r\n"
    "SamplingInterval=2000\r\n"
    "\r\n"
    "[Binary Infos]\r\nBinaryFormat=INT_16\r\n"
    "\r\n"
    "[Channel Infos]\r\nCh1=Fp1,,0.1,\xC2\xB5V\r\nCh2=Fp2,,0.1,\xC2\xB5V\r\n";

const std::string kMarkers =
    "Brain Vision Data Exchange Marker File, Version 1.0\r\n"
    "\r\n"
    "[Common Infos]\r\nCodepage=UTF-8\r\nDataFile=S01.eeg\r\n"
    "\r\n"
    "[Marker Infos]\r\n"
    "Mk1=New Segment,,1,1,0,20190412101530123456\r\n"
    "Mk2=Stimulus,S  1,3,1,0\r\n"
    "Mk3=Stimulus,S  2,40,1,0\r\n";

/// Two channels of 50 samples, 16-bit little-endian.
std::string Samples() {
  std::string bytes;
  for (int i = 0; i < 100; ++i) {
    const int16_t value = static_cast<int16_t>(i * 37 - 1800);
    bytes.push_back(static_cast<char>(value & 0xFF));
    bytes.push_back(static_cast<char>((value >> 8) & 0xFF));
  }
  return bytes;
}

std::string Garbage(size_t size) {
  std::string bytes(size, '\0');
  uint32_t state = 2463534242u;
  for (char& c : bytes) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    c = static_cast<char>(state & 0xFF);
  }
  return bytes;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  if (at == std::string::npos) ADD_FAILURE() << "no " << from;
  else text.replace(at, from.size(), to);
  return text;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

/// A small binocular-free recording: one block at 500 Hz, two triggers, a fixation and a blink.
const std::string kAsc =
    "** CONVERTED FROM D:\\data\\S01.edf using edfapi 4.2.1\n"
    "** DATE: Mon Mar 16 10:15:26 2026\n"
    "**\n"
    "MSG\t1000 DISPLAY_COORDS 0 0 1919 1079\n"
    "START\t1000 \tLEFT\tSAMPLES\tEVENTS\n"
    "PRESCALER\t1\n"
    "SAMPLES\tGAZE\tLEFT\tRATE\t 500.00\tTRACKING\tCR\tFILTER\t2\n"
    "EVENTS\tGAZE\tLEFT\tRATE\t 500.00\tTRACKING\tCR\tFILTER\t2\n"
    "INPUT\t1000\t0\n"
    "1000\t 960.0\t 540.0\t 1000.0\t...\n"
    "1002\t 961.0\t 541.0\t 1001.0\t...\n"
    "INPUT\t1004\t12\n"
    "SFIX L   1004\n"
    "1004\t 962.0\t 542.0\t 1002.0\t...\n"
    "1006\t 963.0\t 543.0\t 1003.0\t...\n"
    "EFIX L   1004\t1006\t4\t 962.5\t 542.5\t 1002\n"
    "SBLINK L 1008\n"
    "1008\t   .\t   .\t    0.0\t...\n"
    "EBLINK L 1008\t1008\t2\n"
    "INPUT\t1010\t0\n"
    "1010\t 964.0\t 544.0\t 1004.0\t...\n"
    "MSG\t1011 TRIALID 1\n"
    "INPUT\t1012\t3\n"
    "1012\t 965.0\t 545.0\t 1005.0\t...\n"
    "1014\t 966.0\t 546.0\t 1006.0\t...\n"
    "END\t1016 \tSAMPLES\tEVENTS\tRES\t 40.0\t 40.0\n";

/// The files of one recording, by name; an absent entry is an absent file.
struct Recording {
  std::string stem = "S01";
  std::map<std::string, std::string> files;  ///< extension -> content
};

Recording Valid(const std::string& stem = "S01") {
  Recording r;
  r.stem = stem;
  r.files["asc"] = kAsc;
  r.files["vhdr"] = Replace(Replace(kHeader, "S01.eeg", stem + ".eeg"), "S01.vmrk", stem + ".vmrk");
  r.files["vmrk"] = Replace(kMarkers, "S01.eeg", stem + ".eeg");
  r.files["eeg"] = Samples();
  return r;
}

enum class Expect {
  EegStageFails,   ///< 253, "!!! Can not process the EEG files -> " and the data file
  InvalidFormat,   ///< 253, "!!! Invalid EEG data format"
  OutputPathFails, ///< 253, "!!! Can not create output path -> " and the path
  InputFilesMissing, ///< 255 and the usage naming the input files
  AscStageFails,   ///< 254, "!!! Can not process the ASC file -> " and the ASC file
  CorruptionStop,  ///< 255 after the ASC parser's corruption message naming the file
  AscStagePasses,  ///< the run goes past the ASC stage
  EegStagePasses,  ///< the run goes past the EEG stage
};

struct Case {
  const char* name;
  std::function<void(Recording&)> change;
  Expect expect;
  std::vector<std::string> outLines;  ///< texts that must appear on standard output
  std::vector<std::string> extraArguments = {};
  /// Input files the run replaces by a whole new file of its own (the parse cache with -G).
  std::vector<std::string> replaced = {};
};

/// How every parse cache the program writes begins.
const std::string kCacheMagic("TLMRASC\x1a", 8);

/// Every file under dir with its bytes.
std::map<std::string, std::string> Snapshot(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (entry.is_regular_file()) files[entry.path().string()] = testsupport::ReadFile(entry.path().string());
  }
  return files;
}

void RunCase(const Case& c) {
  SCOPED_TRACE(c.name);
  testsupport::TempDir dir;
  Recording recording = Valid();
  c.change(recording);
  const fs::path inputs = dir.Path() / "in";
  fs::create_directory(inputs);
  for (const auto& [extension, content] : recording.files) {
    testsupport::WriteFile((inputs / (recording.stem + "." + extension)).string(), content);
  }
  const std::map<std::string, std::string> before = Snapshot(inputs);

  std::vector<std::string> arguments = {"in" + S + recording.stem + ".asc"};
  arguments.insert(arguments.end(), c.extraArguments.begin(), c.extraArguments.end());
  const ProgramRun run = RunTolmera(dir.Path().string(), arguments);

  switch (c.expect) {
    case Expect::EegStageFails:
      EXPECT_EQ(run.status, 253);
      EXPECT_EQ(run.err, "!!! Can not process the EEG files -> in" + S + recording.stem + ".eeg\n");
      EXPECT_NE(run.out.find("ERROR in : "), std::string::npos) << run.out;
      break;
    case Expect::InvalidFormat:
      EXPECT_EQ(run.status, 253);
      // The line that says why comes before the specified one.
      EXPECT_EQ(run.err.rfind("!!! in" + S + recording.stem + ".vhdr stores its samples as BinaryFormat", 0), 0u)
          << run.err;
      EXPECT_TRUE(run.err.ends_with("; only INT_16, IEEE_FLOAT_32 and IEEE_FLOAT_64 are read\n!!! Invalid EEG data format\n"))
          << run.err;
      break;
    case Expect::OutputPathFails:
      EXPECT_EQ(run.status, 253);
      EXPECT_EQ(run.err.rfind("!!! Can not create output path -> ", 0), 0u) << run.err;
      break;
    case Expect::InputFilesMissing:
      EXPECT_EQ(run.status, 255);
      EXPECT_NE(run.out.find("Problem with input files."), std::string::npos) << run.out;
      break;
    case Expect::AscStageFails:
      EXPECT_EQ(run.status, 254);
      // A refusal the stage only logged is named on the console before the specified line.
      EXPECT_TRUE(run.err.ends_with("!!! Can not process the ASC file -> in" + S + recording.stem + ".asc\n"))
          << run.err;
      EXPECT_TRUE(run.err == "!!! Can not process the ASC file -> in" + S + recording.stem + ".asc\n" ||
                  run.err.rfind("!!! in" + S + "log" + S + "Log-AscRawData.txt ends with: ", 0) == 0)
          << run.err;
      EXPECT_NE(run.out.find("ERROR in : "), std::string::npos) << run.out;
      break;
    case Expect::CorruptionStop:
      EXPECT_EQ(run.status, 255);
      EXPECT_NE(run.out.find("in" + S + recording.stem + ".asc at timestamp "), std::string::npos) << run.out;
      break;
    case Expect::AscStagePasses:
      EXPECT_TRUE(run.status == 0 || (run.status >= 252 && run.status <= 255)) << run.status;
      EXPECT_EQ(run.err.find("Can not process"), std::string::npos) << run.err;
      EXPECT_EQ(run.out.find("ERROR in : "), std::string::npos) << run.out;
      break;
    case Expect::EegStagePasses:
      // A defined exit code of a later stage, never a crash, and no EEG failure.
      EXPECT_TRUE(run.status == 0 || (run.status >= 252 && run.status <= 255)) << run.status;
      EXPECT_EQ(run.err.find("EEG"), std::string::npos) << run.err;
      break;
  }
  for (const std::string& line : c.outLines) EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;

  // The inputs are untouched; whatever the run added is complete (no temporary left).
  const std::map<std::string, std::string> after = Snapshot(inputs);
  for (const auto& [path, bytes] : before) {
    const auto found = after.find(path);
    ASSERT_NE(found, after.end()) << path << " was removed";
    bool replaceable = false;
    for (const std::string& extension : c.replaced) {
      replaceable = replaceable || path.ends_with("." + extension);
    }
    if (replaceable) {
      EXPECT_EQ(found->second.substr(0, kCacheMagic.size()), kCacheMagic) << path << " was not replaced whole";
      EXPECT_FALSE(found->second == bytes) << path << " was kept";
    } else {
      EXPECT_TRUE(found->second == bytes) << path << " was changed";
    }
  }
  for (const auto& entry : fs::recursive_directory_iterator(dir.Path())) {
    EXPECT_NE(entry.path().extension(), ".tmp") << entry.path() << " left behind";
  }
}

const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      // The header.
      // An empty header has no sample type: the program stops before the EEG stage.
      {"header empty", [](Recording& r) { r.files["vhdr"] = ""; }, Expect::InvalidFormat, {}},
      {"header missing", [](Recording& r) { r.files.erase("vhdr"); }, Expect::InputFilesMissing, {}},
      {"header garbage", [](Recording& r) { r.files["vhdr"] = Garbage(700); }, Expect::EegStageFails,
       {"BrainampEEG::Process nbChannels < 1"}},
      {"header cut before the channel count",
       [](Recording& r) { r.files["vhdr"] = r.files["vhdr"].substr(0, r.files["vhdr"].find("NumberOfChannels")); },
       Expect::EegStageFails, {"BrainampEEG::Process nbChannels < 1"}},
      {"header cut inside the channel list",
       [](Recording& r) { r.files["vhdr"] = r.files["vhdr"].substr(0, r.files["vhdr"].find("Ch2=") + 2); },
       Expect::EegStagePasses, {}},
      {"header cut after the binary section",
       [](Recording& r) { r.files["vhdr"] = r.files["vhdr"].substr(0, r.files["vhdr"].find("[Channel Infos]")); },
       Expect::EegStagePasses, {}},
      {"header with LF line ends", [](Recording& r) { r.files["vhdr"] = ReplaceAll(r.files["vhdr"], "\r\n", "\n"); },
       Expect::EegStagePasses, {}},
      {"header with CR line ends", [](Recording& r) { r.files["vhdr"] = ReplaceAll(r.files["vhdr"], "\r\n", "\r"); },
       Expect::EegStageFails, {"BrainampEEG::Process nbChannels < 1"}},
      {"header without the channel count",
       [](Recording& r) { r.files["vhdr"] = Replace(r.files["vhdr"], "NumberOfChannels=2\r\n", ""); },
       Expect::EegStageFails, {"BrainampEEG::Process nbChannels < 1"}},
      {"header with a negative channel count",
       [](Recording& r) { r.files["vhdr"] = Replace(r.files["vhdr"], "NumberOfChannels=2", "NumberOfChannels=-2"); },
       Expect::EegStageFails, {"BrainampEEG::Process nbChannels < 1"}},
      {"header with a huge channel count",
       [](Recording& r) {
         r.files["vhdr"] = Replace(r.files["vhdr"], "NumberOfChannels=2", "NumberOfChannels=99999999999999999999");
       },
       Expect::EegStageFails, {"is not a channel count from 1 to 65535"}},
      {"header with more channels than the data holds",
       [](Recording& r) { r.files["vhdr"] = Replace(r.files["vhdr"], "NumberOfChannels=2", "NumberOfChannels=3"); },
       Expect::EegStageFails, {}},
      {"header with an unknown sample type",
       [](Recording& r) { r.files["vhdr"] = Replace(r.files["vhdr"], "INT_16", "INT_12"); }, Expect::InvalidFormat,
       {}},
      {"header vectorized",
       [](Recording& r) { r.files["vhdr"] = Replace(r.files["vhdr"], "MULTIPLEXED", "VECTORIZED"); },
       Expect::EegStageFails, {"format VECTORIZED"}},
      {"header with a negative sampling interval",
       [](Recording& r) {
         r.files["vhdr"] = Replace(r.files["vhdr"], "SamplingInterval=2000", "SamplingInterval=-2000");
       },
       Expect::EegStageFails, {}},
      {"header with a huge sampling interval",
       [](Recording& r) {
         r.files["vhdr"] = Replace(r.files["vhdr"], "SamplingInterval=2000", "SamplingInterval=1e308");
       },
       Expect::EegStagePasses, {}},
      {"header without a sampling interval",
       [](Recording& r) { r.files["vhdr"] = Replace(r.files["vhdr"], "SamplingInterval=2000\r\n", ""); },
       Expect::EegStageFails, {}},
      // The markers.
      {"markers missing", [](Recording& r) { r.files.erase("vmrk"); }, Expect::InputFilesMissing, {}},
      {"markers empty", [](Recording& r) { r.files["vmrk"] = ""; }, Expect::EegStagePasses, {}},
      {"markers garbage", [](Recording& r) { r.files["vmrk"] = Garbage(900); }, Expect::EegStagePasses, {}},
      {"markers cut inside a line",
       [](Recording& r) { r.files["vmrk"] = r.files["vmrk"].substr(0, r.files["vmrk"].find("Mk3=") + 12); },
       Expect::EegStagePasses, {}},
      {"markers with LF line ends", [](Recording& r) { r.files["vmrk"] = ReplaceAll(r.files["vmrk"], "\r\n", "\n"); },
       Expect::EegStagePasses, {}},
      {"marker past the end of the data",
       [](Recording& r) { r.files["vmrk"] = Replace(r.files["vmrk"], "S  2,40,", "S  2,99999999999,"); },
       Expect::EegStagePasses, {}},
      {"marker at a negative position",
       [](Recording& r) { r.files["vmrk"] = Replace(r.files["vmrk"], "S  2,40,", "S  2,-40,"); },
       Expect::EegStagePasses, {}},
      {"marker with a non-numeric stimulus",
       [](Recording& r) { r.files["vmrk"] = Replace(r.files["vmrk"], "S  2,40,", "S xy,40,"); },
       Expect::EegStagePasses, {}},
      {"second segment before the first",
       [](Recording& r) {
         r.files["vmrk"] = Replace(r.files["vmrk"], "New Segment,,1,", "New Segment,,30,") +
                           "Mk4=New Segment,,10,1,0,20190412101531123456\r\n";
       },
       Expect::EegStageFails, {"starts before the segment preceding it"}},
      {"second segment with a garbage date",
       [](Recording& r) {
         r.files["vmrk"] += "Mk4=New Segment,,45,1,0,2019041210153\xff\xfe\r\n";
       },
       Expect::EegStageFails, {}},
      // The data file.
      {"data empty", [](Recording& r) { r.files["eeg"] = ""; }, Expect::EegStageFails, {}},
      {"data missing", [](Recording& r) { r.files.erase("eeg"); }, Expect::InputFilesMissing, {}},
      {"data cut inside a sample", [](Recording& r) { r.files["eeg"].pop_back(); }, Expect::EegStageFails,
       {"the data file's 199 bytes are not a whole number of 2-byte values"}},
      {"data cut inside a frame", [](Recording& r) { r.files["eeg"].resize(r.files["eeg"].size() - 2); },
       Expect::EegStageFails, {"Brainamp::Process : the data file's"}},
      // The eye-tracker file.
      {"eye-tracker file empty", [](Recording& r) { r.files["asc"] = ""; }, Expect::AscStageFails,
       {"Empty ASC file in" + S + "S01.asc"}},
      {"eye-tracker file garbage", [](Recording& r) { r.files["asc"] = Garbage(3000); }, Expect::AscStageFails, {}},
      {"eye-tracker file with CR line ends", [](Recording& r) { r.files["asc"] = ReplaceAll(kAsc, "\n", "\r"); },
       Expect::AscStageFails, {"Invalid ASC file in" + S + "S01.asc"}},
      {"eye-tracker file with CR LF line ends", [](Recording& r) { r.files["asc"] = ReplaceAll(kAsc, "\n", "\r\n"); },
       Expect::AscStagePasses, {}},
      {"eye-tracker file cut in its header",
       [](Recording& r) { r.files["asc"] = kAsc.substr(0, kAsc.find("SAMPLES\tGAZE")); }, Expect::AscStageFails,
       {"AscRawData::Process : processing header"}},
      // A file cut inside its block is read up to the cut, with a warning that it looks cut short.
      {"eye-tracker file cut before its end line",
       [](Recording& r) { r.files["asc"] = kAsc.substr(0, kAsc.find("END\t")); }, Expect::AscStagePasses,
       {"the last recording block has no END line; the file looks cut short in" + S + "S01.asc"}},
      {"eye-tracker file cut inside a sample line",
       [](Recording& r) { r.files["asc"] = kAsc.substr(0, kAsc.find("1012\t 965.0") + 7); }, Expect::AscStagePasses,
       {"the file looks cut short"}},
      {"eye-tracker file without its rate",
       [](Recording& r) { r.files["asc"] = ReplaceAll(kAsc, "\tRATE\t 500.00", ""); }, Expect::AscStageFails, {}},
      {"eye-tracker rate no EyeLink records at",
       [](Recording& r) { r.files["asc"] = ReplaceAll(kAsc, "RATE\t 500.00", "RATE\t 120.00"); },
       Expect::AscStageFails, {"the sampling rate 120 Hz is not one of 250, 500, 1000 and 2000 Hz"}},
      {"eye-tracker sample at a huge time",
       [](Recording& r) { r.files["asc"] = Replace(kAsc, "1006\t 963.0", "99999999999\t 963.0"); },
       Expect::CorruptionStop, {}},
      // Not a number, so not a sample line: the sample is missing, nothing more.
      {"eye-tracker sample at a negative time",
       [](Recording& r) { r.files["asc"] = Replace(kAsc, "1006\t 963.0", "-6\t 963.0"); }, Expect::AscStagePasses,
       {}},
      {"eye-tracker sample before the one preceding it",
       [](Recording& r) { r.files["asc"] = Replace(kAsc, "1006\t 963.0", "1001\t 963.0"); },
       Expect::CorruptionStop, {}},
      {"eye-tracker block of more than a day",
       [](Recording& r) { r.files["asc"] = Replace(kAsc, "END\t1016", "END\t999999999"); }, Expect::AscStageFails,
       {}},
      {"eye-tracker gaze values huge and negative",
       [](Recording& r) {
         r.files["asc"] = Replace(Replace(kAsc, "961.0\t 541.0", "1e308\t -1e308"), "965.0", "-99999999999999999999");
       },
       Expect::AscStagePasses, {}},
      {"eye-tracker input values huge and negative",
       [](Recording& r) {
         r.files["asc"] = Replace(Replace(kAsc, "INPUT\t1004\t12", "INPUT\t1004\t99999999999"), "INPUT\t1012\t3",
                                  "INPUT\t1012\t-3");
       },
       Expect::AscStagePasses, {}},
      {"eye-tracker events with garbage fields",
       [](Recording& r) {
         r.files["asc"] = Replace(Replace(kAsc, "EFIX L   1004\t1006\t4", "EFIX L   x\t-1\t99999999999"),
                                  "EBLINK L 1008\t1008", "EBLINK L 1008");
       },
       Expect::AscStagePasses, {}},
      {"eye-tracker file with NUL bytes", [](Recording& r) { r.files["asc"] = Replace(kAsc, "TRIALID", std::string(7, '\0')); },
       Expect::AscStagePasses, {}},
      // The companion files of the eye-tracker file.
      {"trigger-name file garbage", [](Recording& r) { r.files["asc.trig.txt"] = Garbage(500); },
       Expect::AscStagePasses, {}},
      {"trigger-name file with huge and negative codes",
       [](Recording& r) { r.files["asc.trig.txt"] = "99999999999 Huge\n-5 Negative\n12 Cue\n"; },
       Expect::AscStagePasses, {}},
      {"trigger-name file empty", [](Recording& r) { r.files["asc.trig.txt"] = ""; }, Expect::AscStagePasses, {}},
      {"TTL file garbage", [](Recording& r) { r.files["ttl"] = Garbage(500); }, Expect::AscStagePasses, {}},
      {"TTL file with huge and negative numbers",
       [](Recording& r) { r.files["ttl"] = "1000 12\n99999999999999999999 3\n-5 7\n"; }, Expect::AscStagePasses, {}},
      {"trigger-name file cut inside a line", [](Recording& r) { r.files["asc.trig.txt"] = "12 Cue\n3 Tar"; },
       Expect::AscStagePasses, {}},
      {"trigger-name file with CR line ends", [](Recording& r) { r.files["asc.trig.txt"] = "12 Cue\r3 Target\r"; },
       Expect::AscStagePasses, {}},
      // The parse cache: whatever is in it, a cache that does not belong to the recording as it
      // is now is ignored, the file parsed, and the cache replaced by a whole new one.
      {"parse cache empty", [](Recording& r) { r.files["asc.dbg"] = ""; }, Expect::AscStagePasses, {}, {"-G"},
       {"asc.dbg"}},
      {"parse cache garbage", [](Recording& r) { r.files["asc.dbg"] = Garbage(4000); }, Expect::AscStagePasses, {},
       {"-G"}, {"asc.dbg"}},
      {"parse cache cut after its magic",
       [](Recording& r) { r.files["asc.dbg"] = kCacheMagic + Garbage(13); }, Expect::AscStagePasses, {}, {"-G"},
       {"asc.dbg"}},
      {"parse cache with a huge payload size",
       [](Recording& r) { r.files["asc.dbg"] = kCacheMagic + std::string(60, '\xff') + Garbage(64); },
       Expect::AscStagePasses, {}, {"-G"}, {"asc.dbg"}},
      // Names.
      {"names with spaces and non-ASCII characters",
       [](Recording& r) { r = Valid("Sujet 01 \xC3\xA9t\xC3\xA9"); }, Expect::EegStagePasses,
       {"Sujet 01 \xC3\xA9t\xC3\xA9.asc"}},
      // Output directories.
      {"output directory missing, created with its parents", [](Recording&) {}, Expect::EegStagePasses, {},
       {"-h", "out" + S + "deeper" + S + "still"}},
      {"output directory under a plain file", [](Recording&) {}, Expect::OutputPathFails,
       {"File::Mkdir can not create the folder", "Not a directory"}, {"-h", "in" + S + "S01.vhdr" + S + "out"}},
  };
  return cases;
}

TEST(BadInput, EveryCaseEndsAsDefinedWithInputsUnchangedAndNothingHalfWritten) {
  for (const Case& c : Cases()) RunCase(c);
}

TEST(BadInput, AnOutputDirectoryThatCannotBeWrittenEndsTheRunAndChangesNothing) {
  testsupport::TempDir dir;
  const std::string locked = dir / "locked";
  fs::create_directory(locked);
  // Permissions do not stop the superuser: a read-only file system does.
  bool readOnly = false;
  if (geteuid() == 0) {
    readOnly = std::system(("mount -t tmpfs -o ro,size=64k tmpfs '" + locked + "' 2>/dev/null").c_str()) == 0;
  } else {
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    readOnly = true;
  }
  if (!readOnly) GTEST_SKIP() << "no way to make a read-only directory here";
  struct Restore {
    std::string at;
    ~Restore() {
      if (geteuid() == 0) std::system(("umount '" + at + "' 2>/dev/null").c_str());
      else fs::permissions(at, fs::perms::owner_all);
    }
  } restore{locked};

  const Recording recording = Valid();
  for (const auto& [extension, content] : recording.files) testsupport::WriteFile(dir / ("S01." + extension), content);
  const std::map<std::string, std::string> before = Snapshot(dir.Path());
  const ProgramRun run = RunTolmera(dir.Path().string(), {"S01.asc", "-h", "locked" + S + "out"});
  EXPECT_EQ(run.status, 253);
  EXPECT_EQ(run.err, "!!! Can not create output path -> locked" + S + "out\n") << run.err;
  EXPECT_EQ(Snapshot(dir.Path()), before);
  EXPECT_TRUE(fs::is_empty(locked));
}

}  // namespace

namespace {

TEST(BadInput, AFullDiskLeavesNoPartialCacheBesideTheRecording) {
  if (geteuid() != 0) GTEST_SKIP() << "filling a disk needs a small file system of our own";
  testsupport::TempDir dir;
  const std::string disk = dir / "disk";
  fs::create_directory(disk);
  if (std::system(("mount -t tmpfs -o size=64k tmpfs '" + disk + "' 2>/dev/null").c_str()) != 0) {
    GTEST_SKIP() << "cannot mount a small file system here";
  }
  struct Unmount {
    std::string at;
    ~Unmount() { std::system(("umount '" + at + "' 2>/dev/null").c_str()); }
  } unmount{disk};
  const Recording recording = Valid();
  for (const auto& [extension, content] : recording.files) testsupport::WriteFile(disk + S + "S01." + extension, content);
  // Fill the disk to one free page: the log fits, the parse cache (several pages) does not.
  const fs::space_info space = fs::space(disk);
  testsupport::WriteFile(disk + S + "filler", std::string(space.available - 4096, 'f'));
  const std::map<std::string, std::string> before = Snapshot(disk);

  const ProgramRun run = RunTolmera(disk, {"S01.asc", "-G"});
  EXPECT_TRUE(run.status >= 252 && run.status <= 255) << run.status;
  EXPECT_EQ(run.err.find("Can not process"), std::string::npos) << run.err;
  EXPECT_NE(run.out.find("File::Write::write ." + S + "S01.asc.dbg"), std::string::npos) << run.out;
  const std::map<std::string, std::string> after = Snapshot(disk);
  for (const auto& [path, bytes] : before) {
    ASSERT_TRUE(after.count(path)) << path;
    EXPECT_TRUE(after.at(path) == bytes) << path << " was changed";
  }
  // Besides the inputs, only the log directory's files may exist: no cache, whole or partial.
  for (const auto& [path, bytes] : after) {
    const bool known = before.count(path) != 0 || path.find(S + "log" + S) != std::string::npos;
    EXPECT_TRUE(known) << path << " was left behind";
  }
}

}  // namespace
