#include "app/commands/PrinterCommands.h"

#include "platform/Printers.h"
#include "platform/ShellExecution.h"
#include "ui/ErrorHandler.h"
#include "ui/MainMenu.h"
#include "ui/MainWindow.h"
#include "ui/PrinterDialog.h"
#include "ui/PrinterPropertiesDialog.h"

#include <QAction>
#include <QDesktopServices>
#include <QListWidget>
#include <QStandardPaths>

namespace tollbook {

namespace {

const QString SettingsProgram = QStringLiteral("system-config-printer");
constexpr int CupsPort = 631;

} // namespace

PrinterCommands::PrinterCommands(MainWindow* window, QObject* parent)
    : QObject(parent)
    , m_window(window)
    , m_printers(&Printers::system())
    , m_list(&PrinterList::shared())
    , m_find([](const QString& program) { return QStandardPaths::findExecutable(program); })
    , m_start([](const QString& program, const QStringList& arguments) {
        return ShellExecution::system().start(program, arguments, ShellExecution::Window::Normal);
    })
    , m_openUrl([](const QUrl& url) { QDesktopServices::openUrl(url); })
{
    setObjectName(QStringLiteral("PrinterCommands"));
    connect(window->printersList(), &QListWidget::itemDoubleClicked, this,
            ErrorHandler::guarded([this] { showListProperties(); }));
}

void PrinterCommands::connectMenu(const MainMenu& menu)
{
    connect(menu.printerProperties, &QAction::triggered, this, ErrorHandler::guarded([this] { openPrinterDialog(); }));
    connect(menu.printersFolder, &QAction::triggered, this, ErrorHandler::guarded([this] { configurePrinters(); }));
}

void PrinterCommands::setPrinters(const Printers& printers, PrinterList& list)
{
    m_printers = &printers;
    m_list = &list;
}

void PrinterCommands::openPrinterDialog()
{
    PrinterDialog dialog(m_list->names(), *m_printers, m_window, m_window);
    dialog.exec();
}

void PrinterCommands::showListProperties()
{
    PrinterPropertiesDialog::showForSelected(*m_window->printersList(), *m_printers, m_window);
}

void PrinterCommands::configurePrinters()
{
    const QString program = m_find(SettingsProgram);
    if (!program.isEmpty() && m_start(program, {})) {
        return;
    }
    m_openUrl(localServerPage());
}

QUrl PrinterCommands::localServerPage()
{
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(QStringLiteral("localhost"));
    url.setPort(CupsPort);
    url.setPath(QStringLiteral("/printers/"));
    return url;
}

} // namespace tollbook
