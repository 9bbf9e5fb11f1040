#include "driver/qualitywriter.h"

#include <fstream>
#include <iomanip>
#include <locale>

bool QualityWriter::Write(const QualityRecord& record, const std::string& directory) {
  if (!record.enabled) return true;
  std::ofstream out(directory + kFileName, std::ios::out | std::ios::app);
  if (!out.is_open()) return true;
  WriteLine(out, record);
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
