#include "varnixlib/sync/triggermatching.h"

#include <algorithm>

#include "varnixlib/support/rounding.h"
#include "varnixlib/sync/lcs.h"

namespace {

std::vector<uint16_t> Codes(const std::vector<CMarker>& markers) {
  std::vector<uint16_t> codes;
  codes.reserve(markers.size());
  for (const CMarker& marker : markers) codes.push_back(marker.code);
  return codes;
}

}  // namespace

bool TriggerMatching::MatchCodes(const SynchroParams& params, MatchingResult& result) const {
  if (myInput.first == nullptr || myInput.second == nullptr) return false;
  const std::vector<CMarker>& firstList = *myInput.first;
  const std::vector<CMarker>& secondList = *myInput.second;
  const std::vector<uint16_t> first = Codes(firstList);
  const std::vector<uint16_t> second = Codes(secondList);
  Lcs lcs;
  const bool done =
      params.classicLcs ? lcs.ProcessClassical(first, second) : lcs.Process(first, second);
  result.pairs = std::move(lcs.pairs);
  result.rateRatio = myInput.rateRatio;
  result.matchingSlope = myInput.rateRatio;
  result.codes.clear();
  result.firstPositions.clear();
  result.secondPositions.clear();
  result.codes.reserve(result.pairs.size());
  result.firstPositions.reserve(result.pairs.size());
  result.secondPositions.reserve(result.pairs.size());
  for (const MatchedPair& pair : result.pairs) {
    result.codes.push_back(firstList[pair.first].code);
    result.firstPositions.push_back(firstList[pair.first].position);
    result.secondPositions.push_back(secondList[pair.second].position);
  }
  result.firstSegment = 0;
  result.endSegment = myInput.segmentList != nullptr ? myInput.segmentList->size() : 0;
  return done;
}

void TriggerMatching::CountAlignment(const MatchingResult& result, ArticleRecord& article,
                                     ArticleRecord::Block block) {
  const uint64_t offset = static_cast<uint64_t>(block) * 11;
  if (offset + 11 > article.histograms.size() || result.pairs.empty()) return;
  const uint32_t x0 = result.X(0);
  const uint32_t y0 = result.Y(0);
  for (uint64_t p = 0; p < result.pairs.size(); ++p) {
    const uint32_t dx = result.X(p) - x0;
    const uint32_t dy = result.Y(p) - y0;
    const int64_t wide =
        static_cast<int64_t>(dx) - static_cast<int64_t>(RoundHalfAway(dy / result.rateRatio));
    const int32_t e = static_cast<int32_t>(std::clamp<int64_t>(wide, -5, 5));
    ++article.histograms[offset + static_cast<uint64_t>(e + 5)];
  }
}

void RemoveOverflowTriggers(std::vector<CMarker>& first, const OverflowRepair& repair) {
  if (!repair.located || repair.removeCount == 0) return;
  const auto from = first.begin() + static_cast<std::ptrdiff_t>(repair.removeFrom);
  first.erase(from, from + static_cast<std::ptrdiff_t>(repair.removeCount));
}
