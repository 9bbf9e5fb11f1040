// The event-type table's MAT structure.
#include <algorithm>
#include <limits>

#include "varnixlib/asc/stimulationmap.h"
#include "varnixlib/mat/recordmat.h"

MatVariable MakeMatStructure(const StimulationMap& map, const std::string& structureName) {
  std::vector<uint16_t> values;
  std::vector<std::string> names;
  std::vector<uint32_t> counts;
  size_t width = 0;
  for (const auto& [code, entry] : map.Entries()) {
    values.push_back(code);
    names.push_back(entry.name);
    width = std::max(width, entry.name.size());
    const int64_t bounded = std::clamp<int64_t>(entry.count, 0, std::numeric_limits<uint32_t>::max());
    counts.push_back(static_cast<uint32_t>(bounded));
  }
  MatComponents components;
  bool ok = components.AddVector("value", values);
  ok = components.AddTextRows("name", names, width, names.size()) && ok;
  ok = components.AddVector("count", counts) && ok;
  if (!ok) return {};
  return components.MakeStructure(structureName);
}
