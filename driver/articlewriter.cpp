#include "driver/articlewriter.h"

#include <iomanip>
#include <locale>
#include <sstream>

#include "varnixlib/support/lineappender.h"

bool ArticleWriter::Write(const ArticleRecord& record, const std::string& directory) {
  if (!record.enabled) return true;
  std::ostringstream line;
  WriteLine(line, record);
  // A missing directory or a full disk leaves the file as it was; the run goes on either way.
  Varnix::LineAppender::Append(directory + kFileName, line.str());
  return true;
}

void ArticleWriter::WriteLine(std::ostream& out, const ArticleRecord& record) {
  out.imbue(std::locale::classic());
  out << record.baseName << ' ';
  for (const int32_t count : record.histograms) out << std::setw(5) << count << ' ';
  out << '\n';
}
