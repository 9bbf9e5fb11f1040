#include "varnixlib/sync/lcs.h"

#include <gtest/gtest.h>

#include <random>

#include "varnixlib/sync/lcsreference.h"

namespace {

using Codes = std::vector<uint16_t>;
using lcsreference::Pairs;

Pairs Pairing(const Codes& a, const Codes& b, bool classical) {
  testing::internal::CaptureStdout();
  Lcs lcs;
  const bool done = classical ? lcs.ProcessClassical(a, b) : lcs.Process(a, b);
  testing::internal::GetCapturedStdout();
  Pairs pairs;
  if (!done) return pairs;
  for (const MatchedPair& p : lcs.pairs) pairs.emplace_back(p.first, p.second);
  return pairs;
}

Pairs Expect(std::initializer_list<std::pair<uint64_t, uint64_t>> list) { return Pairs(list); }

}  // namespace

TEST(Lcs, WorkedExamplesPairTheOccurrencesEachTieBreakPrefers) {
  EXPECT_EQ(Pairing({1, 2, 3}, {1, 3, 2, 3}, false), Expect({{0, 0}, {1, 2}, {2, 3}}));
  EXPECT_EQ(Pairing({1, 2, 3}, {1, 3, 2, 3}, true), Expect({{0, 0}, {1, 2}, {2, 3}}));
  EXPECT_EQ(Pairing({5}, {5, 5}, false), Expect({{0, 0}}));
  EXPECT_EQ(Pairing({5}, {5, 5}, true), Expect({{0, 1}}));
  EXPECT_EQ(Pairing({5, 5}, {5}, false), Expect({{0, 0}}));
  EXPECT_EQ(Pairing({5, 5}, {5}, true), Expect({{1, 0}}));
  EXPECT_EQ(Pairing({1, 2, 1}, {1, 1, 2, 1}, false), Expect({{0, 0}, {1, 2}, {2, 3}}));
  EXPECT_EQ(Pairing({1, 2, 1}, {1, 1, 2, 1}, true), Expect({{0, 1}, {1, 2}, {2, 3}}));
  EXPECT_TRUE(Pairing({1, 2}, {3, 4}, false).empty());
}

TEST(Lcs, RefusesAnEmptySequenceAndAnnouncesTheVariant) {
  Lcs lcs;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(lcs.Process({}, {1}));
  EXPECT_FALSE(lcs.ProcessClassical({1}, {}));
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "Running Process LCS\nRunning Process classical LCS\n");
}

TEST(Lcs, TableCostsAQuarterByteACell) {
  Lcs lcs;
  testing::internal::CaptureStdout();
  ASSERT_TRUE(lcs.Process(Codes(1000, 7), Codes(3200, 7)));
  testing::internal::GetCapturedStdout();
  EXPECT_LE(lcs.TableBytes(), 1000u * 3200u / 4u + 2u * 3201u * 4u);
  EXPECT_EQ(lcs.pairs.size(), 1000u);
  lcs.ReleaseTables();
  EXPECT_EQ(lcs.TableBytes(), 0u);
}

// Random lengths cross the 32-cell word boundary; small alphabets and periodic runs make ties
// the rule rather than the exception, where the two fills part ways.
TEST(Lcs, CompactTablesGiveThePairsOfThePlainTables) {
  std::mt19937 rng(20261208);
  lcsreference::PlainLcs plain;
  int compared = 0;
  for (int round = 0; round < 400; ++round) {
    const size_t n = 1 + rng() % 90;
    const size_t m = 1 + rng() % 90;
    const uint16_t alphabet = static_cast<uint16_t>(1 + rng() % (round % 4 == 0 ? 3 : 40));
    Codes a(n);
    Codes b(m);
    if (round % 3 == 2) {
      // Repetitive: the same short motif, with a few codes dropped or changed on one side.
      const size_t period = 1 + rng() % 5;
      for (size_t i = 0; i < n; ++i) a[i] = static_cast<uint16_t>(i % period);
      for (size_t j = 0; j < m; ++j) {
        b[j] = static_cast<uint16_t>((j + rng() % 2) % period);
      }
    } else {
      for (auto& c : a) c = static_cast<uint16_t>(rng() % alphabet);
      for (auto& c : b) c = static_cast<uint16_t>(rng() % alphabet);
    }
    for (const bool classical : {false, true}) {
      const Pairs expected = plain.Run(a, b, classical);
      ASSERT_EQ(Pairing(a, b, classical), expected) << "round " << round << " classical " << classical;
      ++compared;
    }
  }
  // A couple of long sequences: many rows of several words each.
  for (int round = 0; round < 4; ++round) {
    Codes a(700 + rng() % 300);
    Codes b(700 + rng() % 300);
    for (auto& c : a) c = static_cast<uint16_t>(rng() % 6);
    for (auto& c : b) c = static_cast<uint16_t>(rng() % 6);
    for (const bool classical : {false, true}) {
      ASSERT_EQ(Pairing(a, b, classical), plain.Run(a, b, classical));
      ++compared;
    }
  }
  EXPECT_EQ(compared, 808);
}

// Every pairing of lengths around the 32-cell words of a direction row (and a single cell), on
// one repeated code and on two alternating ones, where every cell is a tie of some kind.
TEST(Lcs, CompactTablesAgreeOnLengthsAtTheWordBoundaries) {
  lcsreference::PlainLcs plain;
  const size_t sizes[] = {1, 2, 31, 32, 33, 63, 64, 65, 96, 97};
  for (const size_t n : sizes) {
    for (const size_t m : sizes) {
      for (const int pattern : {0, 1, 2}) {
        Codes a(n);
        Codes b(m);
        for (size_t i = 0; i < n; ++i) a[i] = static_cast<uint16_t>(pattern == 0 ? 7 : i % 2);
        for (size_t j = 0; j < m; ++j) {
          b[j] = static_cast<uint16_t>(pattern == 0 ? 7 : pattern == 1 ? j % 2 : (j / 3) % 2);
        }
        for (const bool classical : {false, true}) {
          const Pairs expected = plain.Run(a, b, classical);
          ASSERT_FALSE(expected.empty());
          ASSERT_EQ(Pairing(a, b, classical), expected)
              << n << " x " << m << " pattern " << pattern << " classical " << classical;
        }
      }
    }
  }
}
