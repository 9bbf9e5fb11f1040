#include "varnixlib/asc/stimulationmap.h"

#include <fstream>
#include <iomanip>
#include <algorithm>
#include <limits>
#include <locale>
#include <vector>

#include "varnixlib/support/atomictextwriter.h"
#include "varnixlib/support/file.h"
#include "varnixlib/support/report.h"

void StimulationMap::Add(uint16_t code, const std::string& name) {
  auto [it, inserted] = myEntries.try_emplace(code, Entry{name, 0});
  ++it->second.count;
}

bool StimulationMap::Write(const std::string& path) const {
  Varnix::AtomicTextWriter file(path, "StimulationMap::Write");
  file.SetOpenFailureTag("Opening log file : ");
  std::ostream& out = file.Stream();
  out.imbue(std::locale::classic());
  for (const auto& [code, entry] : myEntries) {
    out << std::left << std::setw(10) << code << std::setw(30) << entry.name << ' ' << entry.count << '\n';
  }
  return file.Commit();
}

bool StimulationMap::Read(const std::string& path) {
  if (!Varnix::File::Exists(path)) return Error("File doesn't exist : ", path);
  std::ifstream in(path);
  if (!in) return Error("Opening log file : ", path);
  in.imbue(std::locale::classic());
  int64_t code = 0;
  std::string name;
  int64_t count = 0;
  while (in >> code >> name >> count) {
    auto [it, inserted] = myEntries.try_emplace(static_cast<uint16_t>(code), Entry{name, 0});
    it->second.count += count;
  }
  return true;
}

