#include "app/commands/ToolCommands.h"

#include "app/DataModule.h"
#include "maintenance/PurgeDialog.h"
#include "platform/ShellExecution.h"
#include "ui/ConfigurationDialog.h"
#include "ui/ErrorHandler.h"
#include "ui/MainWindow.h"
#include "ui/WaitCursor.h"

#include <QAction>
#include <QCoreApplication>

namespace tollbook {

ToolCommands::ToolCommands(DataModule* dataModule, MainWindow* window, QObject* parent)
    : QObject(parent)
    , m_dataModule(dataModule)
    , m_window(window)
    , m_viewerStart(
          [](const QString& program) { ShellExecution::system().start(program, {}, ShellExecution::Window::Normal); })
{
    setObjectName(QStringLiteral("ToolCommands"));
}

void ToolCommands::connectMenu(const MainMenu& menu)
{
    connect(menu.purge, &QAction::triggered, this, &ToolCommands::openPurge);
    connect(menu.printQueue, &QAction::triggered, this, &ToolCommands::openPrintQueue);
    connect(menu.configuration, &QAction::triggered, this, &ToolCommands::openConfiguration);
    connect(menu.developerMode, &QAction::triggered, this, &ToolCommands::toggleDeveloperMode);
}

void ToolCommands::openPurge()
{
    // Created for this showing and released when it closes; centred on the main window.
    PurgeDialog dialog(m_window);
    dialog.exec();
}

void ToolCommands::openPrintQueue()
{
    ErrorHandler::reportingErrors([this] {
        WaitCursor wait;
        // A missing viewer shows nothing.
        m_viewerStart(m_dataModule->installation().viewerPath());
        QCoreApplication::processEvents();
    });
}

void ToolCommands::openConfiguration()
{
    ErrorHandler::reportingErrors([this] {
        ConfigurationDialog dialog(&m_dataModule->session(), m_dataModule->tollMail(), m_window);
        dialog.exec();
    });
}

void ToolCommands::toggleDeveloperMode()
{
    m_dataModule->setDeveloperMode(!m_dataModule->developerMode());
    m_window->setDeveloperLabelVisible(!m_window->isDeveloperLabelVisible());
}

} // namespace tollbook
