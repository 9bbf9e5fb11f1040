#include "varnixlib/report/reporttext.h"

#include <cmath>
#include <cstdio>

namespace ReportText {

std::string Fixed(double value, int decimals) {
  if (!std::isfinite(value)) return "n/a";
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  std::string out = text;
  // "-0.00" reads as a negative figure that is not there.
  if (out[0] == '-' && out.find_first_not_of("-0.") == std::string::npos) out.erase(0, 1);
  return out;
}

std::string Signed(double value, int decimals) {
  std::string out = Fixed(value, decimals);
  if (std::isfinite(value) && out[0] != '-' && out.find_first_not_of("0.") != std::string::npos) out = "+" + out;
  return out;
}

std::string JsonNumber(double value, int decimals) {
  if (!std::isfinite(value)) return "null";
  if (value == std::floor(value) && std::fabs(value) < 1e15) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f", value);
    return std::string(text) == "-0" ? "0" : text;
  }
  std::string out = Fixed(value, decimals);
  if (out.find('.') != std::string::npos) {
    while (out.back() == '0') out.pop_back();
    if (out.back() == '.') out.pop_back();
  }
  return out;
}

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
          out += escape;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

std::string Xml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default:
        // Control characters are not allowed in XML at all; a file name could hold one.
        if (static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t') {
          out += '?';
        } else {
          out += c;
        }
    }
  }
  return out;
}

double TickStep(double low, double high, int count) {
  const double span = high - low;
  if (!(span > 0.0) || !std::isfinite(span) || count < 1) return 1.0;
  const double raw = span / count;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (const double factor : {1.0, 2.0, 5.0, 10.0}) {
    if (factor * power >= raw) return factor * power;
  }
  return 10.0 * power;
}

std::vector<double> Ticks(double low, double high, int count) {
  const double step = TickStep(low, high, count);
  std::vector<double> ticks;
  if (!(high >= low) || !std::isfinite(low) || !std::isfinite(high)) return ticks;
  // Ticks as whole multiples of the step, so that 0.1 + 0.2 never prints as 0.30000000000000004.
  const double first = std::ceil(low / step - 1e-9);
  const double last = std::floor(high / step + 1e-9);
  for (double n = first; n <= last && ticks.size() < 1000; n += 1.0) ticks.push_back(n * step);
  return ticks;
}

int TickDecimals(double step) {
  if (!(step > 0.0) || step >= 1.0) return 0;
  return static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
}

}  // namespace ReportText
