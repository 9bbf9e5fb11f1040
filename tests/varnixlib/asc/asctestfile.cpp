#include "asctestfile.h"

#include <gtest/gtest.h>

#include <cmath>

namespace asctest {

namespace {

int gStops = 0;

}  // namespace

std::string Capture(const std::function<void()>& f) {
  testing::internal::CaptureStdout();
  f();
  return testing::internal::GetCapturedStdout();
}

int CorruptionStops() { return gStops; }
void ResetCorruptionStops() { gStops = 0; }

std::string Head(const std::string& eyes, const std::string& rate, bool vel, unsigned start) {
  const std::string t = std::to_string(start);
  return "** CONVERTED FROM D:\\data\\s01.edf using edfapi 3.1\n"
         "MSG\t" + t + " DISPLAY_COORDS 0 0 1919 1079\n"
         "START\t" + t + " \t" + eyes + "\tSAMPLES\tEVENTS\n"
         "SAMPLES\tGAZE\t" + eyes + (vel ? "\tVEL" : "") + "\tRATE\t" + rate + "\tTRACKING\tCR\tFILTER\t2\n";
}

std::string Mono(unsigned time, const std::string& x, const std::string& y, const std::string& p) {
  return std::to_string(time) + "\t " + x + "\t " + y + "\t " + p + "\t...\n";
}

std::string End(unsigned time) { return "END\t" + std::to_string(time) + " \tSAMPLES\tEVENTS\tRES\t 40.0\t 40.0\n"; }

SynchroParams AscRun::Defaults() {
  SynchroParams p;
  p.velocityChannels = true;
  return p;
}

AscRun::AscRun(const std::string& text, SynchroParams p, const std::string& name) : params(std::move(p)) {
  testsupport::WriteFile(dir / name, text);
  params.ascFileName = dir / name;
  asc.OpenLog(dir / "Log-AscRawData.txt");
  ok = asc.Process(params);
  if (asc.StoppedOnCorruption()) ++gStops;
}

std::string AscRun::Log() const { return testsupport::ReadFile(dir / "Log-AscRawData.txt"); }

double At(const AscRawData& asc, const std::string& channel, uint32_t sample) {
  const auto& names = asc.ChannelNames();
  for (size_t j = 0; j < names.size(); ++j) {
    if (names[j] == channel) return asc.Data()[static_cast<size_t>(sample) * asc.NbChannels() + j];
  }
  return std::nan("");
}

}  // namespace asctest
