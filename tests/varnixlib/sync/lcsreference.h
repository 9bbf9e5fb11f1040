#pragma once
// The matching written the plain way, with a full score table and a full direction table of one
// byte per cell, recursing on every match. Slow and large, but obviously the rules as stated: the
// compact matching must give exactly its pairs.

#include <cstdint>
#include <utility>
#include <vector>

namespace lcsreference {

using Pairs = std::vector<std::pair<uint64_t, uint64_t>>;

class PlainLcs {
 public:
  Pairs Run(const std::vector<uint16_t>& a, const std::vector<uint16_t>& b, bool classical) {
    n = a.size();
    m = b.size();
    score.assign((n + 1) * (m + 1), 0);
    dir.assign((n + 1) * (m + 1), 0);
    for (size_t i = 1; i <= n; ++i) {
      for (size_t j = 1; j <= m; ++j) {
        int32_t& s = score[i * (m + 1) + j];
        char& d = dir[i * (m + 1) + j];
        const int32_t diag = score[(i - 1) * (m + 1) + j - 1];
        const int32_t up = score[(i - 1) * (m + 1) + j];
        const int32_t left = score[i * (m + 1) + j - 1];
        if (classical) {
          if (a[i - 1] == b[j - 1]) {
            s = diag + 1;
            d = '\\';
          } else if (up < left) {
            s = left;
            d = '-';
          } else {
            s = up;
            d = '|';
          }
        } else {
          if (a[i - 1] == b[j - 1]) {
            s = diag + 1;
            d = '\\';
          } else {
            s = diag;
          }
          if (up >= s) {
            s = up;
            d = '|';
          }
          if (left >= s) {
            s = left;
            d = '-';
          }
        }
      }
    }
    Pairs pairs;
    Backtrack(n, m, pairs);
    return pairs;
  }

 private:
  void Backtrack(size_t i, size_t j, Pairs& pairs) {
    while (i > 0 && j > 0) {
      const char d = dir[i * (m + 1) + j];
      if (d == '\\') {
        Backtrack(i - 1, j - 1, pairs);
        pairs.emplace_back(i - 1, j - 1);
        return;
      }
      if (d == '|') {
        --i;
      } else if (d == '-') {
        --j;
      } else {
        return;
      }
    }
  }

  size_t n = 0;
  size_t m = 0;
  std::vector<int32_t> score;
  std::vector<char> dir;
};

}  // namespace lcsreference
