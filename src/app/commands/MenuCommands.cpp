#include "app/commands/MenuCommands.h"

#include "app/DataModule.h"
#include "app/commands/HelpCommands.h"
#include "app/commands/LanguageCommands.h"
#include "app/commands/PrinterCommands.h"
#include "app/commands/ReportCommands.h"
#include "app/commands/ServiceCommands.h"
#include "app/commands/ToolCommands.h"
#include "ui/MainWindow.h"
#include "ui/PeriodDialog.h"
#include "ui/ReportEmail.h"

namespace tollbook {

MenuCommands::MenuCommands(DataModule* dataModule, MainWindow* window)
    : QObject(window)
    , m_service(new ServiceCommands(dataModule, window, this))
    , m_printers(new PrinterCommands(window, this))
    , m_tools(new ToolCommands(dataModule, window, this))
    , m_reports(new ReportCommands(this))
    , m_languages(new LanguageCommands(dataModule, window, this))
    , m_help(new HelpCommands(dataModule, window, this))
{
    setObjectName(QStringLiteral("MenuCommands"));
    const MainMenu& menu = window->menu();
    m_service->connectMenu(menu);
    m_printers->connectMenu(menu);
    m_tools->connectMenu(menu);
    m_reports->connectMenu(menu);
    m_reports->setPeriodDialogStart([dataModule, window](const ReportCatalogue::Entry& report) {
        PeriodDialog dialog(&dataModule->session(), report.name, window);
        ReportEmail::attach(&dataModule->session(), dataModule->tollMail(), &dialog);
        dialog.exec();
    });
    m_languages->connectMenu(menu);
    m_help->connectMenu(menu);
}

} // namespace tollbook
