#pragma once
// Longest common subsequence of two trigger-code sequences, with the two tie-break variants.
//
// Only what the backtrack reads is kept: one 2-bit direction per cell, packed 32 to a 64-bit word,
// row by row; the scores live in two rolling rows during the fill. n x m cells thus cost n*m/4
// bytes (plus at most 8 bytes of padding per row), instead of 5 bytes per cell.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "varnixlib/matchedpair.h"

class Lcs {
 public:
  /// Sizes the direction table for the two sequences; false when either is empty or the table
  /// cannot be allocated.
  bool Allocate(const std::vector<uint16_t>& first, const std::vector<uint16_t>& second);
  /// Fill where ties go left, then up, and a match counts only where it strictly lengthens the
  /// subsequence: repeated codes pair their earliest usable occurrences. Backtracks into pairs.
  bool Process(const std::vector<uint16_t>& first, const std::vector<uint16_t>& second);
  /// Textbook fill (match first, ties go up): repeated codes pair their latest occurrences.
  bool ProcessClassical(const std::vector<uint16_t>& first, const std::vector<uint16_t>& second);
  /// Appends, in increasing order, the pairs on the path from cell (i, j) back to the table edge.
  void Backtrack(uint64_t i, uint64_t j);
  /// Frees the direction table once the pairs are known.
  void ReleaseTables();
  /// Bytes currently held by the tables.
  size_t TableBytes() const {
    return myDirections.capacity() * sizeof(uint64_t) +
           (myPreviousRow.capacity() + myCurrentRow.capacity()) * sizeof(int32_t);
  }

  std::vector<MatchedPair> pairs;  ///< increasing in both indices
  uint64_t n = 0;                  ///< length of the first sequence (rows)
  uint64_t m = 0;                  ///< length of the second sequence (columns)

 private:
  enum Direction : uint64_t { kNone = 0, kDiagonal = 1, kUp = 2, kLeft = 3 };

  template <bool kClassical>
  void Fill(const std::vector<uint16_t>& first, const std::vector<uint16_t>& second);
  Direction At(uint64_t i, uint64_t j) const;

  std::vector<uint64_t> myDirections;  ///< rows 1..n, columns 1..m; row r starts at (r-1)*myRowWords
  uint64_t myRowWords = 0;
  std::vector<int32_t> myPreviousRow;  ///< scores of row i-1 during the fill
  std::vector<int32_t> myCurrentRow;   ///< scores of row i during the fill
};
