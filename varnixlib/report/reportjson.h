#pragma once
// The report for scripts: one JSON object per run, its layout documented in the top README under
// "The synchronisation report". Batch scripts collect many subjects' files into one table, so
// fields are only ever added; a change of meaning raises kReportJsonVersion.

#include <string>

#include "varnixlib/report/syncreport.h"

inline constexpr int kReportJsonVersion = 1;

std::string ReportJson(const SyncReport& report);
