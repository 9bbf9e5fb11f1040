#pragma once
// The per-run quality line (-Q): times, fit quality and a histogram, one line appended per run.

#include <ostream>
#include <string>

#include "varnixlib/support/platform.h"
#include "varnixlib/synchroparams.h"

class QualityWriter {
 public:
  static constexpr const char* kFileName = "TolmeraQualityQuor.txt";

  /// Appends the record's line to kFileName in directory (which is not created). Does nothing when
  /// the record is not enabled or the file cannot be opened; always true.
  static bool Write(const QualityRecord& record,
                    const std::string& directory = Varnix::Platform::DiagnosticDirectory());
  static void WriteLine(std::ostream& out, const QualityRecord& record);
};
