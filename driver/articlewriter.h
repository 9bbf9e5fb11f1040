#pragma once
// The per-run article line (-A): the alignment-error histograms of the trigger matchings.

#include <ostream>
#include <string>

#include "varnixlib/support/platform.h"
#include "varnixlib/synchroparams.h"

class ArticleWriter {
 public:
  static constexpr const char* kFileName = "TolmeraArticleQuor.txt";

  /// Appends the record's line to kFileName in directory (which is not created). Does nothing when
  /// the record is not enabled or the file cannot be opened; always true.
  static bool Write(const ArticleRecord& record,
                    const std::string& directory = Varnix::Platform::DiagnosticDirectory());
  static void WriteLine(std::ostream& out, const ArticleRecord& record);
};
