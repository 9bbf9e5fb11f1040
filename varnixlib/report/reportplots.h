#pragma once
// The report's three plots, each an inline SVG element: the residual of every matched trigger over
// the recording, the residuals' histogram, and the two trigger sequences on one time axis. Colours
// are those of Okabe and Ito, told apart by colour-blind readers, and every class of mark also has
// its own shape or lane, so that nothing depends on colour alone.

#include <string>

#include "varnixlib/report/syncreport.h"

namespace ReportPlots {

/// Okabe-Ito colours by their role.
inline constexpr const char* kKept = "#0072B2";       // blue
inline constexpr const char* kOutlier = "#D55E00";    // vermillion
inline constexpr const char* kBand = "#009E73";       // bluish green
inline constexpr const char* kUnmatched = "#E69F00";  // orange
inline constexpr const char* kOverflow = "#CC79A7";   // reddish purple
inline constexpr const char* kLost = "#56B4E9";       // sky blue

std::string ResidualPlot(const SyncReport& report);
std::string HistogramPlot(const SyncReport& report);
std::string SequencePlot(const SyncReport& report);

}  // namespace ReportPlots
