#include "varnixlib/sync/triggermatching.h"

#include <algorithm>
#include <iomanip>
#include <iostream>

#include "varnixlib/support/rounding.h"

namespace {

std::vector<uint16_t> Codes(const std::vector<CMarker>& markers) {
  std::vector<uint16_t> codes;
  codes.reserve(markers.size());
  for (const CMarker& marker : markers) codes.push_back(marker.code);
  return codes;
}

}  // namespace

bool TriggerMatching::MatchCodes(const SynchroParams& params) {
  if (firstList == nullptr || secondList == nullptr) return false;
  const std::vector<uint16_t> first = Codes(*firstList);
  const std::vector<uint16_t> second = Codes(*secondList);
  const bool done =
      params.classicLcs ? lcs.ProcessClassical(first, second) : lcs.Process(first, second);
  // Only the pairs are read from here on; the table would otherwise live through the merge.
  lcs.ReleaseTables();
  return done;
}

bool TriggerMatching::Match(SynchroParams& params, const std::string& title) {
  CorrectBufferOverflow();
  if (!MatchCodes(params)) {
    std::cout << "ERROR: Problem with TriggerMatching!" << std::endl;
    return false;
  }
  if (lcs.pairs.empty()) {
    std::cout << "ERROR: Problem with TriggerMatching and indexes!" << std::endl;
    return false;
  }

  const CMarker& firstA = (*firstList)[lcs.pairs.front().first];
  const CMarker& firstB = (*secondList)[lcs.pairs.front().second];
  const CMarker& lastA = (*firstList)[lcs.pairs.back().first];
  const CMarker& lastB = (*secondList)[lcs.pairs.back().second];
  std::cout << '\n' << title << '\n';
  std::cout << "LCS   Triggers = " << std::setw(5) << lcs.pairs.size() << '\n';
  std::cout << "First Pair     = " << std::setw(5) << firstA.code << ',' << std::setw(3)
            << firstB.code << '\n';
  std::cout << "Last  Pair     = " << std::setw(5) << lastA.code << ',' << std::setw(3)
            << lastB.code << '\n';
  std::cout << "Nb    Segments = " << std::setw(5) << endSegment << '\n' << std::endl;

  CountAlignment(params);
  return ModelDrift(params);
}

void TriggerMatching::CountAlignment(SynchroParams& params) const {
  ArticleRecord& article = params.article;
  const uint64_t offset = article.nextHistogramOffset;
  // The record holds three blocks; a further matching is reported but not counted.
  if (offset + 11 > article.histograms.size()) {
    article.nextHistogramOffset += 11;
    return;
  }
  const uint32_t x0 = X(0);
  const uint32_t y0 = Y(0);
  for (uint64_t p = 0; p < lcs.pairs.size(); ++p) {
    const uint32_t dx = X(p) - x0;
    const uint32_t dy = Y(p) - y0;
    const int64_t wide = static_cast<int64_t>(dx) - static_cast<int64_t>(RoundHalfAway(dy / rateRatio));
    const int32_t e = static_cast<int32_t>(std::clamp<int64_t>(wide, -5, 5));
    ++article.histograms[offset + static_cast<uint64_t>(e + 5)];
  }
  article.nextHistogramOffset += 11;
}
