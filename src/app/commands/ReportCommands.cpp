#include "app/commands/ReportCommands.h"

#include "ui/ErrorHandler.h"
#include "ui/MainMenu.h"

#include <QAction>

namespace tollbook {

using ReportCatalogue::Report;

ReportCommands::ReportCommands(QObject* parent)
    : QObject(parent)
{
    setObjectName(QStringLiteral("ReportCommands"));
}

void ReportCommands::connectMenu(const MainMenu& menu)
{
    const struct
    {
        QAction* item;
        Report report;
    } items[] = {
        { menu.reportByUser, Report::ByUser },
        { menu.reportByUserSummary, Report::ByUserSummary },
        { menu.reportBySector, Report::BySector },
        { menu.reportBySectorSummary, Report::BySectorSummary },
        { menu.reportByProject, Report::ByProject },
        { menu.reportByProjectSummary, Report::ByProjectSummary },
        { menu.reportByUserAndPrinter, Report::ByUserAndPrinter },
        { menu.reportByPrinter, Report::ByPrinter },
    };
    for (const auto& item : items) {
        const Report report = item.report;
        connect(item.item, &QAction::triggered, this, [this, report] { chooseReport(report); });
    }
}

void ReportCommands::chooseReport(Report report)
{
    ErrorHandler::reportingErrors([this, report] {
        const ReportCatalogue::Entry& entry = ReportCatalogue::entry(report);
        m_selectedReport = entry.name;
        if (m_periodDialogStart) {
            m_periodDialogStart(entry);
        }
    });
}

} // namespace tollbook
