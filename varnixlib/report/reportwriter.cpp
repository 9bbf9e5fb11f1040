#include "varnixlib/report/reportwriter.h"

#include "varnixlib/report/reporthtml.h"
#include "varnixlib/report/reportjson.h"
#include "varnixlib/support/atomictextwriter.h"

bool WriteSyncReport(const SyncReport& report) {
  Varnix::AtomicTextWriter html(report.run.htmlPath, "WriteSyncReport");
  html.Stream() << ReportHtml(report);
  const bool htmlWritten = html.Commit();
  Varnix::AtomicTextWriter json(report.run.jsonPath, "WriteSyncReport");
  json.Stream() << ReportJson(report);
  const bool jsonWritten = json.Commit();
  return htmlWritten && jsonWritten;
}
