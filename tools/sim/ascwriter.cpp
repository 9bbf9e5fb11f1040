#include "ascwriter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "bufferedfile.h"
#include "truthsignals.h"

namespace {

std::string Fixed(double value, int decimals, int width) {
  char text[64];
  std::snprintf(text, sizeof text, "%*.*f", width, decimals, value);
  return text;
}

std::string Int(int64_t value, int width = 0) {
  char text[32];
  std::snprintf(text, sizeof text, "%*lld", width, static_cast<long long>(value));
  return text;
}

}  // namespace

void AscWriter::AddLine(int64_t timestamp, int place, std::string text) {
  myLines.push_back({timestamp * 4 + place, std::move(text)});
}

void AscWriter::CollectPreamble() {
  const int64_t t0 = myPlan.TrackerStartMs();
  AddLine(t0 - 6000, 1, "MSG\t" + Int(t0 - 6000) + " DISPLAY_COORDS 0 0 1919 1079");
  AddLine(t0 - 6000, 1, "MSG\t" + Int(t0 - 6000) + " RETRACE_INTERVAL  16.666666667");
  const int64_t cal = t0 - 5000;
  const std::string calMsg = "MSG\t" + Int(cal) + " !CAL ";
  const EyeSetup eyes = myPlan.Options().eyes;
  for (int eye = 0; eye < 2; ++eye) {
    if ((eye == 0 && eyes == EyeSetup::Right) || (eye == 1 && eyes == EyeSetup::Left)) continue;
    AddLine(cal, 1, calMsg);
    AddLine(cal, 1, std::string(">>>>>>> CALIBRATION (HV9,P-CR) FOR ") + (eye == 0 ? "LEFT" : "RIGHT") +
                        ": <<<<<<<<<");
    AddLine(cal, 1, calMsg + "Calibration points:  ");
    AddLine(cal, 1, calMsg + "-31.2, -38.4        -0,    182   ");
    AddLine(cal, 1, calMsg + "-30.9, -49.0        -0,  -2426   ");
    AddLine(cal, 1, calMsg + "-29.9, -27.9        -0,   2681   ");
    AddLine(cal, 1, calMsg + " 0.0,  0.0         0,      0   ");
  }
  const std::string eyeWord = eyes == EyeSetup::Both ? "LR" : (eyes == EyeSetup::Left ? "L" : "R");
  AddLine(cal + 20, 1, "MSG\t" + Int(cal + 20) + " !CAL CALIBRATION HV9 " + eyeWord + " GOOD ");
  AddLine(cal + 1500, 1, "MSG\t" + Int(cal + 1500) + " !CAL VALIDATION HV9 " + eyeWord +
                             " GOOD ERROR 0.31 avg. 0.62 max  OFFSET 0.14 deg. 2.9,-4.1 pix.");
}

void AscWriter::CollectBlocks() {
  const SimOptions& o = myPlan.Options();
  const std::string eyeWord = o.eyes == EyeSetup::Both ? "LR" : (o.eyes == EyeSetup::Left ? "L" : "R");
  const std::string eyeTabs =
      o.eyes == EyeSetup::Both ? "LEFT\tRIGHT" : (o.eyes == EyeSetup::Left ? "LEFT" : "RIGHT");
  const std::string rate = Fixed(static_cast<double>(o.gazeRateHz), 2, 7);
  const std::string rateWord = std::to_string(o.gazeRateHz);
  for (const RecordingBlock& block : myPlan.Blocks()) {
    const int64_t first = myPlan.SampleTimestamp(block.firstSample);
    const int64_t last = myPlan.SampleTimestamp(block.EndSample() - 1);
    const std::string before = "MSG\t" + Int(first - 1) + " ";
    AddLine(first - 1, 1, before + "RECCFG CR " + rateWord + " 2 1 " + eyeWord);
    AddLine(first - 1, 1, before + "ELCLCFG BTABLER");
    AddLine(first - 1, 1, before + "GAZE_COORDS 0.00 0.00 1919.00 1079.00");
    AddLine(first - 1, 1, before + (o.eyes == EyeSetup::Both ? "THRESHOLDS L 52 179  R 49 184" :
                                    o.eyes == EyeSetup::Left ? "THRESHOLDS L 52 179" : "THRESHOLDS R 49 184"));
    AddLine(first - 1, 1, before + "ELCL_PROC CENTROID (3)");
    AddLine(first - 1, 1, before + "!MODE RECORD CR " + rateWord + " 2 1 " + eyeWord);
    AddLine(first, 0, "START\t" + Int(first) + " \t" + eyeTabs + "\tSAMPLES\tEVENTS");
    AddLine(first, 0, "PRESCALER\t1");
    AddLine(first, 0, "VPRESCALER\t1");
    AddLine(first, 0, std::string("PUPIL\t") + (o.pupilDiameter ? "DIAMETER" : "AREA"));
    AddLine(first, 0, "EVENTS\tGAZE\t" + eyeTabs + "\tRATE\t" + rate + "\tTRACKING\tCR\tFILTER\t2");
    AddLine(first, 0, "SAMPLES\tGAZE\t" + eyeTabs + (o.velocity ? "\tVEL" : "") + "\tRATE\t" + rate +
                          "\tTRACKING\tCR\tFILTER\t2");
    // The tracker reports the port's value when a block starts; it is idle (0) there. With --no-input
    // the port is not wired and the file has no INPUT line at all.
    if (o.trackerInputs) AddLine(first, 0, "INPUT\t" + Int(first) + "\t0");
    AddLine(last + 1, 0, "END\t" + Int(last + 1) + " \tSAMPLES\tEVENTS\tRES\t  45.90\t  46.06");
  }
}

