// tolmera-sim: writes a paired EEG / eye-tracker recording with its ground truth (see --help).

#include <chrono>
#include <iostream>

#include "ascwriter.h"
#include "brainvisionwriter.h"
#include "experimentplan.h"
#include "eyeeventplan.h"
#include "groundtruth.h"
#include "simoptions.h"
#include "structureplan.h"
#include "triggermessages.h"
#include "varnixlib/support/file.h"
#include "varnixlib/support/paths.h"
#include "varnixlib/support/platform.h"

int main(int argc, char** argv) {
  SimOptions options;
  bool help = false;
  std::string error;
  if (!ParseSimOptions(argc, argv, options, help, error)) {
    std::cerr << "tolmera-sim: " << error << "\n(tolmera-sim --help lists the options)" << std::endl;
    return 2;
  }
  if (help) {
    std::cout << SimHelpText();
    return 0;
  }
  const auto started = std::chrono::steady_clock::now();
  options.outDir = NormalizeSeparators(options.outDir);

  ExperimentPlan plan;
  if (!plan.Build(options, error)) {
    std::cerr << "tolmera-sim: " << error << std::endl;
    return 2;
  }
  EyeEventPlan eyeEvents;
  eyeEvents.Build(plan);
  StructurePlan structure;
  structure.Build(plan);
  TriggerMessagePlan triggerMessages;
  if (!triggerMessages.Build(plan, structure, error)) {
    std::cerr << "tolmera-sim: " << error << std::endl;
    return 2;
  }

  if (!Varnix::Platform::Stat(options.outDir).isDirectory && !Varnix::File::MakeDirs(options.outDir)) {
    std::cerr << "tolmera-sim: cannot create " << options.outDir << std::endl;
    return 1;
  }
  BrainVisionWriter eeg(plan);
  AscWriter asc(plan, eyeEvents, structure, triggerMessages);
  GroundTruth truth(plan, triggerMessages);
  const std::string& dir = options.outDir;
  if (!eeg.Write(dir, options.name) || !asc.Write(MakePath(dir, options.name, "asc")) ||
      !truth.Write(MakePath(dir, options.name + ".truth", "txt"), eeg.ChannelNames()) ||
      (options.ttlFile && !truth.WriteTtl(MakePath(dir, options.name, "ttl")))) {
    std::cerr << "tolmera-sim: writing the recording failed" << std::endl;
    return 1;
  }

  size_t lost = 0;
  for (const TriggerTruth& t : plan.Triggers()) lost += t.EegLost() ? 1 : 0;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::cout << "tolmera-sim: " << MakePath(dir, options.name, "vhdr") << " and " << MakePath(dir, options.name, "asc")
            << ": " << plan.Triggers().size() << " triggers (" << lost << " lost by the EEG), "
            << plan.Layout().Segments().size() << " EEG segments, " << plan.Layout().RecordedSamples()
            << " EEG samples, " << seconds << " s" << std::endl;
  return 0;
}
