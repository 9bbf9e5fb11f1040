#pragma once
// The run's synchronisation in one plain sentence, for the end of the console output.

#include <string>

#include "varnixlib/report/syncreport.h"

/// "Synchronised: matched 3492 of 3500 EEG and 3495 tracker triggers (2 outliers dropped); drift
/// +15.0 ppm; residual 0.31 ms RMS, 0.9 ms at most; 3 EEG segments, 400 samples inserted; report:
/// out/log/synchro_S01.asc.report.html" (without a line end). written: whether the report's
/// files were written; the sentence then points to them.
std::string ReportSummary(const SyncReport& report, bool written = true);
