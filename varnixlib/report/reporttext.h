#pragma once
// Number and text formatting shared by the report's writers. Every number goes through these, in
// the C locale's notation, so a report is the same bytes on every machine for the same run.

#include <string>
#include <string_view>
#include <vector>

namespace ReportText {

/// value with decimals digits after the point; a negative zero loses its sign; NaN gives "n/a".
std::string Fixed(double value, int decimals);
/// As Fixed, with a "+" before positive values.
std::string Signed(double value, int decimals);
/// A JSON number: integers without a point, others to decimals digits without trailing zeros;
/// NaN and infinities give null.
std::string JsonNumber(double value, int decimals = 6);
/// A JSON string literal, quotes included.
std::string JsonString(std::string_view text);
/// Text for XML/HTML content and attribute values.
std::string Xml(std::string_view text);

/// Round tick positions covering [low, high]: steps of 1, 2 or 5 times a power of ten, about
/// count of them.
std::vector<double> Ticks(double low, double high, int count);
/// The step of Ticks for that range.
double TickStep(double low, double high, int count);
/// Decimals that show every tick of that step apart.
int TickDecimals(double step);

}  // namespace ReportText
