#include "varnixlib/asc/asctokens.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace {

struct SeparatorTable {
  bool sep[256] = {};
  constexpr SeparatorTable() {
    sep[static_cast<unsigned char>(' ')] = true;
    sep[static_cast<unsigned char>('\t')] = true;
    sep[static_cast<unsigned char>('\r')] = true;
    sep[static_cast<unsigned char>('\n')] = true;
  }
};
constexpr SeparatorTable kSeparators;

inline bool IsSep(char c) { return kSeparators.sep[static_cast<unsigned char>(c)]; }
inline bool IsDigit(char c) { return static_cast<unsigned>(c - '0') < 10u; }

constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

}  // namespace

void AscTokens::Split(std::string_view line) {
  myLine = line;
  myStored = 0;
  myCount = 0;
  myLast = {};
  const char* p = line.data();
  const char* const end = p + line.size();
  while (true) {
    while (p < end && IsSep(*p)) ++p;
    if (p == end) break;
    const char* const begin = p;
    while (p < end && !IsSep(*p)) ++p;
    myLast = std::string_view(begin, static_cast<size_t>(p - begin));
    if (myStored < kMaxTokens) myTokens[myStored++] = myLast;
    ++myCount;
  }
}

std::string_view AscTokens::NextToLast() const {
  if (myCount < 2) return {};
  if (myCount - 2 < myStored) return myTokens[myCount - 2];
  return {};  // dropped beyond the stored tokens; only such long lines lack it
}

void AscTokens::Join(size_t first, size_t last, std::string_view joined) {
  if (first > last || last >= myStored) return;
  myTokens[first] = joined;
  const size_t removed = last - first;
  for (size_t i = last + 1; i < myStored; ++i) myTokens[i - removed] = myTokens[i];
  myStored -= removed;
  myCount -= removed;
  if (myStored == myCount && myStored > 0) myLast = myTokens[myStored - 1];
}

int64_t AscTokens::IntValue(std::string_view token) {
  size_t i = 0;
  while (i < token.size() && IsSep(token[i])) ++i;
  bool negative = false;
  if (i < token.size() && (token[i] == '-' || token[i] == '+')) negative = token[i++] == '-';
  int64_t value = 0;
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  for (; i < token.size() && IsDigit(token[i]); ++i) {
    const int digit = token[i] - '0';
    if (value > (kMax - digit) / 10) return negative ? std::numeric_limits<int64_t>::min() : kMax;
    value = value * 10 + digit;
  }
  return negative ? -value : value;
}

int64_t AscTokens::IntOrMinusOne(std::string_view token) { return IsMissing(token) ? -1 : IntValue(token); }

double AscTokens::DoubleValue(std::string_view token) {
  // Gaze values are almost always plain "[-]ddd.d": read those exactly (mantissa and power of ten
  // are both exact doubles, so one division is correctly rounded) and leave the rest to from_chars.
  const char* p = token.data();
  const char* const end = p + token.size();
  bool negative = false;
  if (p < end && *p == '-') {
    negative = true;
    ++p;
  }
  uint64_t mantissa = 0;
  int digits = 0;
  int fraction = 0;
  const char* q = p;
  while (q < end && IsDigit(*q) && digits < 16) {
    mantissa = mantissa * 10 + static_cast<uint64_t>(*q - '0');
    ++digits;
    ++q;
  }
  if (q < end && *q == '.') {
    ++q;
    while (q < end && IsDigit(*q) && digits < 16) {
      mantissa = mantissa * 10 + static_cast<uint64_t>(*q - '0');
      ++digits;
      ++fraction;
      ++q;
    }
  }
  if (q == end && digits > 0 && digits <= 15) {
    const double v = static_cast<double>(mantissa) / kPow10[fraction];
    return negative ? -v : v;
  }
  const char* first = token.data();
  if (first < end && *first == '+') ++first;
  double value = 0.0;
  const auto result = std::from_chars(first, end, value);
  // "nan" and "inf" read as numbers there; in a gaze column they would be an IEEE NaN or an
  // infinity, which no missing-value test and no 16-bit conversion downstream expects.
  return result.ec == std::errc() && std::isfinite(value) ? value : 0.0;
}

double AscTokens::DoubleOrMinusOne(std::string_view token) { return IsMissing(token) ? -1.0 : DoubleValue(token); }

bool AscTokens::IsDigits(std::string_view token) {
  if (token.empty()) return false;
  for (char c : token) {
    if (!IsDigit(c)) return false;
  }
  return true;
}

bool AscTokens::IsPositionToken(std::string_view token) {
  for (char c : token) {
    if (!IsDigit(c) && c != '-' && c != '.') return false;
  }
  return true;
}
