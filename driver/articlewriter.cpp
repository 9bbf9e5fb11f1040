#include "driver/articlewriter.h"

#include <fstream>
#include <iomanip>
#include <locale>

bool ArticleWriter::Write(const ArticleRecord& record, const std::string& directory) {
  if (!record.enabled) return true;
  std::ofstream out(directory + kFileName, std::ios::out | std::ios::app);
  if (!out.is_open()) return true;
  WriteLine(out, record);
  return true;
}

void ArticleWriter::WriteLine(std::ostream& out, const ArticleRecord& record) {
  out.imbue(std::locale::classic());
  out << record.baseName << ' ';
  for (const int32_t count : record.histograms) out << std::setw(5) << count << ' ';
  out << '\n';
}
