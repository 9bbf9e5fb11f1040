// One timed pass of the ASC stage, shared by the benchmarks that measure it, so that they all time
// the same thing: the stage as tolmera runs it with velocity channels, progress lines kept out.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <string>

#include "varnixlib/asc/ascrawdata.h"
#include "varnixlib/synchroparams.h"

/// What one pass of the stage produced, and how long it took.
struct AscStageRun {
  bool ok = false;
  double seconds = 0.0;
  uint32_t samples = 0;
  uint32_t channels = 0;
  size_t triggers = 0;
  size_t events = 0;
};

/// Parses the .asc file as the merge does; the stage's own log goes to the temporary folder.
inline AscStageRun RunAscStage(const std::string& ascPath) {
  SynchroParams params;
  params.ascFileName = ascPath;
  params.velocityChannels = true;
  AscStageRun run;
  const auto start = std::chrono::steady_clock::now();
  AscRawData asc;
  asc.OpenLog((std::filesystem::temp_directory_path() / "tolmera-bench-Log-AscRawData.txt").string());
  std::cout.setstate(std::ios::failbit);  // keep the progress lines out of the figures
  run.ok = asc.Process(params);
  std::cout.clear();
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (run.ok) {
    run.samples = asc.NbSamples();
    run.channels = asc.NbChannels();
    run.triggers = asc.Triggers().size();
    run.events = asc.AllEvents().size();
  }
  return run;
}
