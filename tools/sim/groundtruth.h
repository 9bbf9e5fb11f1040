#pragma once
// The answer sheet of a simulated pair: the clock model, the recording's layout, every EEG segment
// and every trigger with its true time and where each device registered it (the format is given in
// the tool's help), with its trigger message when there are any, and the optional reference TTL file.

#include <string>
#include <vector>

#include "experimentplan.h"
#include "triggermessages.h"

class GroundTruth {
 public:
  GroundTruth(const ExperimentPlan& plan, const TriggerMessagePlan& messages) : myPlan(plan), myMessages(messages) {}

  bool Write(const std::string& path, const std::vector<std::string>& channelNames) const;
  /// Reference TTL file: one line per trigger, microseconds since the first trigger and the code.
  bool WriteTtl(const std::string& path) const;

 private:
  const ExperimentPlan& myPlan;
  const TriggerMessagePlan& myMessages;
};
