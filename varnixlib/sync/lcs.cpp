#include "varnixlib/sync/lcs.h"

#include <algorithm>
#include <iostream>
#include <limits>
#include <new>

bool Lcs::Allocate(const std::vector<uint16_t>& first, const std::vector<uint16_t>& second) {
  n = first.size();
  m = second.size();
  pairs.clear();
  ReleaseTables();
  if (n == 0 || m == 0) return false;
  const uint64_t rowWords = (m + 31) / 32;
  if (n > std::numeric_limits<size_t>::max() / sizeof(uint64_t) / rowWords) return false;
  try {
    myDirections.assign(n * rowWords, 0);
    myPreviousRow.assign(m + 1, 0);
    myCurrentRow.assign(m + 1, 0);
    pairs.reserve(std::max(n, m));
  } catch (const std::bad_alloc&) {
    ReleaseTables();
    return false;
  }
  myRowWords = rowWords;
  return true;
}

template <bool kClassical>
void Lcs::Fill(const std::vector<uint16_t>& first, const std::vector<uint16_t>& second) {
  // prev is row i-1, cur row i; column 0 of both stays 0.
  std::vector<int32_t>& prev = myPreviousRow;
  std::vector<int32_t>& cur = myCurrentRow;
  const uint16_t* b = second.data();
  for (uint64_t i = 1; i <= n; ++i) {
    const uint16_t a = first[i - 1];
    uint64_t* row = myDirections.data() + (i - 1) * myRowWords;
    uint64_t word = 0;
    unsigned shift = 0;
    int32_t left = 0;
    for (uint64_t j = 1; j <= m; ++j) {
      const int32_t diag = prev[j - 1];
      const int32_t up = prev[j];
      int32_t score;
      uint64_t dir;
      if constexpr (kClassical) {
        if (a == b[j - 1]) {
          score = diag + 1;
          dir = kDiagonal;
        } else if (up < left) {
          score = left;
          dir = kLeft;
        } else {
          score = up;
          dir = kUp;
        }
      } else {
        const bool same = a == b[j - 1];
        score = diag + (same ? 1 : 0);
        dir = same ? kDiagonal : kNone;
        if (up >= score) {
          score = up;
          dir = kUp;
        }
        if (left >= score) {
          score = left;
          dir = kLeft;
        }
      }
      cur[j] = score;
      left = score;
      word |= dir << shift;
      shift += 2;
      if (shift == 64) {
        *row++ = word;
        word = 0;
        shift = 0;
      }
    }
    if (shift != 0) *row = word;
    prev.swap(cur);
  }
}

bool Lcs::Process(const std::vector<uint16_t>& first, const std::vector<uint16_t>& second) {
  std::cout << "Running Process LCS" << std::endl;
  if (!Allocate(first, second)) return false;
  Fill<false>(first, second);
  Backtrack(n, m);
  return true;
}

bool Lcs::ProcessClassical(const std::vector<uint16_t>& first,
                           const std::vector<uint16_t>& second) {
  std::cout << "Running Process classical LCS" << std::endl;
  if (!Allocate(first, second)) return false;
  Fill<true>(first, second);
  Backtrack(n, m);
  return true;
}

Lcs::Direction Lcs::At(uint64_t i, uint64_t j) const {
  const uint64_t column = j - 1;
  const uint64_t word = myDirections[(i - 1) * myRowWords + column / 32];
  return static_cast<Direction>((word >> (2 * (column % 32))) & 3u);
}

void Lcs::Backtrack(uint64_t i, uint64_t j) {
  if (myDirections.empty()) return;
  i = std::min(i, n);
  j = std::min(j, m);
  // Walking back yields the pairs last first; reversing the appended stretch restores the order
  // a recursion on every match would give, without its depth.
  const size_t start = pairs.size();
  while (i > 0 && j > 0) {
    const Direction dir = At(i, j);
    if (dir == kDiagonal) {
      pairs.push_back({i - 1, j - 1});
      --i;
      --j;
    } else if (dir == kUp) {
      --i;
    } else if (dir == kLeft) {
      --j;
    } else {
      break;
    }
  }
  std::reverse(pairs.begin() + static_cast<std::ptrdiff_t>(start), pairs.end());
}

void Lcs::ReleaseTables() {
  std::vector<uint64_t>().swap(myDirections);
  std::vector<int32_t>().swap(myPreviousRow);
  std::vector<int32_t>().swap(myCurrentRow);
  myRowWords = 0;
}
