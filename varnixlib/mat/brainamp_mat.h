#pragma once
// The MAT file of one merged output set (-m).

#include <string>

class AscRawData;
class Brainamp;
struct SyncInfo;

/// "EegAcq" in prefix with the extension "asc.eeg.mat": both recordings' descriptions, the
/// alignment summary and the set's event lists on the merged time base, from the set's
/// description as the merge returned it. True when the file was written whole.
bool SaveMatFile(const Brainamp& eeg, const AscRawData& asc, const SyncInfo& info, const std::string& prefix);
