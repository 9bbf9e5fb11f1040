#pragma once
// The MAT export of the eye-tracker recording: the ASC MAT file (-m) and the "Eyetracker" part of
// every merged set's MAT file.

#include <cstdint>
#include <string>
#include <vector>

#include "varnixlib/mat/matcomponents.h"

class AscRawData;
struct SynchroParams;

class AscMatExport {
 public:
  /// The exporter reads asc, which must outlive it and every variable it built.
  explicit AscMatExport(const AscRawData& asc) : myAsc(asc) {}
  AscMatExport(const AscMatExport&) = delete;
  AscMatExport& operator=(const AscMatExport&) = delete;

  /// The MAT file ascMatFileName holding the structure "EyetrackerAcq", and beside it the
  /// event-type text file, whose name goes into eventFileName. Times are exported 1-based while
  /// the events keep their 0-based indices. False when either file cannot be written whole.
  bool SaveMatFile(SynchroParams& params);
  /// "Eyetracker" of a merged set's MAT file: AscHeader, Params without channelNames, and Data with
  /// the line offsets alone (kept by reference, as AddMatLineOffsets).
  MatVariable MakeMatEyetracker();
  /// The event-type text file of a MAT file: "<directory>/<base>.event.txt".
  static std::string EventFileNameOf(const std::string& matFileName);
  /// Adds the four code tables shared by every MAT file of the program.
  static bool AddMatCodeTables(MatComponents& components);

 private:
  /// The MAT "Params" of the gaze recording; channelNames only when asked for.
  MatVariable MakeMatParams(bool withChannelNames) const;
  /// Adds "fseek", the byte offset of every text line. Kept by reference (in 32 bits) unless an
  /// offset needs more, then copied as doubles; the exporter must outlive the write.
  bool AddMatLineOffsets(MatComponents& components);
  MatVariable MakeMatData();
  MatVariable MakeMatEvents(const std::string& eventFileName) const;

  const AscRawData& myAsc;
  std::vector<uint32_t> myMatLineOffsets;  ///< the line starts in 32 bits, referred to by the file
};
