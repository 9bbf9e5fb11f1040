// Builds a float32 recording of 64 channels (1 GiB of samples by default, or the size in MiB given
// as the first argument) in a scratch directory, then times the EEG stage (header, markers, one
// read of the samples, segment bookkeeping) against a plain one-call read of the same data file,
// and reports the stage's peak resident memory relative to the data file's size.

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "varnixlib/brainvision/brainamp.h"
#include "varnixlib/support/platform.h"

namespace {

constexpr int kChannels = 64;

// Peak resident set of the process in bytes (VmHWM), 0 when unknown.
uint64_t PeakResident() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stoull(line.substr(6)) * 1024;
  }
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<uint64_t>(usage.ru_maxrss) * 1024;
}

uint64_t CurrentResident() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stoull(line.substr(6)) * 1024;
  }
  return 0;
}

// Resets the peak so that each measurement sees only its own; false where the kernel does not allow it.
bool ResetPeak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return static_cast<bool>(clear);
}

double Seconds(std::chrono::steady_clock::time_point from) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

void WriteRecording(const std::filesystem::path& dir, uint64_t bytes) {
  const uint64_t frames = bytes / (kChannels * sizeof(float));
  {
    std::ofstream vhdr(dir / "rec.vhdr", std::ios::binary);
    vhdr << "Brain Vision Data Exchange Header File Version 1.0\r\n\r\n[Common Infos]\r\nCodepage=UTF-8\r\n"
            "DataFile=rec.eeg\r\nMarkerFile=rec.vmrk\r\nDataFormat=BINARY\r\nDataOrientation=MULTIPLEXED\r\n"
            "NumberOfChannels=" << kChannels << "\r\nSamplingInterval=1000\r\n\r\n[Binary Infos]\r\n"
            "BinaryFormat=IEEE_FLOAT_32\r\n\r\n[Channel Infos]\r\n";
    for (int c = 1; c <= kChannels; ++c) vhdr << "Ch" << c << "=E" << c << ",,0.1,\xC2\xB5V\r\n";
  }
  {
    std::ofstream vmrk(dir / "rec.vmrk", std::ios::binary);
    vmrk << "Brain Vision Data Exchange Marker File, Version 1.0\r\n\r\n[Marker Infos]\r\n"
            "Mk1=New Segment,,1,1,0,20240101100000000000\r\n";
    // One trigger a second, and a buffer overflow with a second segment half way.
    uint64_t n = 2;
    for (uint64_t s = 500; s < frames; s += 1000) {
      if (s / 1000 == frames / 2000) {
        vmrk << "Mk" << n++ << "=Comment,Buffer Overflow," << s + 1 << ",1,0\r\n";
        // 50 ms of samples lost in the overflow.
        const uint64_t micros = (s + 50) * 1000;
        char date[32];
        std::snprintf(date, sizeof date, "20240101%02u%02u%02u%06u", static_cast<unsigned>(10 + micros / 3600000000u),
                      static_cast<unsigned>(micros / 60000000u % 60), static_cast<unsigned>(micros / 1000000u % 60),
                      static_cast<unsigned>(micros % 1000000u));
        vmrk << "Mk" << n++ << "=New Segment,," << s + 1 << ",1,0," << date << "\r\n";
      }
      vmrk << "Mk" << n++ << "=Stimulus,S" << (1 + s / 1000 % 200) << ',' << s + 1 << ",1,0\r\n";
    }
  }
  std::ofstream eeg(dir / "rec.eeg", std::ios::binary);
  std::vector<float> chunk(4 << 20);
  uint64_t left = frames * kChannels;
  uint32_t x = 12345;
  while (left > 0) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(left, chunk.size()));
    for (size_t i = 0; i < n; ++i) {
      x = x * 1664525u + 1013904223u;
      chunk[i] = static_cast<float>(static_cast<int32_t>(x >> 8) % 2000) * 0.05f;
    }
    eeg.write(reinterpret_cast<const char*>(chunk.data()), static_cast<std::streamsize>(n * sizeof(float)));
    left -= n;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
  const uint64_t requested = mib << 20;
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("tolmera-bench-eegstage-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  WriteRecording(dir, requested);
  const std::string eegPath = (dir / "rec.eeg").string();
  const uint64_t size = std::filesystem::file_size(eegPath);

  // Bring the file into the page cache in small pieces, so that neither side pays the disk and
  // the peak memory is not raised by it.
  {
    std::ifstream warm(eegPath, std::ios::binary);
    std::vector<char> buffer(16 << 20);
    while (warm.read(buffer.data(), static_cast<std::streamsize>(buffer.size()))) {
    }
  }

  const bool canReset = ResetPeak();
  const uint64_t baseline = CurrentResident();
  double bestStage = 1e300;
  double bestPlain = 1e300;
  uint64_t stagePeak = 0;
  bool ok = true;
  for (int round = 0; round < 3; ++round) {
    {
      ResetPeak();
      SynchroParams params;
      params.eegFileName = eegPath;
      Brainamp eeg;
      const auto start = std::chrono::steady_clock::now();
      ok = eeg.Process<float>(params) && ok;
      bestStage = std::min(bestStage, Seconds(start));
      if (round == 0 || canReset) stagePeak = std::max(stagePeak, PeakResident());
    }
    {
      const auto start = std::chrono::steady_clock::now();
      std::unique_ptr<char[]> buffer(new char[size]);
      const int fd = Varnix::Platform::OpenForReading(eegPath);
      const uint64_t got = Varnix::Platform::ReadFully(fd, buffer.get(), size);
      Varnix::Platform::Close(fd);
      bestPlain = std::min(bestPlain, Seconds(start));
      ok = got == size && ok;
    }
  }
  std::filesystem::remove_all(dir);

  const double gb = static_cast<double>(size) / 1e9;
  std::printf("data file           : %.3f GB, %d channels, float32\n", gb, kChannels);
  std::printf("EEG stage           : %.3f s  %.2f GB/s (best of 3)\n", bestStage, gb / bestStage);
  std::printf("plain one-call read : %.3f s  %.2f GB/s (best of 3)\n", bestPlain, gb / bestPlain);
  std::printf("stage / plain       : %.2f of the plain read's throughput\n", bestPlain / bestStage);
  std::printf("stage peak memory   : %.1f MB = %.3f x the data file (%.3f x above the %.1f MB the process held before)%s\n",
              static_cast<double>(stagePeak) / 1e6, static_cast<double>(stagePeak) / static_cast<double>(size),
              static_cast<double>(stagePeak - baseline) / static_cast<double>(size), static_cast<double>(baseline) / 1e6,
              canReset ? "" : " [peak not resettable: first round only]");
  if (!ok) std::printf("a read FAILED\n");
  return ok ? 0 : 1;
}
