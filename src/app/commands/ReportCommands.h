#pragma once

#include "reports/ReportCatalogue.h"

#include <QObject>
#include <QString>

#include <functional>

namespace tollbook {

struct MainMenu;

// The commands of the reports menu: each of the eight items stores its report's name as the selected
// report and opens the period dialog for it. Built by MenuCommands with the main window.
class ReportCommands : public QObject
{
    Q_OBJECT

public:
    // Opens the period dialog for the selected report, modally.
    using PeriodDialogStart = std::function<void(const ReportCatalogue::Entry& report)>;

    explicit ReportCommands(QObject* parent = nullptr);

    void connectMenu(const MainMenu& menu);

    // How the period dialog is opened; nothing is opened until the dialog exists, unless replaced.
    void setPeriodDialogStart(PeriodDialogStart start) { m_periodDialogStart = std::move(start); }

    // The report the last report command chose; empty before the first.
    QString selectedReport() const { return m_selectedReport; }

    void chooseReport(ReportCatalogue::Report report);

private:
    QString m_selectedReport;
    PeriodDialogStart m_periodDialogStart;
};

} // namespace tollbook