void AscWriter::CollectTriggers() {
  if (!myPlan.Options().trackerInputs) return;
  for (const TriggerTruth& t : myPlan.Triggers()) {
    if (!t.InTracker()) continue;
    AddLine(t.trackerTimestamp, 1, "INPUT\t" + Int(t.trackerTimestamp) + "\t" + std::to_string(t.code));
    if (t.releaseTimestamp >= 0) AddLine(t.releaseTimestamp, 1, "INPUT\t" + Int(t.releaseTimestamp) + "\t0");
    if (t.outlier == Outlier::TrackerDouble) {
      AddLine(t.doubleTimestamp, 1, "INPUT\t" + Int(t.doubleTimestamp) + "\t" + std::to_string(t.code));
      AddLine(t.doubleReleaseTimestamp, 1, "INPUT\t" + Int(t.doubleReleaseTimestamp) + "\t0");
    }
  }
}

void AscWriter::CollectEyeEvents() {
  const SimOptions& o = myPlan.Options();
  const double period = myPlan.SamplePeriodMs();
  const int64_t durationExtra = static_cast<int64_t>(std::floor(period));
  for (int eye = 0; eye < 2; ++eye) {
    if ((eye == 0 && o.eyes == EyeSetup::Right) || (eye == 1 && o.eyes == EyeSetup::Left)) continue;
    const bool right = eye == 1;
    const char letter = right ? 'R' : 'L';
    for (const EyeEvent& e : myEyeEvents.Events()) {
      const int64_t s = myPlan.SampleTimestamp(e.first);
      const int64_t f = myPlan.SampleTimestamp(e.last);
      const std::string span = Int(s) + "\t" + Int(f) + "\t" + Int(f - s + durationExtra);
      switch (e.kind) {
        case EyeEventKind::Fixation: {
          double sx = 0, sy = 0, sp = 0;
          for (int64_t k = e.first; k <= e.last; ++k) {
            const double t = myPlan.SampleTime(k);
            sx += TruthSignals::GazeX(t, right);
            sy += TruthSignals::GazeY(t, right);
            sp += TruthSignals::Pupil(t, right, o.pupilDiameter);
          }
          const double n = static_cast<double>(e.last - e.first + 1);
          AddLine(s, 1, std::string("SFIX ") + letter + "   " + Int(s));
          AddLine(f, 3, std::string("EFIX ") + letter + "   " + span + "\t" + Fixed(sx / n, 1, 7) + "\t" +
                            Fixed(sy / n, 1, 7) + "\t" + Int(std::llround(sp / n), 7));
          break;
        }
        case EyeEventKind::Saccade: {
          const double t0 = myPlan.SampleTime(e.first), t1 = myPlan.SampleTime(e.last);
          const double x0 = TruthSignals::GazeX(t0, right), y0 = TruthSignals::GazeY(t0, right);
          const double x1 = TruthSignals::GazeX(t1, right), y1 = TruthSignals::GazeY(t1, right);
          const double amplitude = std::hypot(x1 - x0, y1 - y0) / TruthSignals::kPixelsPerDegree;
          const double peak = amplitude / std::max(1.0, t1 - t0 + period) * 1000.0 * 1.6;
          AddLine(s, 1, std::string("SSACC ") + letter + "  " + Int(s));
          AddLine(f, 3, std::string("ESACC ") + letter + "  " + span + "\t" + Fixed(x0, 1, 7) + "\t" +
                            Fixed(y0, 1, 7) + "\t" + Fixed(x1, 1, 7) + "\t" + Fixed(y1, 1, 7) + "\t" +
                            Fixed(amplitude, 2, 7) + "\t" + Int(std::llround(peak), 7));
          break;
        }
        case EyeEventKind::Blink:
          AddLine(s, 1, std::string("SBLINK ") + letter + " " + Int(s));
          AddLine(f, 3, std::string("EBLINK ") + letter + " " + span);
          break;
      }
    }
  }
}

void AscWriter::CollectMessages() {
  for (const StructureMessage& m : myStructure.Messages())
    AddLine(m.timestamp, 1, "MSG\t" + Int(m.timestamp) + " " + m.text);
}

void AscWriter::CollectTriggerMessages() {
  for (const MessageLine& m : myTriggerMessages.Lines()) AddLine(m.stamp, 1, "MSG\t" + Int(m.stamp) + " " + m.text);
}

void AscWriter::WriteLine(BufferedFile& out, const std::string& text) {
  out.Append(text);
  out.Append(myEol);
}

