#include "ui/ReportPreview.h"

#include "reports/ReportRenderer.h"
#include "reports/ReportRun.h"
#include "ui/ErrorHandler.h"

#include <QCoreApplication>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QTimer>

namespace tollbook {

void showReportPreview(const PreparedReport& report, QWidget* parent)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageLayout(reportPageLayout(report.definition));
    printer.setDocName(report.title);

    QPrintPreviewDialog preview(&printer, parent);
    preview.setObjectName(QStringLiteral("ReportPreview"));
    preview.setWindowTitle(QStringLiteral("Report Preview"));
    // Painted for the preview and again for the printer the user prints on.
    QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview, [&report](QPrinter* target) {
        ErrorHandler::reportingErrors([&] {
            ReportRenderer renderer(report.definition, *report.rows, report.parameters);
            renderer.setPageDone([](int) { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
            renderer.render(*target);
        });
    });
    if (auto* pages = preview.findChild<QPrintPreviewWidget*>()) {
        // The dialog fits the page on opening; the zoom is set once it has.
        QTimer::singleShot(0, pages, [pages] {
            pages->setZoomMode(QPrintPreviewWidget::CustomZoom);
            pages->setZoomFactor(1.2);
        });
    }
    preview.setWindowState(preview.windowState() | Qt::WindowMaximized);
    preview.exec();
}

} // namespace tollbook
