#include "driver/consoletext.h"

#include "driver/builddate.h"

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
