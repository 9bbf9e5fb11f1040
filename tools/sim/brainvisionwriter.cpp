#include "brainvisionwriter.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <limits>

#include "bufferedfile.h"
#include "simrandom.h"
#include "truthsignals.h"
#include "varnixlib/support/paths.h"

static_assert(std::endian::native == std::endian::little,
              "the .eeg file is little-endian and written from memory as it is");

namespace {

constexpr uint64_t kStreamSignal = 5;
constexpr uint64_t kStreamImpedance = 6;
constexpr double kTwoPi = 6.283185307179586;
constexpr const char* kCrLf = "\r\n";

struct Electrode {
  const char* name;
  int theta, phi;  ///< spherical coordinates as Recorder's [Coordinates] section gives them
};

const Electrode kElectrodes[] = {
    {"Fp1", -90, -72}, {"Fp2", 90, 72},   {"F7", -90, -36},  {"F3", -60, -51}, {"Fz", 45, 90},
    {"F4", 60, 51},    {"F8", 90, 36},    {"FC5", -69, -21}, {"FC1", -31, -46}, {"FC2", 31, 46},
    {"FC6", 69, 21},   {"T7", -90, 0},    {"C3", -45, 0},    {"Cz", 0, 0},      {"C4", 45, 0},
    {"T8", 90, 0},     {"TP9", -113, 18}, {"CP5", -69, 21},  {"CP1", -31, 46},  {"CP2", 31, -46},
    {"CP6", 69, -21},  {"TP10", 113, -18}, {"P7", -90, 36},  {"P3", -60, 51},   {"Pz", 45, -90},
    {"P4", 60, -51},   {"P8", 90, -36},   {"PO9", -113, 54}, {"O1", -90, 72},   {"Oz", 90, -90},
    {"O2", 90, -72},   {"PO10", 113, -54}, {"AF7", -90, -54}, {"AF3", -74, -68}, {"AF4", 74, 68},
    {"AF8", 90, 54},   {"F5", -75, -41},  {"F1", -46, -68},  {"F2", 46, 68},    {"F6", 75, 41},
    {"FT9", -113, -18}, {"FT7", -90, -18}, {"FC3", -49, -29}, {"FC4", 49, 29},  {"FT8", 90, 18},
    {"FT10", 113, 18}, {"C5", -68, 0},    {"C1", -23, 0},    {"C2", 23, 0},     {"C6", 68, 0},
    {"TP7", -90, 18},  {"CP3", -49, 29},  {"CPz", 23, -90},  {"CP4", 49, -29},  {"TP8", 90, -18},
    {"P5", -75, 41},   {"P1", -46, 68},   {"P2", 46, -68},   {"P6", 75, -41},   {"PO7", -90, 54},
    {"PO3", -74, 68},  {"POz", 68, -90},  {"PO4", 74, -68},  {"PO8", 90, -54},  {"FCz", 23, 90},
};
constexpr size_t kElectrodeCount = sizeof kElectrodes / sizeof kElectrodes[0];

std::string FormatDouble(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

std::string Padded(const std::string& text, size_t width) {
  return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

}  // namespace

BrainVisionWriter::BrainVisionWriter(const ExperimentPlan& plan) : myPlan(plan) {
  const SimOptions& o = plan.Options();
  const double signalResolution = o.sampleType == SampleType::Int16 ? 0.1 : 1.0;
  for (uint32_t c = 0; c + 1 < o.channels; ++c) {
    myNames.push_back(c < kElectrodeCount ? kElectrodes[c].name : "E" + std::to_string(c + 1));
    myResolutions.push_back(signalResolution);
  }
  myNames.push_back(TruthSignals::kClockChannelName);
  myResolutions.push_back(TruthSignals::kClockResolution);
}

bool BrainVisionWriter::Write(const std::string& directory, const std::string& name) {
  return WriteHeader(MakePath(directory, name, "vhdr"), name) && WriteMarkers(MakePath(directory, name, "vmrk"), name) &&
         WriteSamples(MakePath(directory, name, "eeg"));
}

bool BrainVisionWriter::WriteHeader(const std::string& path, const std::string& name) {
  const SimOptions& o = myPlan.Options();
  const double intervalUs = 1e6 / o.eegRateHz;
  const char* format = o.sampleType == SampleType::Int16     ? "INT_16"
                       : o.sampleType == SampleType::Float32 ? "IEEE_FLOAT_32"
                                                             : "IEEE_FLOAT_64";
  std::string h;
  auto line = [&h](const std::string& text) { h += text + kCrLf; };
  line("Brain Vision Data Exchange Header File Version 1.0");
  line("; Data created by the Vision Recorder");
  line("");
  line("[Common Infos]");
  line("Codepage=UTF-8");
  line("DataFile=" + name + ".eeg");
  line("MarkerFile=" + name + ".vmrk");
  line("DataFormat=BINARY");
  line("; Data orientation: MULTIPLEXED=ch1,pt1, ch2,pt1 ...");
  line("DataOrientation=MULTIPLEXED");
  line("NumberOfChannels=" + std::to_string(o.channels));
  line("; Sampling interval in microseconds");
  line("SamplingInterval=" + FormatDouble(intervalUs));
  line("");
  line("[Binary Infos]");
  line(std::string("BinaryFormat=") + format);
  line("");
  line("[Channel Infos]");
  line("; Each entry: Ch<Channel number>=<Name>,<Reference channel name>,");
  line("; <Resolution in \"Unit\">,<Unit>, Future extensions..");
  line("; Fields are delimited by commas, some fields might be omitted (empty).");
  line("; Commas in channel names are coded as \"\\1\".");
  for (size_t c = 0; c < myNames.size(); ++c)
    line("Ch" + std::to_string(c + 1) + "=" + myNames[c] + ",," + FormatDouble(myResolutions[c]) + ",\xC2\xB5V");
  line("");
  line("[Coordinates]");
  for (size_t c = 0; c < myNames.size(); ++c) {
    const bool known = c + 1 < myNames.size() && c < kElectrodeCount;
    line("Ch" + std::to_string(c + 1) + "=" +
         (known ? "1," + std::to_string(kElectrodes[c].theta) + "," + std::to_string(kElectrodes[c].phi) : "0,0,0"));
  }
  line("");
  line("[Comment]");
  line("");
  line("A m p l i f i e r  S e t u p");
  line("============================");
  line("Number of channels: " + std::to_string(o.channels));
  line("Sampling Rate [Hz]: " + FormatDouble(o.eegRateHz));
  line("Sampling Interval [\xC2\xB5S]: " + FormatDouble(intervalUs));
  line("");
  line("Channels");
  line("--------");
  line("#     Name      Phys. Chn.    Resolution / Unit   Low Cutoff [s]   High Cutoff [Hz]   Notch [Hz]    "
       "Series Res. [kOhm] Gradient         Offset");
  for (size_t c = 0; c < myNames.size(); ++c) {
    line(Padded(std::to_string(c + 1), 6) + Padded(myNames[c], 12) + Padded(std::to_string(c + 1), 17) +
         Padded(FormatDouble(myResolutions[c]) + " \xC2\xB5V", 20) + Padded("10", 16) + Padded("1000", 17) +
         Padded("Off", 19) + Padded("0", 18));
  }
  line("");
  line("S o f t w a r e  F i l t e r s");
  line("==============================");
  line("Disabled");
  line("");
  line("");
  line("Data Electrodes Selected Impedance Measurement Range: 0 - 100 kOhm");
  line("Ground Electrode Selected Impedance Measurement Range: 0 - 10 kOhm");
  line("Reference Electrode Selected Impedance Measurement Range: 0 - 10 kOhm");
  // Impedances are measured a few minutes before the recording starts.
  line("Impedance [kOhm] at " + myPlan.Date().TimeText(-180LL * 1000000) + " :");
  SimRandom rng = SimRandom(o.seed).Fork(kStreamImpedance);
  for (size_t c = 0; c + 1 < myNames.size(); ++c) {
    char text[64];
    std::snprintf(text, sizeof text, "%-12s%3u", (myNames[c] + ":").c_str(), 1 + rng.Below(20));
    line(text);
  }
  line("Ref:          " + std::to_string(rng.Below(5)));
  line("Gnd:          " + std::to_string(1 + rng.Below(5)));

  BufferedFile out;
  if (!out.Open(path)) return false;
  out.Append(h);
  return out.Close();
}

bool BrainVisionWriter::WriteMarkers(const std::string& path, const std::string& name) {
  struct Marker {
    uint64_t position;  // 1-based file position
    int rank;           // at one position: overflow comment, then New Segment, then stimuli
    std::string text;
  };
  std::vector<Marker> markers;
  const std::vector<EegSegment>& segments = myPlan.Layout().Segments();
  for (size_t i = 0; i < segments.size(); ++i) {
    const EegSegment& s = segments[i];
    const uint64_t pos = s.fileStart + 1;
    if (s.kind == SegmentKind::Overflow)
      markers.push_back({pos, 0, "Comment,Buffer Overflow," + std::to_string(pos) + ",1,0"});
    markers.push_back({pos, 1, "New Segment,," + std::to_string(pos) + ",1,0," + s.date});
  }
  for (const TriggerTruth& t : myPlan.Triggers()) {
    if (!t.InEeg()) continue;
    char description[16];
    std::snprintf(description, sizeof description, "S%3u", static_cast<unsigned>(t.code));
    const uint64_t pos = static_cast<uint64_t>(t.eegFile) + 1;
    markers.push_back({pos, 2, std::string("Stimulus,") + description + "," + std::to_string(pos) + ",1,0"});
    if (t.outlier == Outlier::EegDouble) {
      const uint64_t again = static_cast<uint64_t>(t.doubleEegFile) + 1;
      markers.push_back({again, 2, std::string("Stimulus,") + description + "," + std::to_string(again) + ",1,0"});
    }
  }
  std::stable_sort(markers.begin(), markers.end(), [](const Marker& a, const Marker& b) {
    return a.position != b.position ? a.position < b.position : a.rank < b.rank;
  });

  BufferedFile out;
  if (!out.Open(path)) return false;
  auto line = [&out](const std::string& text) {
    out.Append(text);
    out.Append(kCrLf);
  };
  line("Brain Vision Data Exchange Marker File, Version 1.0");
  line("");
  line("[Common Infos]");
  line("Codepage=UTF-8");
  line("DataFile=" + name + ".eeg");
  line("");
  line("[Marker Infos]");
  line("; Each entry: Mk<Marker number>=<Type>,<Description>,<Position in data points>,");
  line("; <Size in data points>, <Channel number (0 = marker is related to all channels)>");
  line("; Fields are delimited by commas, some fields might be omitted (empty).");
  line("; Commas in type or description text are coded as \"\\1\".");
  for (size_t i = 0; i < markers.size(); ++i) line("Mk" + std::to_string(i + 1) + "=" + markers[i].text);
  return out.Close();
}

bool BrainVisionWriter::WriteSamples(const std::string& path) {
  switch (myPlan.Options().sampleType) {
    case SampleType::Int16: return WriteSamplesAs<int16_t>(path);
    case SampleType::Float32: return WriteSamplesAs<float>(path);
    case SampleType::Float64: return WriteSamplesAs<double>(path);
  }
  return false;
}

template <typename T>
bool BrainVisionWriter::WriteSamplesAs(const std::string& path) {
  const SimOptions& o = myPlan.Options();
  const size_t channels = o.channels;
  const size_t signals = channels - 1;
  SimRandom rng = SimRandom(o.seed).Fork(kStreamSignal);
  // Each channel: an alpha and a theta rhythm of its own amplitude and phase, a DC level and noise (µV).
  struct Shape {
    double alphaSin, alphaCos, thetaSin, thetaCos, dc, noise, scale;
  };
  std::vector<Shape> shapes(signals);
  for (size_t c = 0; c < signals; ++c) {
    const double alpha = rng.Uniform(5.0, 25.0), alphaPhase = rng.Uniform(0.0, kTwoPi);
    const double theta = rng.Uniform(3.0, 12.0), thetaPhase = rng.Uniform(0.0, kTwoPi);
    shapes[c] = {alpha * std::cos(alphaPhase), alpha * std::sin(alphaPhase), theta * std::cos(thetaPhase),
                 theta * std::sin(thetaPhase), rng.Uniform(-30.0, 30.0), rng.Uniform(2.0, 6.0),
                 1.0 / myResolutions[c]};
  }
  const double clockScale = 1.0 / TruthSignals::kClockResolution;
  auto store = [](double raw) -> T {
    if constexpr (std::is_same_v<T, int16_t>) {
      // -32768 is the format's missing value: never a measured one.
      const double r = std::nearbyint(raw);
      return static_cast<int16_t>(r > 32767.0 ? 32767.0 : (r < -32767.0 ? -32767.0 : r));
    } else {
      return static_cast<T>(raw);
    }
  };

  BufferedFile out;
  if (!out.Open(path)) return false;
  constexpr size_t kChunkSamples = 4096;
  std::vector<T> frame(kChunkSamples * channels);
  const ClockModel& clock = myPlan.Clock();
  for (const EegSegment& segment : myPlan.Layout().Segments()) {
    uint64_t n = segment.gapFilledStart;
    const uint64_t end = segment.gapFilledStart + segment.recorded;
    while (n < end) {
      const size_t count = static_cast<size_t>(std::min<uint64_t>(kChunkSamples, end - n));
      T* v = frame.data();
      for (size_t i = 0; i < count; ++i, ++n) {
        const double t = clock.TrueTimeOfEegSample(static_cast<double>(n));
        const double seconds = t / 1000.0;
        const double a = kTwoPi * 10.0 * std::fmod(seconds, 1.0);
        const double th = kTwoPi * 6.0 * std::fmod(seconds, 1.0);
        const double sa = std::sin(a), ca = std::cos(a), st = std::sin(th), ct = std::cos(th);
        for (size_t c = 0; c < signals; ++c) {
          const Shape& s = shapes[c];
          const double uv = s.alphaSin * sa + s.alphaCos * ca + s.thetaSin * st + s.thetaCos * ct + s.dc +
                            s.noise * rng.Normal();
          *v++ = store(uv * s.scale);
        }
        *v++ = store(TruthSignals::ClockValue(t) * clockScale);
      }
      out.AppendBytes(frame.data(), count * channels * sizeof(T));
    }
  }
  return out.Close();
}
