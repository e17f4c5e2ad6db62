#pragma once

class QWidget;

namespace tollbook {

struct PreparedReport;

// The report preview: a window maximised at 120 % showing the report's pages, from which the user prints
// it (the printer's pages are painted anew by the same renderer). Modal; returns when it is closed.
void showReportPreview(const PreparedReport& report, QWidget* parent);

} // namespace tollbook
