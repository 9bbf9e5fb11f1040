#include "varnixlib/brainamp.h"

#include <cstdint>

#include "varnixlib/report.h"

// Placeholders until the EEG stage lands: they refuse, never pretend.
template <typename T>
bool Brainamp::Process(SynchroParams&) {
  return Error("Brainamp::Process : EEG stage not built", "");
}

int32_t Brainamp::ReadBinaryFormat(const std::string&) { return -1; }

template bool Brainamp::Process<int16_t>(SynchroParams&);
template bool Brainamp::Process<float>(SynchroParams&);
template bool Brainamp::Process<double>(SynchroParams&);
