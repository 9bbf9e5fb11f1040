#include "driver/consoletext.h"

#include "driver/builddate.h"
#include "varnixlib/support/paths.h"

std::string ConsoleText::MissingValue(const std::string& option) {
  return "Option " + option + " must be followed by a value.\n";
}

void ConsoleText::Banner(std::ostream& out, const std::vector<std::string>& arguments) {
  out << "Software version : " << BuildDate() << '\n';
  out << '\n';
  out << "Tolmera";
  for (const std::string& arg : arguments) out << ' ' << arg;
  out << "\n\n";
}

void ConsoleText::Usage(std::ostream& out, const std::vector<std::string>& arguments,
                        const std::string& reason) {
  Banner(out, arguments);
  out << reason << "\n\n\n";
  out << "Generate Brainamp & Eyelink synchronized data\n\n";
  out << "Calling convention : Tolmera.exe EEGfileName ASCfileName [options]\n\n";
  out << "EEGfileName         - a valid .EEG file Brainamp format (multiplexed)\n";
  out << "ASCfileName         - a valid .ASC file EyeLink format\n\n";
  out << "If the EEGfileName and the ASCfileName have the same base name then only one can be provided.\n\n";
  out << "Options\n";
  out << "[-p]                - pupil size processing (default : false)\n";
  out << "[-h outputPath]     - Specifies where the synthonized output files are stored\n";
  out << "[-e]                - interpolation toward EEG               (default :  toward GAZE)\n";
  out << "[-O]                - clock model of a line through the first and last matched trigger\n"
         "                      (default : fitted to every matched trigger)\n";
  out << "[-F]                - merge even recordings that do not seem to belong together\n";
  out << "[-M keyword]        - the tracker's triggers from its messages: the code after keyword\n\n\n";
  out << "tolmera --help lists every option\n";
  out.flush();
}

void ConsoleText::Version(std::ostream& out) {
  out << "tolmera " << TOLMERA_VERSION << " (built " << BuildDate() << ")\n";
  out.flush();
}

std::string ConsoleText::UnknownOption(const std::string& option) {
  return "Warning: " + option + " is not an option of tolmera and is ignored (tolmera --help lists them)";
}

void ConsoleText::Help(std::ostream& out) {
  out << "tolmera " << TOLMERA_VERSION << ": merges a BrainVision EEG recording and an EyeLink .asc export\n"
         "into one BrainVision recording, synchronised on their shared trigger codes.\n\n"
         "Usage: tolmera EEGNAME ASCNAME [options]\n"
         "  EEGNAME  the recording's .eeg, .vhdr or .vmrk (any case); ASCNAME  the EyeLink .asc export.\n"
         "  One name is enough when both share their base name (S01.asc finds S01.eeg, S01.vhdr finds S01.asc).\n"
         "  Results go beside the .asc file (or into -h DIR): synchro_<asc name>.eeg/.vhdr/.vmrk, its\n"
         "  .eeg.event.txt, and in log/ the report (.report.html, .report.json), the alignment statistics\n"
         "  and Log-AscRawData.txt.\n\n"
         "Options (each a separate argument; letters are case-sensitive):\n"
         "  -h DIR      write every result into DIR, made when missing (default: the .asc file's folder)\n"
         "  -e          resample the gaze onto the EEG's time base (default: the EEG onto the tracker's)\n"
         "  -N          also write a set without drift correction: synchrono_<asc name>.* beside synchro_*\n"
         "  -m          MAT files: <asc>.mat with <asc>.event.txt, and synchro_<asc name>.eeg.mat per set (default: none)\n"
         "  -p          pupil channels in the merged recording (default: gaze and blink only)\n"
         "  -v          video-frame events among the eye events and in the MAT export (default: off)\n"
         "  -1          eye-event markers keep their duration in the .vmrk (default: every marker one sample)\n"
         "  -f MS       blinks shorter than MS milliseconds are bridged as false blinks (default: 0, off)\n"
         "  -t FILE     trigger names, \"code name\" per line (default: <asc>.trig.txt when present)\n"
         "  -L          classic tie-break of the code matching: repeated codes pair their latest occurrences\n"
         "  -O          former clock model, a line through the first and last matched trigger (default: fit to all)\n"
         "  -F          merge even a pair the verdict refuses; the refusal is printed as a warning (default: refuse)\n"
         "  -M KEYWORD  the tracker's triggers from messages with KEYWORD (default: its INPUT lines)\n"
         "  -G          keep the parsed .asc in <asc>.dbg beside it and reuse it while unchanged (default: off)\n"
         "  -T          write a simulated TTL file <asc base>.ttl beside the .asc (default: off)\n"
         "  -Q, -A      append a diagnostic line to TolmeraQualityQuor.txt / TolmeraArticleQuor.txt in /tmp\n"
         "  -P          wait for Enter at the end, when run from a terminal (default: only after a failure)\n"
         "  --help, -?  this text;  --version  the version and build date\n\n"
         "Exit status: 0 merged; 255 bad command line, missing input file or a corrupt .asc line;\n"
         "  254 the .asc file cannot be processed; 253 the EEG recording, an output or the synchronisation\n"
         "  failed; 252 no name ends with .asc, .eeg, .vhdr or .vmrk; 128+N stopped by signal N\n"
         "  (130 Ctrl-C, 143 SIGTERM, 129 SIGHUP), its temporary files removed.\n\n"
         "README.md beside the sources explains every output and what to do when something goes wrong.\n";
  out.flush();
}

void ConsoleText::CompanionsElsewhere(std::ostream& out, const SynchroParams& params) {
  if (params.vhdrFileName.empty()) return;
  const std::string folder = SplitPath(params.vhdrFileName).directory;
  auto tell = [&](const std::string& file, const char* key) {
    if (file.empty() || SplitPath(file).directory == folder) return;
    out << "Note: the header " << params.vhdrFileName << " names with " << key
        << " a file in another folder: " << file << '\n';
  };
  tell(params.eegFileName, "DataFile=");
  tell(params.vmrkFileName, "MarkerFile=");
  out.flush();
}

void ConsoleText::RunParameters(std::ostream& out, const std::vector<std::string>& arguments,
                                const SynchroParams& params) {
  Banner(out, arguments);
  out << "Processing \n";
  out << "  EEG file name              : " << params.eegFileName << '\n';
  out << "  EYELINK file name          : " << params.ascFileName << '\n';
  if (!params.triggersFileName.empty()) out << "  Triggers File   : " << params.triggersFileName;
  out << '\n';
  out << "  Do drift correction        : " << "result files begin with \"synchro\" string" << '\n';
  if (params.alsoWithoutDrift) {
    out << "  No drift correction        : " << "result files begin with \"synchrono\" string" << '\n';
  }
  out << "  Interpolation              : "
      << (params.interpolateTowardEeg ? "Uses EEG device as reference" : "Uses Eytracker device as reference")
      << '\n';
  if (params.falseBlinkMsec != 0) {
    out << "  False blinks detection     : " << "YES under " << params.falseBlinkMsec << " msec" << '\n';
  }
  if (params.pupilSize) out << "  Pupil size                 : " << "YES" << '\n';
  if (!params.triggerMessage.empty()) {
    out << "  Triggers from messages     : " << params.triggerMessage << '\n';
  }
  if (params.matOutput) out << "  Mat files output enabled   : " << "YES" << '\n';
  out << '\n';
  out.flush();
}
