#pragma once

#include "reports/ReportLayout.h"

#include <QHash>
#include <QString>

#include <functional>
#include <memory>

class QPagedPaintDevice;

namespace tollbook {

class Dataset;

// Paints a report of the layout over the rows of the dataset its data view reads, page by page, on any
// paged device: a PDF writer, a printer, the preview's printer. A4 in the report's orientation.
//
// Page header and column headers open every page; a group's header is never left alone at the foot of a
// page (it moves with its first row), and the headers of the groups still open are repeated at the top of
// a page that continues them; group footers and the summary carry the group's and the report's sums; the
// page footer closes every page and may say "page X of Y". The rows are walked twice, once to count the
// pages and once to paint them, so nothing but the dataset's rows is held while painting.
class ReportRenderer
{
public:
    // parameters: the report's parameters by name ("DataI", "DataF"), printed where a text names them as
    // "{DataI}" or a data-bound text shows one. Throws ReportError when the report reads a field the
    // dataset does not have.
    ReportRenderer(const ReportDefinition& report, const Dataset& rows, QHash<QString, QString> parameters);
    ~ReportRenderer();
    ReportRenderer(const ReportRenderer&) = delete;
    ReportRenderer& operator=(const ReportRenderer&) = delete;

    // Called after each page is painted; lets a window stay responsive during a long run.
    void setPageDone(std::function<void(int page)> pageDone) { m_pageDone = std::move(pageDone); }

    // Sets the device's page layout and paints every page on it; the number of pages. Throws ReportError
    // when the device cannot be painted on (a PDF file that cannot be created).
    int render(QPagedPaintDevice& device);

    // The pages of the last render.
    int pageCount() const { return m_pages; }

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    std::function<void(int)> m_pageDone;
    int m_pages = 0;
};

// The page layout a report is printed with: A4, the report's orientation, margins of 10 to 12 mm.
QPageLayout reportPageLayout(const ReportDefinition& report);

// Writes the report as a PDF file with its fonts embedded; the number of pages. Throws ReportError when
// the file cannot be written.
// pageDone, when given, is called after each page (see ReportRenderer::setPageDone).
int writeReportPdf(const ReportDefinition& report, const Dataset& rows, const QHash<QString, QString>& parameters,
                   const QString& path, const QString& title, const std::function<void(int page)>& pageDone = {});

} // namespace tollbook
