#pragma once
// The report for people: one self-contained HTML page (inline CSS and SVG, no script, nothing
// fetched), well-formed XML as well, so that it opens anywhere and can be checked by any parser.

#include <string>

#include "varnixlib/report/syncreport.h"

std::string ReportHtml(const SyncReport& report);