void AscWriter::WriteSamples(BufferedFile& out, const RecordingBlock& block, size_t& nextLine) {
  const SimOptions& o = myPlan.Options();
  const bool left = o.eyes != EyeSetup::Right;
  const bool right = o.eyes != EyeSetup::Left;
  const bool both = left && right;
  const std::vector<EyeEvent>& blinks = myEyeEvents.Blinks();
  size_t blink = std::lower_bound(blinks.begin(), blinks.end(), block.firstSample,
                                  [](const EyeEvent& b, int64_t k) { return b.last < k; }) -
                 blinks.begin();
  bool previousMissing = true;
  for (int64_t k = block.firstSample; k < block.EndSample(); ++k) {
    const int64_t ts = myPlan.SampleTimestamp(k);
    const int64_t key = ts * 4 + 2;
    while (nextLine < myLines.size() && myLines[nextLine].key < key) WriteLine(out, myLines[nextLine++].text);

    while (blink < blinks.size() && blinks[blink].last < k) ++blink;
    const bool missing = blink < blinks.size() && blinks[blink].first <= k;
    const bool velocityKnown = !missing && !previousMissing && k >= block.firstSample + 2;
    const double t = myPlan.SampleTime(k);
    out.AppendUnsigned(static_cast<uint64_t>(ts));
    if (o.halfMsTimestamps && t - static_cast<double>(ts) > 0.25) out.Append(".5");
    auto eyeColumns = [&](bool rightEye) {
      if (missing) {
        out.Append("\t   .\t   .\t    0.0");
        return;
      }
      out.Append('\t');
      out.AppendFixed(TruthSignals::GazeX(t, rightEye), 1, 7);
      out.Append('\t');
      out.AppendFixed(TruthSignals::GazeY(t, rightEye), 1, 7);
      out.Append('\t');
      out.AppendFixed(TruthSignals::Pupil(t, rightEye, o.pupilDiameter), 1, 7);
    };
    if (left) eyeColumns(false);
    if (right) eyeColumns(true);
    if (o.velocity) {
      const int eyes = both ? 2 : 1;
      for (int e = 0; e < eyes; ++e) {
        if (!velocityKnown) {
          out.Append("\t   .\t   .");
          continue;
        }
        out.Append('\t');
        out.AppendFixed(TruthSignals::VelocityX(t), 1, 7);
        out.Append('\t');
        out.AppendFixed(TruthSignals::VelocityY(t), 1, 7);
      }
    }
    out.Append(both ? (missing ? "\t.C.C." : "\t.....") : "\t...");
    out.Append(myEol);
    previousMissing = missing;
  }
}

bool AscWriter::Write(const std::string& path) {
  const SimOptions& o = myPlan.Options();
  myEol = o.ascCrlf ? "\r\n" : "\n";
  myLines.clear();
  CollectPreamble();
  CollectMessages();
  CollectTriggers();
  CollectTriggerMessages();
  CollectEyeEvents();
  CollectBlocks();
  std::stable_sort(myLines.begin(), myLines.end(), [](const Line& a, const Line& b) { return a.key < b.key; });

  BufferedFile out;
  if (!out.Open(path)) return false;
  const RecordingDate& date = myPlan.Date();
  // The tracker's wall clock: the EEG's recording date shifted by the true time between the two starts.
  const int64_t preambleUs = std::llround((static_cast<double>(myPlan.TrackerStartMs()) - 6000.0 - myPlan.EegStartMs()) * 1000.0);
  const int64_t convertedUs = preambleUs + 3600LL * 1000000;
  WriteLine(out, "** CONVERTED FROM D:\\Experiments\\Sim\\" + o.name + ".edf using edfapi 4.2.1 Win32  EyeLink "
                 "Dataviewer Sub ComponentApr 01 2021 on " + date.AscText(convertedUs));
  WriteLine(out, "** DATE: " + date.AscText(preambleUs));
  WriteLine(out, "** TYPE: EDF_FILE BINARY EVENT SAMPLE TAGGED");
  WriteLine(out, "** VERSION: EYELINK II 1");
  WriteLine(out, "** SOURCE: EYELINK CL");
  WriteLine(out, "** EYELINK II CL v6.12 Feb  1 2018 (EyeLink Portable Duo)");
  WriteLine(out, "** CAMERA: EyeLink USBCAM Version 1.01");
  WriteLine(out, "** SERIAL NUMBER: CLU-DAB50");
  WriteLine(out, "** CAMERA_CONFIG: DAB50200.SCD");
  WriteLine(out, "** RECORDED BY Tessark");
  WriteLine(out, "** SREB2.2.61 WIN32 LID:1E3BC0A4 Mod:2026.03.02 11:20 CET");
  WriteLine(out, "**");
  WriteLine(out, "");

  size_t nextLine = 0;
  for (const RecordingBlock& block : myPlan.Blocks()) WriteSamples(out, block, nextLine);
  while (nextLine < myLines.size()) WriteLine(out, myLines[nextLine++].text);
  return out.Close();
}
