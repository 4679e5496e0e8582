#pragma once

#include "check/CheckRecord.h"

#include <string>

class QChart;
class QPagedPaintDevice;
class QWidget;

namespace quarnex {

// The report of a check as an auditor files it: the instrument's identity and calibration, the
// rule, the table of readings (as found and as left side by side), the error plot with the
// tolerance band, the verdict, the date, the technician, the next check and signature lines.
// Drawn on any paged device: a printer or a PDF file.
void DrawCheckReport(QPagedPaintDevice& device, const CheckRecord& record);
// The error plot into chart (its series and axes replaced): the tolerance band, and the errors
// of each run going up and coming down in two colours (as left dashed).
void BuildCheckChart(QChart* chart, const CheckRecord& record);
// The report as a PDF file; false with the reason.
bool SaveCheckReportPdf(const CheckRecord& record, const std::string& path, std::string& error);
// The print dialog, then the report on the printer chosen; false when cancelled.
bool PrintCheckReport(const CheckRecord& record, QWidget* parent);

} // namespace quarnex
