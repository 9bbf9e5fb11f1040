#pragma once
// The MAT form of the records the readers make: the BrainVision header's "Params", the ASC
// header, the event-type table and the fields of the experiment-structure and eye-event lists.
// The readers know nothing of it; the exporters of both recordings build on it.

#include <cstdint>
#include <string>
#include <vector>

#include "varnixlib/mat/matcomponents.h"

class AscHeader;
class BrainampVhdr;
class CSequence;
class CTransition;
class Displayable;
class FixationSaccade;
class StimulationMap;

/// What the MAT parameters of a merged recording need to know about it: its size and rate, and
/// the names of the channels it adds after the EEG channels.
struct SyncOutputDescription {
  uint32_t nbOfSamples = 0;
  uint32_t nbOfChannels = 0;     ///< EEG channels plus the added ones
  double samplingRate = 0.0;     ///< Hz
  std::vector<std::string> addedChannelNames;
};

/// The "Params" structure of the header, given the fill value of the sample type. With a merged
/// recording (sync) the rate and sizes are its own, its added channels follow the EEG names with
/// gain 1.0 each, as in the merged header. Empty (reported) when a field cannot be built.
MatVariable AddMatParams(const BrainampVhdr& header, double valNaN, const SyncOutputDescription* sync);

/// "AscHeader": the identity and screen of the eye-tracker recording.
MatVariable MakeMatStructure(const AscHeader& header);
/// The event-type table as a structure of value, name and count rows.
MatVariable MakeMatStructure(const StimulationMap& map, const std::string& structureName);

/// The fields that each kind of list adds to the common event-list form.
bool AddMatFields(MatComponents& components, const std::vector<const Displayable*>& items);
bool AddMatFields(MatComponents& components, const std::vector<const CSequence*>& items);
bool AddMatFields(MatComponents& components, const std::vector<const CTransition*>& items);
bool AddMatFields(MatComponents& components, const std::vector<const FixationSaccade*>& items);
