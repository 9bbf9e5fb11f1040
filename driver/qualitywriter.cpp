#include "driver/qualitywriter.h"

#include <iomanip>
#include <locale>
#include <sstream>

#include "varnixlib/support/lineappender.h"

bool QualityWriter::Write(const QualityRecord& record, const std::string& directory) {
  if (!record.enabled) return true;
  std::ostringstream line;
  WriteLine(line, record);
  // A missing directory or a full disk leaves the file as it was; the run goes on either way.
  Varnix::LineAppender::Append(directory + kFileName, line.str());
  return true;
}

void QualityWriter::WriteLine(std::ostream& out, const QualityRecord& record) {
  out.imbue(std::locale::classic());
  out << record.baseName << ' ';
  out << std::setprecision(3) << record.ascProcessingTime << ' ' << record.syncOutputTime << ' '
      << record.matchingTime << ' ';
  out << std::setprecision(16) << record.rSquared << ' ';
  for (const int32_t count : record.histogram) out << std::setw(5) << count << ' ';
  out << '\n';
}
