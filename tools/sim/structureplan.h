#pragma once
// The messages a stimulus program ("Tessark") writes into the tracker's file to describe the
// experiment: its identity and screen before the first block, then per block a phase holding
// sequences of displayed items (image, text with blanks, video with frames, special and gaze items),
// each begun and ended by a transition message, and keyboard trials (TRIALID, 'Stimulus,
// Image_Start, reponse).

#include <cstdint>
#include <string>
#include <vector>

#include "experimentplan.h"

struct StructureMessage {
  int64_t timestamp = 0;  ///< tracker timestamp (ms)
  std::string text;       ///< everything after the timestamp of the MSG line
};

class StructurePlan {
 public:
  void Build(const ExperimentPlan& plan);
  /// In time order; empty unless the experiment-structure messages were asked for.
  const std::vector<StructureMessage>& Messages() const { return myMessages; }

 private:
  std::vector<StructureMessage> myMessages;
};
