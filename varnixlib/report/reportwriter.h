#pragma once
// Writes the report's two files, each whole or not at all.

#include "varnixlib/report/syncreport.h"

/// The page to report.run.htmlPath and the JSON file to report.run.jsonPath. False, reported,
/// when either could not be written; the other is written all the same.
bool WriteSyncReport(const SyncReport& report);
